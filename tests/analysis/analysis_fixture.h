#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "analysis/logged_trial.h"
#include "data/experiment_db.h"
#include "trials/headless_trial.h"

namespace kestu::analysis::testing {

// Each test gets a folder of its own, removed afterwards.
class AnalysisTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "kestu-analysis-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    static std::string ReadFile(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static void WriteFile(const std::string& path, const std::string& text)
    {
        ASSERT_TRUE(std::ofstream(path, std::ios::binary) << text) << path;
    }

    // The scenario of a database file, or of a new one with the standard scenario.
    ScenarioTables Scenario(const std::string& path = {})
    {
        std::string location = path;
        if (location.empty()) {
            location = Path("KESTU.MDB");
            if (!std::filesystem::exists(location)) {
                EXPECT_TRUE(ExperimentDb::Create(location, NewDbContent::StandardScenario).ok());
            }
        }
        auto db = ExperimentDb::Open(location, OpenMode::ReadOnly);
        auto read = db.ok() ? db.value()->ReadScenario() : Result<ScenarioTables>::Fail(db.error());
        EXPECT_TRUE(read.ok()) << read.error();
        return read.ok() ? read.value() : ScenarioTables{};
    }

    // A whole trial of `tables` with the Random method; its log's text.
    TrialLogText RecordTrial(const ScenarioTables& tables, std::uint64_t seed)
    {
        HeadlessOptions options;
        options.seed = seed;
        options.userId = "an";
        options.logFolder = dir_.string();
        RunHeadlessTrial(tables, options);
        auto log = ReadTrialLog(Path("an.1"));
        EXPECT_TRUE(log) << log.error();
        return log ? log.value() : TrialLogText{};
    }

    // The log's text cut after `records` records and ended with a STOP, as
    // when the window closes mid-trial.
    static std::string StoppedEarly(const std::string& text, std::size_t records)
    {
        std::vector<std::string> lines;
        for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
            lines.push_back(text.substr(start, end - start));
        EXPECT_GT(lines.size(), 2 * records) << "the trial has more records than are kept";
        std::string cut;
        for (std::size_t i = 0; i < 2 * records && i < lines.size(); ++i) cut += lines[i] + "\r\n";
        const std::string header = lines.at(2 * records - 2);
        return cut + header.substr(0, header.find(",\"")) + ",\"STOP\",0\r\n" + lines.at(2 * records - 1) + "\r\n";
    }

    std::filesystem::path dir_;
};

}  // namespace kestu::analysis::testing
