// CSV text, plain numbers and the summary of a sample: what every table and
// report of the tools is written with.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "analysis/baseline_runner.h"
#include "analysis/csv.h"
#include "analysis/distribution.h"
#include "analysis/plain_number.h"

namespace kestu::analysis::testing {
namespace {

TEST(CsvText, FieldsAreQuotedOnlyWhenNeededAndNumbersArePlainDecimalsThatReadBackExactly)
{
    const std::vector<std::string> written = {"plain", "a,b", "say \"hi\"", "two\nlines", "cr\r", "", "Zoë"};
    std::string row;
    AppendCsvRow(row, written);
    EXPECT_EQ(row, "plain,\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\",\"cr\r\",,Zoë\r\n");

    const std::vector<std::string> fields = {"x", "a,b", "q\"q", "l1\r\nl2", "", " padded "};
    std::string text;
    AppendCsvRow(text, fields);
    AppendCsvRow(text, {"second"});
    const auto read = ReadCsv(text + row);
    ASSERT_TRUE(read) << read.error();
    ASSERT_EQ(read.value().size(), 3u);
    EXPECT_EQ(read.value()[0].fields, fields);
    EXPECT_EQ(read.value()[1].line, 3) << "the quoted line break moves the next row to line 3";
    EXPECT_EQ(read.value()[2].fields, written);

    // Spreadsheet habits: a byte-order mark, LF line ends, blank lines, no line end at the end.
    const auto habits = ReadCsv("\xEF\xBB\xBFhead,tail\n\n1,2\r\n\"3\",4");
    ASSERT_TRUE(habits) << habits.error();
    ASSERT_EQ(habits.value().size(), 3u);
    EXPECT_EQ(habits.value()[0].fields, (std::vector<std::string>{"head", "tail"}));
    EXPECT_EQ(habits.value()[1].line, 3);
    EXPECT_EQ(habits.value()[2].fields, (std::vector<std::string>{"3", "4"}));

    // Broken quoting is named by its line.
    const std::pair<const char*, const char*> broken[] = {{"a,b\n1,\"2\n3,4\n", "never closed"},
                                                          {"a,b\n\"1\"x,2\n", "after the closing quote"}};
    for (const auto& [csv, error] : broken) {
        const auto read = ReadCsv(csv);
        ASSERT_FALSE(read) << csv;
        EXPECT_EQ(read.fault().line, 2u) << csv;
        EXPECT_NE(read.error().find(error), std::string::npos) << csv;
    }

    // Plain numbers.
    for (const auto& [value, text] : std::vector<std::pair<double, const char*>>{
             {0.5, "0.5"}, {33, "33"}, {-1.25, "-1.25"}, {-0.0, "0"}, {1e-7, "0.0000001"}, {1e20, "100000000000000000000"}}) {
        EXPECT_EQ(PlainNumber(value), text);
    }
    for (double v : {0.1 + 0.2, 1.0 / 3, 2.0 / 3 * 1e-9, 123456.789, std::numeric_limits<double>::min(),
                     std::numeric_limits<double>::max(), -7e-300}) {
        const std::string text = PlainNumber(v);
        EXPECT_EQ(text.find_first_of("eE"), std::string::npos) << text;
        EXPECT_EQ(ParsePlainNumber(text), v) << text;
    }
    // Parsing takes the forms people type and nothing else.
    for (const auto& [text, value] :
         std::vector<std::pair<const char*, double>>{{".5", 0.5}, {"-.5", -0.5}, {"+2", 2}, {" 1e-3 ", 0.001}}) {
        EXPECT_EQ(ParsePlainNumber(text), value) << text;
    }
    for (const char* bad : {"", " ", "abc", "1,5", "nan", "inf", "0x10", "1.5.2", "++2", "+-2", "-+2", "2 3"}) {
        EXPECT_FALSE(ParsePlainNumber(bad)) << bad;
    }
    // Whole numbers: plain decimal within the range only.
    EXPECT_EQ(ParseWhole("42", 1, 100), 42);
    EXPECT_EQ(ParseWhole("-1", -1, 23), -1);
    for (const char* bad : {"101", "4.0", " 4", "", "99999999999999999999"}) EXPECT_FALSE(ParseWhole(bad, 1, 100)) << bad;
}

TEST(BaselineFigures, TrialSeedsSpreadApartAndTheDistributionHasASampleSdAndInterpolatedQuartiles)
{
    // Each: count, mean, min, q1, median, q3, max; the sd has n - 1 in its denominator.
    const auto summary = [](const Distribution& d) {
        return std::vector<double>{double(d.count), d.mean, d.min, d.q1, d.median, d.q3, d.max};
    };
    const Distribution even = Describe({4, 1, 3, 2});
    EXPECT_EQ(summary(even), (std::vector<double>{4, 2.5, 1, 1.75, 2.5, 3.25, 4}));
    EXPECT_NEAR(even.sd, 1.2909944487358056, 1e-12);  // sqrt(5/3)
    EXPECT_EQ(summary(Describe({10, 0, 5, 20, 15})), (std::vector<double>{5, 10, 0, 5, 10, 15, 20}));

    // Tiny samples, and a large common offset that must not swamp a small spread.
    EXPECT_EQ(summary(Describe({7})), (std::vector<double>{1, 7, 7, 7, 7, 7, 7}));
    EXPECT_EQ(Describe({7}).sd, 0);
    EXPECT_EQ(Describe({}).count, 0u);
    const Distribution offset = Describe({1e9 + 1, 1e9 + 2, 1e9 + 3});
    EXPECT_NEAR(offset.sd, 1, 1e-6);

    // Neighbouring trials get seeds far apart.
    std::set<std::uint64_t> seeds;
    for (std::uint64_t i = 0; i < 1000; ++i) seeds.insert(TrialSeed(1, i));
    EXPECT_EQ(seeds.size(), 1000u);
    EXPECT_NE(TrialSeed(5, 3), TrialSeed(6, 3));
}

}  // namespace
}  // namespace kestu::analysis::testing
