#include "trials/number_text.h"

#include <charconv>
#include <cmath>

namespace kestu {

namespace {

// The value's 15 significant digits (trailing zeros kept) and its decimal exponent.
struct Decimal15 {
    bool negative = false;
    char digits[16] = {};
    int exponent = 0;
};

Decimal15 ToDecimal15(double value)
{
    Decimal15 d;
    // to_chars ignores the process locale, which may use a decimal comma.
    char buf[40];
    const auto res = std::to_chars(buf, buf + sizeof buf - 1, value, std::chars_format::scientific, 14);
    *res.ptr = '\0';
    const char* p = buf;
    if (*p == '-') {
        d.negative = true;
        ++p;
    }
    int n = 0;
    for (; *p && *p != 'e'; ++p)
        if (*p != '.') d.digits[n++] = *p;
    d.digits[n] = '\0';
    const char* exponent = p + 1;
    if (*exponent == '+') ++exponent;
    std::from_chars(exponent, buf + sizeof buf, d.exponent);
    return d;
}

}  // namespace

void AppendInteger(std::string& out, long long value)
{
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, res.ptr);
}

void AppendNumber(std::string& out, double value)
{
    if (value == 0) {
        out += '0';
        return;
    }
    if (value == std::trunc(value) && std::fabs(value) < 1e15) {
        AppendInteger(out, static_cast<long long>(value));
        return;
    }
    const Decimal15 d = ToDecimal15(value);
    int len = 15;
    while (len > 1 && d.digits[len - 1] == '0') --len;
    if (d.negative) out += '-';
    const int e = d.exponent;
    if (e < -5 || e >= 15) {
        out += d.digits[0];
        if (len > 1) {
            out += '.';
            out.append(d.digits + 1, len - 1);
        }
        out += 'E';
        out += e < 0 ? '-' : '+';
        const int ae = e < 0 ? -e : e;
        if (ae < 10) out += '0';
        AppendInteger(out, ae);
    } else if (e >= 0) {
        for (int k = 0; k <= e; ++k) out += k < len ? d.digits[k] : '0';
        if (len > e + 1) {
            out += '.';
            out.append(d.digits + e + 1, len - e - 1);
        }
    } else {
        out += '.';
        out.append(static_cast<std::size_t>(-e - 1), '0');
        out.append(d.digits, len);
    }
}

std::string FormatNumber(double value)
{
    std::string s;
    AppendNumber(s, value);
    return s;
}

namespace {

// Tenths of |water| rounded half away from zero, judged on the 15-digit form.
long long RoundedTenths(double magnitude)
{
    if (magnitude < 1e6) {
        const double t = magnitude * 10;
        const double whole = std::floor(t);
        const double frac = t - whole;
        // Far from a half the binary value already decides; near one, the decimal form does.
        if (std::fabs(frac - 0.5) > 1e-6) return static_cast<long long>(whole) + (frac > 0.5 ? 1 : 0);
    }
    const Decimal15 d = ToDecimal15(magnitude);
    const int kept = d.exponent + 2;  // digits down to the tenths
    long long tenths = 0;
    for (int k = 0; k < kept; ++k) tenths = tenths * 10 + (k < 15 ? d.digits[k] - '0' : 0);
    if (kept >= 0 && kept < 15 && d.digits[kept] >= '5') ++tenths;
    return tenths;
}

}  // namespace

void AppendWaterTenths(std::string& out, double water)
{
    const double magnitude = std::fabs(water);
    if (!(magnitude < 1e14)) {  // only 15 digits are kept; nothing lies below the point
        AppendNumber(out, water);
        return;
    }
    const long long tenths = RoundedTenths(magnitude);
    if (tenths == 0) {
        out += '0';
        return;
    }
    if (water < 0) out += '-';
    const long long whole = tenths / 10;
    const int digit = static_cast<int>(tenths % 10);
    if (whole != 0) AppendInteger(out, whole);
    if (digit != 0) {
        out += '.';
        out += static_cast<char>('0' + digit);
    }
}

std::optional<double> ParseNumber(std::string_view text)
{
    if (text.empty() || text.size() > 64) return std::nullopt;
    // from_chars reads ".5" and "-.5" as our writer leaves them, whatever the
    // process locale; "inf" and "nan" are refused below.
    double v = 0;
    const char* last = text.data() + text.size();
    const auto res = std::from_chars(text.data(), last, v);
    if (res.ec != std::errc{} || res.ptr != last) return std::nullopt;
    if (!std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<long long> ParseInteger(std::string_view text)
{
    long long v = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    if (first == last) return std::nullopt;
    auto res = std::from_chars(first, last, v);
    if (res.ec != std::errc{} || res.ptr != last) return std::nullopt;
    return v;
}

}  // namespace kestu
