#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <fstream>
#include <sstream>

#include "conformance/case_runner.h"

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Every value the expected object holds must be in the actual one, equal
// (numbers exactly); the list of problems found, each with its path.
void Compare(const QJsonValue& expected, const QJsonValue& actual, const std::string& path,
             std::vector<std::string>& problems)
{
    if (problems.size() > 10) return;
    if (expected.isObject()) {
        const QJsonObject e = expected.toObject(), a = actual.toObject();
        for (auto it = e.begin(); it != e.end(); ++it) {
            if (it.key() == "Flags") continue;
            if (!a.contains(it.key())) {
                problems.push_back(path + "/" + it.key().toStdString() + " missing");
                continue;
            }
            Compare(it.value(), a[it.key()], path + "/" + it.key().toStdString(), problems);
        }
    } else if (expected.isArray()) {
        const QJsonArray e = expected.toArray(), a = actual.toArray();
        if (e.size() != a.size()) {
            problems.push_back(path + ": " + std::to_string(a.size()) + " items instead of " + std::to_string(e.size()));
            return;
        }
        for (qsizetype i = 0; i < e.size(); ++i) Compare(e[i], a[i], path + "[" + std::to_string(i) + "]", problems);
    } else if (expected.isDouble()) {
        if (!actual.isDouble() || actual.toDouble() != expected.toDouble())
            problems.push_back(path + ": " + QJsonDocument(QJsonArray{actual}).toJson(QJsonDocument::Compact).toStdString() +
                               " instead of " + QJsonDocument(QJsonArray{expected}).toJson(QJsonDocument::Compact).toStdString());
    } else if (expected != actual) {
        problems.push_back(path + ": " + actual.toVariant().toString().toStdString() + " instead of " +
                           expected.toVariant().toString().toStdString());
    }
}

std::string Problems(const std::string& expectedJson, const std::string& actualJson)
{
    const auto e = QJsonDocument::fromJson(QByteArray::fromStdString(expectedJson));
    const auto a = QJsonDocument::fromJson(QByteArray::fromStdString(actualJson));
    std::vector<std::string> problems;
    if (a.isNull()) return "output is not JSON";
    Compare(e.object(), a.object(), "", problems);
    std::string text;
    for (const auto& p : problems) text += p + "\n";
    return text;
}

// Where the first difference of two texts lies, by line.
std::string FirstDifference(const std::string& expected, const std::string& actual)
{
    if (expected == actual) return {};
    std::size_t line = 1, start = 0, i = 0;
    for (; i < expected.size() && i < actual.size() && expected[i] == actual[i]; ++i)
        if (expected[i] == '\n') ++line, start = i + 1;
    auto lineAt = [&](const std::string& s) { return s.substr(start, std::min<std::size_t>(s.find('\n', start) - start, 160)); };
    return "line " + std::to_string(line) + "\n  expected: " + lineAt(expected) + "\n  actual:   " + lineAt(actual);
}

std::vector<std::string> CaseNames()
{
    QDir dir(KESTU_CONFORMANCE_DIR);
    std::vector<std::string> names;
    for (const QString& name : dir.entryList({"case_*"}, QDir::Dirs, QDir::Name)) names.push_back(name.toStdString());
    return names;
}

class ConformanceTest : public ::testing::TestWithParam<std::string> {};

TEST_P(ConformanceTest, TrialLogSnapshotResultsAndReplayMatch)
{
    const std::string caseDir = std::string(KESTU_CONFORMANCE_DIR) + "/" + GetParam();
    kestu::ScenarioTables tables;
    std::vector<kestu::conformance::ScriptEvent> script;
    ASSERT_EQ(kestu::conformance::LoadCase(caseDir, tables, script), "");
    QTemporaryDir work;
    const auto out = kestu::conformance::RunCase(tables, script, work.path().toStdString());

    EXPECT_EQ(FirstDifference(ReadFile(caseDir + "/U.1"), out.trialLog), "") << "U.1";
    const std::string expectedSnapshot = ReadFile(caseDir + "/U.DAT");
    if (!expectedSnapshot.empty()) {
        ASSERT_TRUE(out.snapshot.has_value());
        EXPECT_EQ(FirstDifference(expectedSnapshot, *out.snapshot), "") << "U.DAT";
    } else {
        EXPECT_FALSE(out.snapshot.has_value());
    }
    EXPECT_EQ(Problems(ReadFile(caseDir + "/results.json"), out.resultsJson), "") << "results.json";
    EXPECT_EQ(Problems(ReadFile(caseDir + "/replay_results.json"), out.replayResultsJson), "")
        << "replay_results.json";
}

INSTANTIATE_TEST_SUITE_P(ReferenceTrials, ConformanceTest, ::testing::ValuesIn(CaseNames()),
                         [](const auto& info) { return info.param; });

}  // namespace
