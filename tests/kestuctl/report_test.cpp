// kestuctl report: a small study run through run-trial, then broken on
// purpose; the report's figures must be those export, rescore, baseline and
// replay give on the same database, and it must flag what does not pair up.
#include "ctl_fixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <filesystem>
#include <clocale>
#include <locale>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include "analysis/plain_number.h"
#include "analysis/report_html.h"
#include "support/test_server.h"

namespace kestu::ctl::testing {
namespace {

using namespace analysis;

class ReportTest : public CtlTest {
protected:
    // The figures the report keeps for programs.
    static QJsonObject Figures(const std::string& html)
    {
        const std::string open = "<script type=\"application/json\" id=\"figures\">";
        const auto start = html.find(open);
        const auto end = html.find("</script>", start);
        EXPECT_NE(start, std::string::npos) << "the report holds no figures";
        if (start == std::string::npos || end == std::string::npos) return {};
        const std::string json = html.substr(start + open.size(), end - start - open.size());
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
        return doc.object();
    }

    static std::vector<std::string> Fields(const std::string& line)
    {
        EXPECT_EQ(line.find('"'), std::string::npos) << "no field of this study needs quotes: " << line;
        std::vector<std::string> fields;
        std::stringstream in(line);
        for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
        if (!line.empty() && line.back() == ',') fields.push_back("");
        return fields;
    }

    static std::string Cell(const QJsonValue& value)
    {
        return value.isNull() ? "" : PlainNumber(value.toDouble());
    }

    // Each participant's rows as export writes them: trial, missed buckets and the three shares.
    using RowFigures = std::tuple<std::string, std::string, std::string, std::string, std::string>;
    std::map<std::string, std::multiset<RowFigures>> Exported()
    {
        const std::vector<std::string> lines = Rows(Ok({"export", db_}));
        std::map<std::string, std::multiset<RowFigures>> rows;
        if (lines.empty()) return rows;
        const std::vector<std::string> header = Fields(lines[0]);
        const auto at = [&](const std::string& name) {
            return static_cast<std::size_t>(std::find(header.begin(), header.end(), name) - header.begin());
        };
        for (std::size_t i = 1; i < lines.size(); ++i) {
            const auto f = Fields(lines[i]);
            rows[f.at(at("UserID"))].insert({f.at(at("Experiment")), f.at(at("MissedBuckets")), f.at(at("BusyTime")),
                                            f.at(at("SweepTime")), f.at(at("IdleTime"))});
        }
        return rows;
    }

    // rescore's verdict on each row of a participant: (trial, word), where a
    // MISMATCH line of a trial counts as "disagrees".
    static std::multiset<std::pair<std::string, std::string>> RescoreVerdicts(const std::string& report)
    {
        std::multiset<std::pair<std::string, std::string>> verdicts;
        std::stringstream in(report);
        for (std::string line; std::getline(in, line);) {
            if (!line.starts_with("trial ")) continue;
            const std::string trial = line.substr(6, line.find_first_of(" :", 6) - 6);
            if (line.find(": MISMATCH: the log") != std::string::npos || line.ends_with("DISAGREES"))
                verdicts.insert({trial, "disagrees"});
            else if (line.ends_with("agrees"))
                verdicts.insert({trial, "agrees"});
            else if (line.find("INCOMPLETE") != std::string::npos)
                verdicts.insert({trial, "incomplete"});
            else if (line.find(": MISMATCH: ") == std::string::npos)
                ADD_FAILURE() << "a rescore line not understood: " << line;
        }
        return verdicts;
    }

