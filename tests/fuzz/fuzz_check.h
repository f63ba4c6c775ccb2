#pragma once

// Shared by the fuzz targets. A failed property prints what was wrong and
// aborts, so libFuzzer keeps the input and the regression run fails on it.

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <string_view>

#include "trials/message_text.h"

namespace kestu::fuzz {

[[noreturn]] inline void PropertyFailed(const char* file, int line, const char* condition, const std::string& detail)
{
    std::fprintf(stderr, "%s:%d: property failed: %s\n  %s\n", file, line, condition, detail.c_str());
    std::abort();
}

// The shortest text that reads back to exactly this double, whatever the process locale.
inline std::string Exact(double value)
{
    char text[64];
    return {text, std::to_chars(text, text + sizeof text, value).ptr};
}

// The text quoted for a message, its control bytes escaped.
inline std::string Quote(std::string_view text) { return "\"" + ForMessage(text, 400) + "\""; }

// Within half a unit of the 15th significant digit the files keep, plus the double's own rounding.
inline bool SameToFifteenDigits(double got, double want)
{
    const double up = std::nextafter(want, std::numeric_limits<double>::infinity());
    const double ulp = std::isfinite(up) ? std::fabs(up - want) : std::fabs(want - std::nextafter(want, 0.0));
    return got == want || std::fabs(got - want) <= 5e-15 * std::fabs(want) + ulp;
}

// A folder of this process's own under TMPDIR, removed at exit; run_fuzz.sh
// puts TMPDIR in memory and removes what an aborted input leaves.
inline const std::string& ScratchFolder()
{
    static const std::string* const folder = [] {
        auto* dir = new std::string(std::filesystem::temp_directory_path() / "kestu-fuzz-XXXXXX");
        if (!mkdtemp(dir->data())) std::abort();
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(*folder, ignored);
        });
        return dir;
    }();
    return *folder;
}

inline void WriteFile(const std::string& path, std::string_view text)
{
    if (!std::ofstream(path, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()))) std::abort();
}

}  // namespace kestu::fuzz

// The detail is only built when the property fails.
#define FUZZ_CHECK(condition, detail)                                                              \
    do {                                                                                           \
        if (!(condition)) ::kestu::fuzz::PropertyFailed(__FILE__, __LINE__, #condition, (detail)); \
    } while (0)
