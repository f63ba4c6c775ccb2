// What a replay scored as the tools print it, a replay that works on the
// log's text alone, and the image file a chart is written to.
#include "analysis_fixture.h"

#include <QImage>

#include <set>
#include <sstream>

#include "analysis/chart_file.h"
#include "analysis/replay_run.h"
#include "analysis/trial_figures.h"

namespace kestu::analysis::testing {
namespace {

// The lines of `text`.
std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The words of a line after its first word ("  missed    0    3 ...").
std::vector<std::string> Columns(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    if (!words.empty()) words.erase(words.begin());
    return words;
}

class FiguresTest : public AnalysisTest {};

// The legend above the per-tank figures says what each figure is: a tank the
// scenario gives no deadline row shows 0 (judged at 00:00 owing nothing), a
// tank whose deadline a STOP came before shows "-".
TEST_F(FiguresTest, TheMissedPerTankLegendSaysWhatEveryPrintedFigureIs)
{
    const ScenarioTables tables = Scenario();
    std::set<int> scheduled;
    for (const DeadlineRow& row : tables.deadline) scheduled.insert(row.TankNum);
    ASSERT_LT(scheduled.size(), static_cast<std::size_t>(TankCount)) << "the standard scenario leaves tanks without a deadline";
    const TrialLogText whole = RecordTrial(tables, 5);
    const TrialLogText stopped{"an.1", StoppedEarly(whole.text, 3)};

    for (const TrialLogText& log : {whole, stopped}) {
        const auto replay = ReplayTrialLog(tables, log);
        ASSERT_TRUE(replay) << replay.error();
        const std::vector<std::string> lines = Lines(FiguresText(log.name, FiguresOf(replay.value())));
        ASSERT_GE(lines.size(), 6u);
        const std::string& legend = lines[3];
        const std::vector<std::string> missed = Columns(lines[5]);
        ASSERT_EQ(missed.size(), static_cast<std::size_t>(TankCount)) << lines[5];
        int unscheduledZeros = 0, notJudged = 0;
        for (int tank = 0; tank < TankCount; ++tank) {
            const auto& figure = replay.value().trial.missed.PerTank[tank];
            EXPECT_EQ(missed[tank], figure ? std::to_string(*figure) : "-") << "tank " << tank;
            unscheduledZeros += !scheduled.contains(tank) && missed[tank] == "0";
            notJudged += missed[tank] == "-";
        }
        // Each kind of figure printed is one the legend names.
        if (unscheduledZeros > 0) {
            EXPECT_NE(legend.find("0 for a tank without a deadline row"), std::string::npos) << legend;
            EXPECT_EQ(legend.find("- where no deadline was judged"), std::string::npos) << legend;
        }
        if (notJudged > 0) {
            EXPECT_NE(legend.find("- where the tank's deadline was not judged"), std::string::npos) << legend;
        }
        if (log.text == whole.text) {
            EXPECT_EQ(unscheduledZeros, TankCount - static_cast<int>(scheduled.size()));
        } else {
            EXPECT_GT(notJudged, 0) << "a STOP in the first minutes leaves deadlines unjudged";
        }
    }
}

// The replay works on the text it is given: the file may be gone by then,
// and the figures are those of the core's replay of the file.
TEST_F(FiguresTest, AReplayOfALogInMemoryNeedsNoFileAndScoresAsTheFileDoes)
{
    const ScenarioTables tables = Scenario();
    const TrialLogText log = RecordTrial(tables, 8);
    const ReplayOutcome fromFile = ReplayLogFile(tables, Path("an.1"), dir_.string());
    ASSERT_FALSE(fromFile.fault.has_value());
    std::filesystem::remove(Path("an.1"));

    const auto inMemory = ReplayTrialLog(tables, log);
    ASSERT_TRUE(inMemory) << inMemory.error();
    EXPECT_EQ(inMemory.value().trial.missed.Total, fromFile.trial.missed.Total);
    EXPECT_EQ(inMemory.value().trial.missed.PerTank, fromFile.trial.missed.PerTank);
    EXPECT_EQ(inMemory.value().trial.ticks, fromFile.trial.ticks);

    // A bad line is named by the log's own name and line, in one line.
    const TrialLogText bad{"elsewhere/an.1", log.text.substr(0, log.text.find("\r\n") + 2) + "x\r\n"};
    const auto refused = ReplayTrialLog(tables, bad);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().rfind("elsewhere/an.1, line 2: not a state line", 0), 0u) << refused.error();
    EXPECT_EQ(refused.fault().line, 2u);
    EXPECT_EQ(refused.error().find('\n'), std::string::npos);
    EXPECT_FALSE(ReadTrialLog(Path("an.1"))) << "the file is gone";
}

// A chart file is written in the format its name's suffix asks for, or not at all.
TEST(ChartFile, TheSuffixPicksTheImageFormatAndOneThatCannotBeWrittenIsRefused)
{
    const std::pair<const char*, const char*> named[] = {
        {"chart.png", "png"}, {"chart.jpg", "jpg"}, {"chart.JPEG", "jpeg"}, {"chart.bmp", "bmp"},
        {"chart", "png"},     {"a.b/chart", "png"}, {".png", "png"},
    };
    for (const auto& [name, format] : named) {
        const auto picked = ChartFormatFor(name);
        ASSERT_TRUE(picked) << name << ": " << picked.error();
        EXPECT_EQ(picked.value(), format) << name;
    }
    for (const char* name : {"chart.gif", "chart.pdf", "chart.txt"}) {
        const auto refused = ChartFormatFor(name);
        ASSERT_FALSE(refused) << name;
        EXPECT_EQ(refused.error().rfind(std::string(name) + ": a chart cannot be written as", 0), 0u) << refused.error();
        EXPECT_NE(refused.error().find("png"), std::string::npos) << "the formats that can be written are listed";
    }

    QImage image(40, 30, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    const std::pair<const char*, std::string> magic[] = {
        {"png", "\x89PNG"}, {"jpg", "\xFF\xD8\xFF"}, {"jpeg", "\xFF\xD8\xFF"}, {"bmp", "BM"}};
    for (const auto& [format, start] : magic) {
        const auto bytes = EncodeChart(image, format);
        ASSERT_TRUE(bytes) << format << ": " << bytes.error();
        EXPECT_EQ(bytes.value().substr(0, start.size()), start) << format;
        QImage back;
        EXPECT_TRUE(back.loadFromData(QByteArray::fromStdString(bytes.value()), format)) << format;
        EXPECT_EQ(back.size(), image.size()) << format;
    }
}

}  // namespace
}  // namespace kestu::analysis::testing
