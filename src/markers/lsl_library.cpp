#include "markers/lsl_library.h"

#include <dlfcn.h>

#include <cstdlib>
#include <fstream>
#include <vector>

namespace kestu::markers {

namespace {

template <typename Function>
bool Find(void* handle, const char* name, Function& function, std::string& missing)
{
    function = reinterpret_cast<Function>(::dlsym(handle, name));
    if (!function && missing.empty()) missing = name;
    return function != nullptr;
}

// Every function the outlet and the inlet use; the first missing one is named.
std::string FindAll(void* handle, LslApi& api)
{
    std::string missing;
    Find(handle, "lsl_create_streaminfo", api.create_streaminfo, missing);
    Find(handle, "lsl_destroy_streaminfo", api.destroy_streaminfo, missing);
    Find(handle, "lsl_get_desc", api.get_desc, missing);
    Find(handle, "lsl_append_child_value", api.append_child_value, missing);
    Find(handle, "lsl_create_outlet", api.create_outlet, missing);
    Find(handle, "lsl_destroy_outlet", api.destroy_outlet, missing);
    Find(handle, "lsl_push_sample_strt", api.push_sample_strt, missing);
    Find(handle, "lsl_wait_for_consumers", api.wait_for_consumers, missing);
    Find(handle, "lsl_have_consumers", api.have_consumers, missing);
    Find(handle, "lsl_local_clock", api.local_clock, missing);
    Find(handle, "lsl_library_version", api.library_version, missing);
    Find(handle, "lsl_resolve_byprop", api.resolve_byprop, missing);
    Find(handle, "lsl_create_inlet", api.create_inlet, missing);
    Find(handle, "lsl_destroy_inlet", api.destroy_inlet, missing);
    Find(handle, "lsl_open_stream", api.open_stream, missing);
    Find(handle, "lsl_pull_sample_str", api.pull_sample_str, missing);
    Find(handle, "lsl_destroy_string", api.destroy_string, missing);
    Find(handle, "lsl_get_fullinfo", api.get_fullinfo, missing);
    Find(handle, "lsl_get_xml", api.get_xml, missing);
    Find(handle, "lsl_get_source_id", api.get_source_id, missing);
    return missing;
}

}  // namespace

std::unique_ptr<LslLibrary> LslLibrary::LoadFile(const std::string& file, std::string& problem)
{
    ::dlerror();
    void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = ::dlerror();
        problem = "the Lab Streaming Layer library " + file + " cannot be loaded (" +
                  (why ? std::string(why) : std::string("the loader gives no reason")) + ")";
        return nullptr;
    }
    std::unique_ptr<LslLibrary> library(new LslLibrary(handle, file));
    const std::string missing = FindAll(handle, library->api_);
    if (!missing.empty()) {
        problem = file + " is not the Lab Streaming Layer library Kestu needs: it has no function " + missing;
        ::dlclose(handle);
        return nullptr;
    }
    problem.clear();
    return library;
}

std::unique_ptr<LslLibrary> LslLibrary::Load(std::string& problem)
{
    if (const char* named = std::getenv(LslLibraryVariable); named && *named) {
        auto library = LoadFile(named, problem);
        if (!library) problem = "LSL markers are off: " + problem + "; " + LslInstallAdvice + ".";
        return library;
    }
    std::string first;
    for (const char* name : {"liblsl.so", "liblsl.so.2", "liblsl.so.1"}) {
        auto library = LoadFile(name, problem);
        if (library) return library;
        if (first.empty()) first = problem;
    }
    // The first name is the one every version installs; its problem says it best.
    problem = "LSL markers are off: " + first + "; " + LslInstallAdvice + ".";
    return nullptr;
}

// A library in use stays loaded to the end of the program: its network
// threads may outlive the last outlet by a moment.
LslLibrary::~LslLibrary() = default;

bool OnlyLoopbackNetwork(std::string& why)
{
    // The process's own network namespace (sysfs would show the one it was mounted in).
    std::ifstream devices("/proc/self/net/dev");
    if (!devices) {
        why = "the network interfaces cannot be listed (/proc/self/net/dev cannot be read)";
        return false;
    }
    std::string line;
    for (int header = 0; header < 2 && std::getline(devices, line); ++header) {
    }
    while (std::getline(devices, line)) {
        const auto colon = line.find(':');
        const auto first = line.find_first_not_of(' ');
        if (colon == std::string::npos || first == std::string::npos || first > colon) continue;
        const std::string name = line.substr(first, colon - first);
        if (name == "lo") continue;
        why = "this network has the interface " + name + " besides lo";
        return false;
    }
    why.clear();
    return true;
}

std::string LslLibrary::Version() const
{
    const int version = api_.library_version();  // major * 100 + minor
    return std::to_string(version / 100) + "." + std::to_string(version % 100);
}

}  // namespace kestu::markers
