#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "failing_sink.h"
#include "trials/trial_session.h"
#include "ui/fault_words.h"

namespace kestu::testing {

// A store whose writes can be made to fail.
struct FlakyStore : MemoryStore {
    using MemoryStore::MemoryStore;
    std::string failAdd, failComplete, failSave, failLog, failClaimedQuery;
    std::optional<std::string> keptIn;  // where the store says it kept what it could not write
    int saves = 0;
    int reads = 0;
    Result<ScenarioTables> ReadScenario() override
    {
        ++reads;
        return MemoryStore::ReadScenario();
    }
    Result<long long> ClaimTrial(const ExperimentStart& row) override
    {
        if (!failAdd.empty()) return Fault{failAdd};
        return MemoryStore::ClaimTrial(row);
    }
    Status CompleteExperiment(const TrialId& id, const ExperimentResult& r) override
    {
        return failComplete.empty() ? MemoryStore::CompleteExperiment(id, r) : Status(Fault{failComplete});
    }
    Status SaveTrialNum(const std::string& user, int n) override
    {
        ++saves;
        return failSave.empty() ? MemoryStore::SaveTrialNum(user, n) : Status(Fault{failSave});
    }
    Status StoreTrialLog(const TrialLogCopy& log) override
    {
        return failLog.empty() ? MemoryStore::StoreTrialLog(log) : Status(Fault{failLog});
    }
    Result<bool> TrialClaimed(const TrialId& trial) override
    {
        if (!failClaimedQuery.empty()) return Fault{failClaimedQuery};
        return MemoryStore::TrialClaimed(trial);
    }
    std::optional<std::string> ResultsKeptIn() const override { return keptIn; }
};

// A small plant: water in tanks 0, 1 and 7, an arrival at 0:03, deadlines at
// 0:05 (tank 7) and 0:12 (tank 8, the end of the trial).
inline ScenarioTables SmallScenario()
{
    ScenarioTables t;
    ArrivalRow first{0, 0, {}}, second{0, 3, {}};
    first.Water[0] = 10, first.Water[1] = 3, first.Water[7] = 4;
    second.Water[3] = 2;
    t.exogenous = {first, second};
    t.deadline = {{7, 0, 5, 3}, {8, 0, 12, 2}};
    t.sorttable = {{0, 1, 0.5}, {0, 2, 0.5}, {7, 17, 1.0}};
    return t;
}

inline std::string ReadText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The header lines of a trial log, without their state lines.
inline std::vector<std::string> Headers(const std::filesystem::path& path)
{
    std::vector<std::string> headers;
    std::istringstream in(ReadText(path));
    std::string line;
    for (int n = 0; std::getline(in, line); ++n)
        if (n % 2 == 0) headers.push_back(line.substr(0, line.size() - 1));
    return headers;
}

// Participant "ann" after four trials, feedforward offered, in a folder of the test's own.
class SessionTest : public ::testing::Test {
protected:
    std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                ("kestu-session-" + std::to_string(::getpid()) + "-" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
    FlakyStore store{SmallScenario()};
    ParticipantState participant{.UserID = "ann", .TrialNum = 4, .FeedforwardOn = true};
    std::unique_ptr<TrialSession> session;
    std::vector<std::string> reports;  // failures, and notices too, as the window words them
    std::vector<std::string> notices;
    std::vector<std::string> details;  // what went to standard error
    std::vector<TrialFault> faults;
    // Words each fault as the window does.
    struct Reporter : TrialObserver {
        SessionTest& test;
        explicit Reporter(SessionTest& t) : test(t) {}
        void OnTrialEvent(const TrialEvent& event) override
        {
            if (event.Kind != TrialEventKind::Fault) return;
            test.faults.push_back(*event.Fault);
            test.reports.push_back(FaultSentence(*event.Fault));
            if (IsNotice(*event.Fault)) test.notices.push_back(test.reports.back());
        }
        TrialEventKinds Wanted() const override { return KindBit(TrialEventKind::Fault); }
    } reporter{*this};

    void SetUp() override
    {
        std::filesystem::create_directories(dir);
        OpenWindow();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    void OpenWindow()
    {
        session = std::make_unique<TrialSession>(participant, store, dir.string());
        session->observers.Add(&reporter);
        session->host.detail = [this](const std::string& text) { details.push_back(text); };
        session->host.now = [] { return WallClock{"2026-12-06", "10:11:12"}; };
        ASSERT_TRUE(session->trial.LoadPlant());
    }
    PlantState& plant() { return session->plant(); }
    void StartTrial()
    {
        session->trial.SetUpTrial();
        session->trial.StartOrStop();
    }
    void Ticks(int n)
    {
        for (int k = 0; k < n; ++k) session->Tick();
    }
    void RunToEnd(int limit = 1000)
    {
        for (int k = 0; k < limit && session->Ticking(); ++k) session->Tick();
    }
};

}  // namespace kestu::testing
