#pragma once

// Properties checked by the fuzz targets. A failed property prints what was
// wrong and aborts, so libFuzzer keeps the input as a crash and the
// regression run under ctest fails on it.

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace kestu::fuzz {

[[noreturn]] inline void PropertyFailed(const char* file, int line, const char* condition, const std::string& detail)
{
    std::fprintf(stderr, "%s:%d: property failed: %s\n  %s\n", file, line, condition, detail.c_str());
    std::fflush(stderr);
    std::abort();
}

// The shortest text that reads back to exactly this double, whatever the
// process locale; for messages about a failed property.
inline std::string Exact(double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// The text quoted for a message, with control bytes and non-ASCII bytes escaped.
inline std::string Quote(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\x%02x", c);
            out += buffer;
        }
    }
    return out + "\"";
}

}  // namespace kestu::fuzz

// The detail is only built when the property fails.
#define FUZZ_CHECK(condition, detail)                                                         \
    do {                                                                                      \
        if (!(condition)) ::kestu::fuzz::PropertyFailed(__FILE__, __LINE__, #condition, (detail)); \
    } while (0)
