// The number text of the trial log and the snapshot file, both ways, also
// under a decimal-comma locale as Qt programs run with the user's. The
// properties and the input's form are in README.md.
#include <locale.h>

#include <charconv>
#include <cmath>
#include <cstring>

#include "fuzz_check.h"
#include "trials/number_text.h"

namespace {

using namespace kestu::fuzz;

bool PlainText(const std::string& text) { return text.find_first_not_of("0123456789.-+E") == std::string::npos; }

// The writer's text for value reads back within 15 digits and writes again
// the same. A value whose text cannot be read back must be one that no file
// takes in (scenario rows, snapshots and logs refuse it where it enters).
void CheckWrittenReadsBack(double value)
{
    const std::string text = kestu::FormatNumber(value);
    const std::string what = "FormatNumber(" + Exact(value) + ") = " + Quote(text);
    FUZZ_CHECK(!text.empty() && PlainText(text), what + " is not plain number text");
    const auto back = kestu::ParseNumber(text);
    if (!back) {
        FUZZ_CHECK(!kestu::WaterFits(value), what + ", which ParseNumber refuses, yet a file may take it in");
        return;
    }
    FUZZ_CHECK(SameToFifteenDigits(*back, value), what + " reads back as " + Exact(*back));
    // Below the normal range a double holds fewer than 15 digits, so two texts may share one.
    if (std::fabs(value) >= std::numeric_limits<double>::min()) {
        FUZZ_CHECK(kestu::FormatNumber(*back) == text,
                   what + " reads back as " + Exact(*back) + ", written " + Quote(kestu::FormatNumber(*back)));
    }
}

// Tenths of magnitude, half away from zero, decided on its 15 significant
// digits, worked out on the decimal digits alone.
long long ExpectedTenths(double magnitude)
{
    char buffer[64];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific, 14);
    const std::string_view s(buffer, static_cast<std::size_t>(written.ptr - buffer));  // d.dddddddddddddde+XX
    const std::string digits = s[0] + std::string(s.substr(2, 14));
    const std::size_t e = s.find('e');
    int exponent = 0;
    std::from_chars(s.data() + e + 1 + (s[e + 1] == '+'), s.data() + s.size(), exponent);
    // The digits down to the tenths, then the one below decides.
    const int kept = exponent + 2;
    if (kept < 0) return 0;
    long long tenths = 0;
    for (int k = 0; k < kept; ++k) tenths = tenths * 10 + (k < 15 ? digits[k] - '0' : 0);
    return tenths + (kept < 15 && digits[kept] >= '5');
}

void CheckWaterTenths(double water)
{
    std::string text;
    kestu::AppendWaterTenths(text, water);
    const std::string what = "AppendWaterTenths(" + Exact(water) + ") = " + Quote(text);
    FUZZ_CHECK(!text.empty() && PlainText(text), what + " is not plain number text");
    const auto back = kestu::ParseNumber(text);
    if (!back) {
        FUZZ_CHECK(!kestu::WaterFits(water), what + ", which ParseNumber refuses, yet a tank may hold it");
        return;
    }
    if (!(std::fabs(water) < 1e14)) {
        FUZZ_CHECK(SameToFifteenDigits(*back, water), what + " reads back as " + Exact(*back));
        return;
    }
    const std::size_t point = text.find('.');
    FUZZ_CHECK(text.find('E') == std::string::npos && (point == std::string::npos || point + 2 == text.size()),
               what + " is not a number of tenths");
    const long long expected = ExpectedTenths(std::fabs(water));
    if (expected == 0) {
        FUZZ_CHECK(text == "0", what + ", expected 0");
        return;
    }
    FUZZ_CHECK((text[0] == '-') == (water < 0), what + " has the wrong sign");
    FUZZ_CHECK(std::llround(std::fabs(*back) * 10) == expected, what + ", expected " + std::to_string(expected) + " tenths");
    std::string again;
    kestu::AppendWaterTenths(again, *back);
    FUZZ_CHECK(again == text, what + ", and the tenths read back are written " + Quote(again));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    static const locale_t comma = [] {
        const locale_t l = newlocale(LC_NUMERIC_MASK, "de_DE.UTF-8", static_cast<locale_t>(nullptr));
        if (!l) std::fprintf(stderr, "number_text fuzz: no de_DE.UTF-8 locale; decimal-comma inputs run in C\n");
        return l;
    }();
    const locale_t previous = (data[0] & 1) && comma ? uselocale(comma) : static_cast<locale_t>(nullptr);
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    if (const auto value = kestu::ParseNumber(text)) {
        FUZZ_CHECK(std::isfinite(*value), "ParseNumber(" + Quote(text) + ") = " + Exact(*value));
        CheckWrittenReadsBack(*value);
        CheckWaterTenths(*value);
    }
    double bits;
    if (text.size() >= sizeof bits && (std::memcpy(&bits, text.data(), sizeof bits), std::isfinite(bits))) {
        CheckWrittenReadsBack(bits);
        CheckWaterTenths(bits);
    }
    if (previous) uselocale(previous);
    return 0;
}
