#include <gtest/gtest.h>

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
    EXPECT_EQ(ParseInteger("-12"), -12);
    EXPECT_FALSE(ParseInteger("12.0").has_value());
}

}  // namespace
}  // namespace kestu
