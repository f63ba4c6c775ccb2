#include <gtest/gtest.h>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <limits>

#include "trials/number_text.h"

namespace kestu {
namespace {

std::string Water(double w)
{
    std::string s;
    AppendWaterTenths(s, w);
    return s;
}

TEST(NumberText, WholeFractionalAndExponentForms)
{
    EXPECT_EQ(FormatNumber(0), "0");
    EXPECT_EQ(FormatNumber(7), "7");
    EXPECT_EQ(FormatNumber(-1), "-1");
    EXPECT_EQ(FormatNumber(0.5), ".5");
    EXPECT_EQ(FormatNumber(-0.5), "-.5");
    EXPECT_EQ(FormatNumber(12.25), "12.25");
    EXPECT_EQ(FormatNumber(0.1 + 0.2), ".3");
    EXPECT_EQ(FormatNumber(1.0 / 3), ".333333333333333");
    EXPECT_EQ(FormatNumber(2.0 / 3), ".666666666666667");
    EXPECT_EQ(FormatNumber(1 - (0.7 + 0.2 + 0.1)), "1.11022302462516E-16");
    EXPECT_EQ(FormatNumber(0.00001), ".00001");
    EXPECT_EQ(FormatNumber(0.000001), "1E-06");
    EXPECT_EQ(FormatNumber(-0.0000025), "-2.5E-06");
    EXPECT_EQ(FormatNumber(1e15), "1E+15");
    EXPECT_EQ(FormatNumber(999999999999999.0), "999999999999999");
    EXPECT_EQ(FormatNumber(123456789.125), "123456789.125");
    EXPECT_EQ(FormatNumber(1e100), "1E+100");
}

TEST(NumberText, WaterRoundsToTenthsHalvesAwayFromZero)
{
    EXPECT_EQ(Water(0), "0");
    EXPECT_EQ(Water(0.46), ".5");
    EXPECT_EQ(Water(-0.5), "-.5");
    EXPECT_EQ(Water(12.46), "12.5");
    EXPECT_EQ(Water(7.02), "7");
    EXPECT_EQ(Water(3.04), "3");
    EXPECT_EQ(Water(0.04), "0");
    EXPECT_EQ(Water(-0.04), "0");
    EXPECT_EQ(Water(0.05), ".1");
    EXPECT_EQ(Water(-0.05), "-.1");
    EXPECT_EQ(Water(9.96), "10");
    // Stored just below a half, but a half in its 15-digit form.
    EXPECT_EQ(Water(0.35), ".4");
    EXPECT_EQ(Water(2.675), "2.7");
    EXPECT_EQ(Water(0.7999999999999972), ".8");
    EXPECT_EQ(Water(128.30000000000035), "128.3");
    EXPECT_EQ(Water(0.049999), "0");
    EXPECT_EQ(Water(123456.75), "123456.8");
    EXPECT_EQ(Water(1e20), "1E+20");
}

TEST(NumberText, ParsesWhatItWrites)
{
    for (double v : {0.0, 7.0, -0.5, 1.0 / 3, 1e-16, 1e15, 37.8, -123.456}) {
        const auto parsed = ParseNumber(FormatNumber(v));
        ASSERT_TRUE(parsed.has_value()) << v;
        EXPECT_NEAR(*parsed, v, std::abs(v) * 1e-14) << v;
    }
    EXPECT_FALSE(ParseNumber("").has_value());
    EXPECT_FALSE(ParseNumber("1.5x").has_value());
    EXPECT_FALSE(ParseNumber("nan").has_value());
    EXPECT_FALSE(ParseNumber("inf").has_value());
    EXPECT_FALSE(ParseNumber("1e400").has_value());
    EXPECT_FALSE(ParseNumber(" 1").has_value());
    EXPECT_EQ(ParseInteger("-12"), -12);
    EXPECT_FALSE(ParseInteger("12.0").has_value());
}

// Labs run comma-decimal locales; the file text must not notice.
TEST(NumberText, TheProcessLocaleChangesNoText)
{
    const std::string before = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "the de_DE.UTF-8 locale is not installed";
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    const std::string formatted = FormatNumber(12.25) + " " + FormatNumber(-2.5e-6) + " " + Water(0.35) + " " +
                                  Water(12.46) + " " + FormatNumber(1.0 / 3);
    const auto half = ParseNumber(".5");
    const auto big = ParseNumber("1.5E+20");
    std::setlocale(LC_ALL, before.c_str());
    EXPECT_EQ(formatted, "12.25 -2.5E-06 .4 12.5 .333333333333333");
    EXPECT_EQ(half, 0.5);
    EXPECT_EQ(big, 1.5e20);
}

// Every amount a file may hold reads back as written; larger ones are kept
// out where they enter.
TEST(NumberText, WaterWithinTheFileRangeReadsBackAndNothingElseFits)
{
    for (double v : {MaxWater, -MaxWater, 999999999999.95, 1e-300, 0.1})
        ASSERT_TRUE(ParseNumber(FormatNumber(v)).has_value()) << v;
    for (double v : {DBL_MAX, 1e19, MaxWater * 1.0000001, std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::quiet_NaN()})
        EXPECT_FALSE(WaterFits(v)) << v;
    EXPECT_TRUE(WaterFits(MaxWater));
    // Whole buckets of any double are defined.
    EXPECT_EQ(WholeBuckets(1e19), 9000000000000000000LL);
    EXPECT_EQ(WholeBuckets(-2.5), -3);
}

}  // namespace
}  // namespace kestu
