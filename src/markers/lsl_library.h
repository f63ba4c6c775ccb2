#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace kestu::markers {

// The handful of functions of the Lab Streaming Layer's C library that Kestu
// calls, found at run time: the library is loaded with dlopen only when
// markers are switched on, so the program neither builds against it nor
// needs it. The declarations are those of its stable C interface (every
// version from 1.10 on has them).
struct LslApi {
    using StreamInfo = void*;
    using Outlet = void*;
    using Inlet = void*;
    using Xml = void*;

    // The channel format of a string stream, and the rate of an irregular one.
    static constexpr int StringFormat = 3;
    static constexpr double IrregularRate = 0.0;

    StreamInfo (*create_streaminfo)(const char* name, const char* type, std::int32_t channels, double rate,
                                    int format, const char* sourceId) = nullptr;
    void (*destroy_streaminfo)(StreamInfo info) = nullptr;
    Xml (*get_desc)(StreamInfo info) = nullptr;
    Xml (*append_child_value)(Xml element, const char* name, const char* value) = nullptr;
    Outlet (*create_outlet)(StreamInfo info, std::int32_t chunkSize, std::int32_t maxBuffered) = nullptr;
    void (*destroy_outlet)(Outlet outlet) = nullptr;
    std::int32_t (*push_sample_strt)(Outlet outlet, const char** sample, double timestamp) = nullptr;
    std::int32_t (*wait_for_consumers)(Outlet outlet, double timeout) = nullptr;
    std::int32_t (*have_consumers)(Outlet outlet) = nullptr;
    double (*local_clock)() = nullptr;
    std::int32_t (*library_version)() = nullptr;

    // The receiving side, for the tests' inlet and for checking a set-up.
    std::int32_t (*resolve_byprop)(StreamInfo* found, std::uint32_t room, const char* property, const char* value,
                                   std::int32_t minimum, double timeout) = nullptr;
    Inlet (*create_inlet)(StreamInfo info, std::int32_t maxSeconds, std::int32_t maxChunk, std::int32_t recover) = nullptr;
    void (*destroy_inlet)(Inlet inlet) = nullptr;
    void (*open_stream)(Inlet inlet, double timeout, std::int32_t* error) = nullptr;
    double (*pull_sample_str)(Inlet inlet, char** sample, std::int32_t room, double timeout, std::int32_t* error) = nullptr;
    void (*destroy_string)(char* text) = nullptr;
    StreamInfo (*get_fullinfo)(Inlet inlet, double timeout, std::int32_t* error) = nullptr;
    char* (*get_xml)(StreamInfo info) = nullptr;
    const char* (*get_source_id)(StreamInfo info) = nullptr;
};

// The library's file as the environment names it (KESTU_LSL_LIBRARY), or
// the names the system's loader is asked for, in order: "liblsl.so", then
// the names its versions' packages give it.
inline constexpr const char* LslLibraryVariable = "KESTU_LSL_LIBRARY";

class LslLibrary {
public:
    // Loads the library named by KESTU_LSL_LIBRARY when it is set (only that
    // file), else the first of liblsl.so, liblsl.so.2, liblsl.so.1 the loader
    // finds. Nothing, with `problem` saying which file was looked for, why
    // it could not be used and how to install it, when none will do.
    static std::unique_ptr<LslLibrary> Load(std::string& problem);
    // The same for one file (a path or a name the loader searches for).
    static std::unique_ptr<LslLibrary> LoadFile(const std::string& file, std::string& problem);
    ~LslLibrary();
    LslLibrary(const LslLibrary&) = delete;
    LslLibrary& operator=(const LslLibrary&) = delete;

    const LslApi& api() const { return api_; }
    const std::string& file() const { return file_; }
    // The library's version as it reports it, "1.12", "1.16".
    std::string Version() const;

private:
    LslLibrary(void* handle, std::string file) : handle_(handle), file_(std::move(file)) {}
    void* handle_;
    std::string file_;
    LslApi api_;
};

// Whether this process's network has no interface but the loopback one (a
// namespace of its own, `unshare -n`): the benchmarks and the tests' recorder
// switch LSL on only then, since its discovery multicasts. `why` names
// another interface when there is one.
bool OnlyLoopbackNetwork(std::string& why);

// How to get the library, for the message that says it is missing.
inline constexpr const char* LslInstallAdvice =
    "install liblsl (the Lab Streaming Layer project's release package for this system puts liblsl.so in "
    "/usr/lib), or give its file's path in the environment variable KESTU_LSL_LIBRARY";

}  // namespace kestu::markers
