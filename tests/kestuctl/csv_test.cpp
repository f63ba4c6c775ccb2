// CSV text and plain numbers: what every export writes and every import reads.
#include <gtest/gtest.h>

#include <limits>

#include "kestuctl/csv.h"
#include "kestuctl/plain_number.h"

namespace kestu::ctl {
namespace {

TEST(Csv, WriterQuotesOnlyFieldsThatNeedItAndReaderReadsItBack)
{
    const std::vector<std::string> written = {"plain", "a,b", "say \"hi\"", "two\nlines", "cr\r", "", "Zoë"};
    std::string row;
    AppendCsvRow(row, written);
    EXPECT_EQ(row, "plain,\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\",\"cr\r\",,Zoë\r\n");

    const std::vector<std::string> fields = {"x", "a,b", "q\"q", "l1\r\nl2", "", " padded "};
    std::string text;
    AppendCsvRow(text, fields);
    AppendCsvRow(text, {"second"});
    const CsvText read = ReadCsv(text + row);
    ASSERT_TRUE(read.error.empty()) << read.error;
    ASSERT_EQ(read.rows.size(), 3u);
    EXPECT_EQ(read.rows[0].fields, fields);
    EXPECT_EQ(read.rows[0].line, 1);
    EXPECT_EQ(read.rows[1].line, 3) << "the quoted line break moves the next row to line 3";
    EXPECT_EQ(read.rows[2].fields, written);
}

TEST(CsvReader, AcceptsSpreadsheetHabitsAndNamesTheLineOfBrokenQuoting)
{
    // A byte-order mark, LF line ends, blank lines, no line end at the end.
    const CsvText read = ReadCsv("\xEF\xBB\xBFhead,tail\n\n1,2\r\n\"3\",4");
    ASSERT_TRUE(read.error.empty()) << read.error;
    ASSERT_EQ(read.rows.size(), 3u);
    EXPECT_EQ(read.rows[0].fields, (std::vector<std::string>{"head", "tail"}));
    EXPECT_EQ(read.rows[1].line, 3);
    EXPECT_EQ(read.rows[2].fields, (std::vector<std::string>{"3", "4"}));

    // Broken quoting is named by its line.
    const CsvText unclosed = ReadCsv("a,b\n1,\"2\n3,4\n");
    EXPECT_EQ(unclosed.errorLine, 2);
    EXPECT_NE(unclosed.error.find("never closed"), std::string::npos);

    const CsvText trailing = ReadCsv("a,b\n\"1\"x,2\n");
    EXPECT_EQ(trailing.errorLine, 2);
    EXPECT_NE(trailing.error.find("after the closing quote"), std::string::npos);
}

TEST(PlainNumber, IsPlainDecimalAndReadsBackExactlyFromWhatPeopleType)
{
    EXPECT_EQ(PlainNumber(0.5), "0.5");
    EXPECT_EQ(PlainNumber(33), "33");
    EXPECT_EQ(PlainNumber(-1.25), "-1.25");
    EXPECT_EQ(PlainNumber(-0.0), "0");
    EXPECT_EQ(PlainNumber(1e-7), "0.0000001");
    EXPECT_EQ(PlainNumber(1e20), "100000000000000000000");
    for (double v : {0.1 + 0.2, 1.0 / 3, 2.0 / 3 * 1e-9, 123456.789, std::numeric_limits<double>::min(),
                     std::numeric_limits<double>::max(), -7e-300}) {
        const std::string text = PlainNumber(v);
        EXPECT_EQ(text.find_first_of("eE"), std::string::npos) << text;
        EXPECT_EQ(ParsePlainNumber(text), v) << text;
    }

    // Parsing takes the forms people type and nothing else.
    EXPECT_EQ(ParsePlainNumber(".5"), 0.5);
    EXPECT_EQ(ParsePlainNumber("-.5"), -0.5);
    EXPECT_EQ(ParsePlainNumber("+2"), 2);
    EXPECT_EQ(ParsePlainNumber(" 1e-3 "), 0.001);
    for (const char* bad : {"", " ", "abc", "1,5", "nan", "inf", "0x10", "1.5.2", "++2", "+-2", "-+2", "2 3"}) {
        EXPECT_FALSE(ParsePlainNumber(bad)) << bad;
    }
}

TEST(ParseWhole, TakesPlainDecimalWithinItsRangeOnly)
{
    EXPECT_EQ(ParseWhole("42", 1, 100), 42);
    EXPECT_EQ(ParseWhole("-1", -1, 23), -1);
    for (const char* bad : {"101", "4.0", " 4", "", "99999999999999999999"}) EXPECT_FALSE(ParseWhole(bad, 1, 100)) << bad;
}

}  // namespace
}  // namespace kestu::ctl
