#include "analysis/plain_number.h"

#include <array>
#include <charconv>
#include <cmath>

namespace kestu::analysis {

std::string PlainNumber(double value)
{
    if (value == 0) return "0";  // also for -0, which a spreadsheet would show as "-0"
    // Fixed notation of a double needs at most about 330 characters.
    std::array<char, 400> buffer;
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed);
    return std::string(buffer.data(), result.ptr);
}

std::optional<double> ParsePlainNumber(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    const bool plus = !text.empty() && text.front() == '+';
    if (plus) text.remove_prefix(1);
    if (text.empty() || (plus && text.front() == '-')) return std::nullopt;

    double value = 0;
    const char* last = text.data() + text.size();
    const auto [end, ec] = std::from_chars(text.data(), last, value, std::chars_format::general);
    if (ec != std::errc{} || end != last || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<long long> ParseWhole(std::string_view text, long long lo, long long hi)
{
    long long value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    const auto [end, ec] = std::from_chars(first, last, value);
    if (text.empty() || ec != std::errc{} || end != last || value < lo || value > hi) return std::nullopt;
    return value;
}

}  // namespace kestu::analysis
