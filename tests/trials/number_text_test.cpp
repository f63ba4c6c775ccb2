// The number text of the log and the snapshot. Under a decimal-comma locale
// it is pinned by the reference trials run under de_DE and by the
// number_text fuzz target.
#include <gtest/gtest.h>

#include <cfloat>
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
    const std::pair<double, const char*> cases[] = {
        {0, "0"}, {-1, "-1"}, {0.5, ".5"}, {-0.5, "-.5"}, {0.1 + 0.2, ".3"},
        {1.0 / 3, ".333333333333333"}, {2.0 / 3, ".666666666666667"},
        {1 - (0.7 + 0.2 + 0.1), "1.11022302462516E-16"}, {0.00001, ".00001"}, {0.000001, "1E-06"},
        {-0.0000025, "-2.5E-06"}, {1e15, "1E+15"}, {999999999999999.0, "999999999999999"},
        {123456789.125, "123456789.125"}, {1e100, "1E+100"}};
    for (const auto& [value, text] : cases) EXPECT_EQ(FormatNumber(value), text);
}

// Tenths, halves away from zero, decided on the 15-digit form: 0.35 is stored
// just below a half.
TEST(NumberText, WaterRoundsToTenthsHalvesAwayFromZero)
{
    const std::pair<double, const char*> cases[] = {
        {0.46, ".5"}, {-0.5, "-.5"}, {7.02, "7"}, {0.04, "0"}, {-0.04, "0"}, {0.05, ".1"}, {-0.05, "-.1"},
        {9.96, "10"}, {0.35, ".4"}, {2.675, "2.7"}, {0.7999999999999972, ".8"}, {128.30000000000035, "128.3"},
        {0.049999, "0"}, {123456.75, "123456.8"}, {1e20, "1E+20"}};
    for (const auto& [value, text] : cases) EXPECT_EQ(Water(value), text) << value;
}

TEST(NumberText, ParsesWhatItWritesAndNothingElse)
{
    for (double v : {0.0, -0.5, 1.0 / 3, 1e-16, 1e15, -123.456}) {
        const auto parsed = ParseNumber(FormatNumber(v));
        ASSERT_TRUE(parsed.has_value()) << v;
        EXPECT_NEAR(*parsed, v, std::abs(v) * 1e-14) << v;
    }
    EXPECT_EQ(ParseNumber("1.5E+20"), 1.5e20);
    for (const char* text : {"", "1.5x", "nan", "inf", "1e400", " 1"}) EXPECT_FALSE(ParseNumber(text).has_value()) << text;
    EXPECT_EQ(ParseInteger("-12"), -12);
    EXPECT_FALSE(ParseInteger("12.0").has_value());
}

// Every amount a file may hold reads back as written; larger ones are kept
// out where they enter.
TEST(NumberText, WaterWithinTheFileRangeReadsBackAndNothingElseFits)
{
    for (double v : {MaxWater, -MaxWater, 999999999999.95, 1e-300})
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