    std::string Report(const std::string& baselineTrials)
    {
        const std::string out = Path("study.html");
        const std::string said = Ok({"report", db_, "--out", out, "--baseline", baselineTrials});
        EXPECT_TRUE(Has(said, out));
        return ReadFile(out);
    }
};

TEST_F(ReportTest, TheFiguresAreThoseOfExportRescoreBaselineAndReplayAndEveryFaultIsFlagged)
{
    for (const char* seed : {"11", "12", "13", "14"}) Ok({"run-trial", db_, "ann", "--seed", seed});
    for (const char* seed : {"21", "22", "23"}) Ok({"run-trial", db_, "bo", "--seed", seed});
    {
        auto db = ExperimentDb::Open(db_, OpenMode::ReadWrite);
        ASSERT_TRUE(db.ok()) << db.error();
        ASSERT_TRUE(db.value()->AddParticipant({"cy"}).ok());
        // A second row of ann's trial 1, which never got its results.
        ASSERT_TRUE(db.value()->AddExperiment({"ann", 1, "2024-05-06", "10:30:00", "Standard", 8}).ok());
    }
    // A row without results, a trial with no log anywhere, and a log changed
    // for another trial's.
    Sql("UPDATE \"Experiments\" SET \"MissedBuckets\" = NULL, \"BusyTime\" = NULL, \"SweepTime\" = NULL, "
        "\"IdleTime\" = NULL WHERE \"UserID\" = 'ann' AND \"Experiment\" = 2");
    ASSERT_TRUE(std::filesystem::remove(Path("bo.2")));
    Sql("DELETE FROM \"TrialLogs\" WHERE \"UserID\" = 'bo' AND \"Experiment\" = 2");
    std::filesystem::copy_file(Path("bo.1"), Path("ann.3"), std::filesystem::copy_options::overwrite_existing);

    const std::string html = Report("200");
    const QJsonObject figures = Figures(html);

    // The study's size, counted from the exported rows.
    const auto exported = Exported();
    std::size_t rows = 0, complete = 0;
    for (const auto& [user, list] : exported) {
        rows += list.size();
        for (const RowFigures& row : list) complete += !std::get<1>(row).empty();
    }
    const QJsonObject size = figures["study"].toObject();
    EXPECT_EQ(size["participants"].toInt(), 3);
    EXPECT_EQ(size["trials"].toInt(), static_cast<int>(rows));
    EXPECT_EQ(size["complete"].toInt(), static_cast<int>(complete));
    EXPECT_EQ(size["incomplete"].toInt(), static_cast<int>(rows - complete));
    EXPECT_EQ(rows - complete, 2u);

    // Every participant's rows as export has them, and rescore's verdicts.
    const QJsonArray people = figures["participants"].toArray();
    ASSERT_EQ(people.size(), 3);
    std::vector<std::string> order;
    for (const QJsonValue& personValue : people) {
        const QJsonObject person = personValue.toObject();
        const std::string user = person["userId"].toString().toStdString();
        order.push_back(user);
        std::multiset<RowFigures> reported;
        std::multiset<std::pair<std::string, std::string>> verdicts;
        for (const QJsonValue& trialValue : person["trials"].toArray()) {
            const QJsonObject trial = trialValue.toObject();
            reported.insert({Cell(trial["trial"]), Cell(trial["missedBuckets"]), Cell(trial["busy"]),
                             Cell(trial["cleaning"]), Cell(trial["idle"])});
            verdicts.insert({Cell(trial["trial"]), trial["verdict"].toString().toStdString()});
        }
        EXPECT_EQ(reported, exported.count(user) ? exported.at(user) : std::multiset<RowFigures>{}) << user;
        if (!exported.count(user)) continue;
        const CommandResult rescore = Run({"rescore", db_, user, "--all"});
        EXPECT_EQ(RescoreVerdicts(rescore.out), verdicts) << user << "\n" << rescore.out;
    }
    EXPECT_EQ(order, (std::vector<std::string>{"ann", "bo", "cy"}));

    // The baseline as `baseline` prints it with the same trials and seed.
    const std::string printed = Ok({"baseline", db_, "--trials", "200", "--seed", "1"});
    std::stringstream line(printed.substr(printed.find("missed buckets") + 14));
    double mean, sd, min, q1, median, q3;
    line >> mean >> sd >> min >> q1 >> median >> q3;
    const QJsonObject baseline = figures["baseline"].toObject();
    EXPECT_EQ(FixedNumber(baseline["q1"].toDouble(), 2), FixedNumber(q1, 2));
    EXPECT_EQ(FixedNumber(baseline["median"].toDouble(), 2), FixedNumber(median, 2));
    EXPECT_EQ(FixedNumber(baseline["q3"].toDouble(), 2), FixedNumber(q3, 2));
    EXPECT_EQ(baseline["trials"].toInt(), 200);

    // The per-tank figures are the replay's of each trial's log.
    const auto tanksOf = [&](const std::string& user, int trial) {
        for (const QJsonValue& person : people) {
            if (person["userId"].toString().toStdString() != user) continue;
            for (const QJsonValue& row : person["trials"].toArray()) {
                if (row["trial"].toInt() == trial) return row["missedPerTank"].toArray();
            }
        }
        return QJsonArray();
    };
    for (const auto& [user, trial] : {std::pair<std::string, int>{"ann", 3}, {"bo", 1}, {"bo", 3}}) {
        const std::string replayed = Ok({"replay", db_, Path(user + "." + std::to_string(trial)), "--json"});
        const QJsonArray expected = QJsonDocument::fromJson(QByteArray::fromStdString(replayed))["missedPerTank"].toArray();
        EXPECT_EQ(expected.size(), TankCount);
        EXPECT_EQ(tanksOf(user, trial), expected) << user << "." << trial;
    }
    EXPECT_TRUE(tanksOf("bo", 2).isEmpty()) << "a trial with no log has no tank figures";

    // The flags: exactly what was broken.
    std::set<std::tuple<std::string, std::string, std::string>> flags;
    for (const QJsonValue& person : people) {
        for (const QJsonValue& flag : person["flags"].toArray())
            flags.insert({person["userId"].toString().toStdString(), flag["kind"].toString().toStdString(),
                          Cell(flag["trial"])});
    }
    const std::set<std::tuple<std::string, std::string, std::string>> broken = {
        {"ann", "no result", "1"},           {"ann", "shared trial number", "1"}, {"ann", "no result", "2"},
        {"ann", "disagrees", "3"},           {"bo", "no log", "2"},
    };
    EXPECT_EQ(flags, broken);
    EXPECT_TRUE(Has(html, "MissedBuckets stored "));
    EXPECT_TRUE(Has(html, "bo.2: the trial log does not exist"));
}

TEST_F(ReportTest, TheFileHoldsAllItShowsAndEscapesTextFromTheDatabase)
{
    Ok({"run-trial", db_, "ann", "--seed", "5"});
    Ok({"run-trial", db_, "ann", "--seed", "6"});
    // A User ID typed in another tool: markup must show as text.
    Sql("INSERT INTO \"UserData\" (\"UserID\") VALUES ('<b>x&y</b>\"')");
    const std::string html = Report("50");

    EXPECT_EQ(html.find("<b>x"), std::string::npos);
    EXPECT_TRUE(Has(html, "&lt;b&gt;x&amp;y&lt;/b&gt;&quot;"));
    EXPECT_EQ(Figures(html)["participants"].toArray().at(1)["userId"].toString().toStdString(), "<b>x&y</b>\"");
    // No script but the figures, nothing fetched from anywhere, pictures inline.
    std::size_t scripts = 0;
    for (std::size_t at = html.find("<script"); at != std::string::npos; at = html.find("<script", at + 1)) ++scripts;
    EXPECT_EQ(scripts, 1u);
    for (const char* outside : {" src=", "<link", "<img", "url(", "@import", "href=\"http"})
        EXPECT_EQ(html.find(outside), std::string::npos) << outside;
    EXPECT_GE(std::count(html.begin(), html.end(), '\n'), 10);
    std::size_t pictures = 0;
    for (std::size_t at = html.find("<svg"); at != std::string::npos; at = html.find("<svg", at + 1)) ++pictures;
    EXPECT_EQ(pictures, 3u) << "one participant with trials: curve, shares and tanks";
    EXPECT_TRUE(Has(html, "break-inside: avoid"));
    // The same study gives the same bytes: nothing depends on the time, the
    // run or a locale with a decimal comma.
    EXPECT_EQ(Report("50"), html);
    const std::locale before = std::locale::global(std::locale("de_DE.utf8"));
    const std::string before_c = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "de_DE.utf8");
    const std::string underComma = Report("50");
    std::setlocale(LC_ALL, before_c.c_str());
    std::locale::global(before);
    EXPECT_EQ(underComma, html);
}

TEST_F(ReportTest, TheCommandLineIsCheckedAndAFileThatCannotBeWrittenIsAFailure)
{
    EXPECT_EQ(Run({"report", db_}).status, ExitUsage);
    EXPECT_EQ(Run({"report", db_, "--out", Path("r.html"), "--baseline", "0"}).status, ExitUsage);
    EXPECT_EQ(Run({"report", db_, "--out", Path("r.html"), "--baseline", "many"}).status, ExitUsage);
    ExpectFails({"report", db_, "--out", Path("no/such/folder/r.html")}, "no/such/folder/r.html");
    ExpectFails({"report", Path("missing.MDB"), "--out", Path("r.html")}, "missing.MDB");
    EXPECT_FALSE(std::filesystem::exists(Path("r.html")));
    EXPECT_TRUE(Has(Ok({"report", "--help"}), "kestuctl report KESTU.MDB --out study.html"));
}

// A study on the server keeps its logs only in table TrialLogs: the report
// reads them there, and a copy that is missing is a trial with no log.
TEST_F(ReportTest, AStudyOnTheServerIsReportedFromItsStoredLogs)
{
    const std::string url = testsupport::NewServerDatabase();
    Ok({"init", url});
    ASSERT_TRUE(QDir(dir_.path()).mkdir("seat"));
    for (const char* seed : {"31", "32", "33"}) Ok({"run-trial", url, "kim", "--seed", seed, "--logs", Path("seat")});
    ASSERT_TRUE(testsupport::ServerSql(url, "DELETE FROM \"TrialLogs\" WHERE \"Experiment\" = 2"));

    const std::string out = Path("server.html");
    Ok({"report", url, "--out", out, "--baseline", "20"});
    const QJsonObject figures = Figures(ReadFile(out));
    testsupport::DropServerDatabase(url);
    EXPECT_EQ(figures["study"]["trials"].toInt(), 3);
    EXPECT_EQ(figures["study"]["complete"].toInt(), 3);
    const QJsonArray trials = figures["participants"][0]["trials"].toArray();
    ASSERT_EQ(trials.size(), 3);
    EXPECT_EQ(trials[0]["log"].toString(), "database");
    EXPECT_EQ(trials[0]["verdict"].toString(), "agrees");
    EXPECT_EQ(trials[1]["log"].toString(), "none");
    const QJsonArray flags = figures["participants"][0]["flags"].toArray();
    ASSERT_EQ(flags.size(), 1);
    EXPECT_EQ(flags[0]["kind"].toString(), "no log");
    EXPECT_EQ(flags[0]["trial"].toInt(), 2);
}

TEST(ReportNumbers, FixedDecimalsAndEscapesDoNotDependOnTheLocale)
{
    EXPECT_EQ(FixedNumber(0.5, 2), "0.50");
    EXPECT_EQ(FixedNumber(-0.001, 1), "0.0");
    EXPECT_EQ(FixedNumber(1234.5678, 1), "1234.6");
    EXPECT_EQ(HtmlEscaped("a<b>&\"'"), "a&lt;b&gt;&amp;&quot;&#39;");
}

}  // namespace
}  // namespace kestu::ctl::testing
