#include "conformance/case_runner.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "data/experiment_db.h"
#include "trials/file_sink.h"
#include "trials/snapshot.h"
#include "trials/headless_trial.h"
#include "trials/trial_session.h"
#include "ui/fault_words.h"

namespace kestu::conformance {

namespace {

std::string ReadText(const std::string& path)
{
    auto text = kestu::ReadWholeFile(path);
    return text ? text.value() : std::string();
}

// Whole numbers of the plant as a JSON list.
template <typename Range>
QJsonArray IntList(const Range& values)
{
    QJsonArray list;
    for (const auto v : values) list.append(static_cast<qint64>(v));
    return list;
}

QString Text(const std::string& s) { return QString::fromStdString(s); }

std::string ToText(const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Indented).toStdString(); }

void WritePlant(QJsonObject& j, TrialSession& session)
{
    const PlantState& p = session.plant();
    const MissedTally& missed = session.missed;
    j["MissedBuckets"] = static_cast<qint64>(missed.Total);
    j["MissedCaption"] = Text(std::to_string(missed.Total));
    QJsonArray perTank;
    for (const std::optional<int>& v : missed.PerTank) perTank.append(v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null));
    j["MissedPerTank"] = perTank;
    j["ElapsedTicks"] = static_cast<qint64>(p.ElapsedTicks);
    j["BusyPumpTicks"] = static_cast<qint64>(p.BusyPumpTicks);
    j["SweepPumpTicks"] = static_cast<qint64>(p.SweepPumpTicks);
    QJsonArray water;
    for (int t = 0; t < TankCount; ++t) water.append(p.Tanks[t].Water);
    j["Water"] = water;
    j["EndClock"] = QJsonArray{static_cast<qint64>(p.Clock.Minutes), static_cast<qint64>(p.Clock.Seconds)};
}

QJsonObject FinalState(TrialSession& session)
{
    const PlantState& p = session.plant();
    QJsonObject j;
    j["PumpState"] = IntList(p.PumpState);
    QJsonArray status;
    for (SwitchStatus s : p.Status) status.append(Text(std::string(LogWord(s))));
    j["Status"] = status;
    j["PumpHandover"] = IntList(p.PumpHandover);
    j["SwitchTick"] = IntList(p.SwitchTick);
    j["PumpsAllocated"] = static_cast<qint64>(p.PumpsAllocated);
    j["PumpsReleasing"] = static_cast<qint64>(p.PumpsReleasing);
    j["PumpsInUse"] = Text(std::to_string(p.PumpsInUseShown));
    j["CleaningQueue"] = IntList(p.CleaningQueue);
    QJsonArray expect;
    for (int t = 0; t < TankCount; ++t) expect.append(static_cast<qint64>(p.Tanks[t].ExpectAmt));
    j["ExpectAmt"] = expect;
    j["NextArrivalRow"] = static_cast<qint64>(session.engine.NextArrivalRow());
    j["TimerRunning"] = session.Ticking();
    // The reference trials record the feedforward button as its caption.
    j["FFCaption"] = session.snapshotPending ? "&Restore FF" : "&Feedforward";
    return j;
}

// How far a scripted trial ran, and how many of its events had no effect
// (disabled controls, or due after the trial had ended).
struct ScriptedRun {
    int ticks = 0;
    int ignored = 0;
};

// Runs the trial through the core's driver as the window does, firing each
// scripted event at its tick and point: before the tick or at one of its
// yields (tick 0 is between the setup and the start).
ScriptedRun RunScripted(TrialSession& session, const std::vector<ScriptEvent>& script)
{
    ScriptedRun run;
    std::multimap<std::pair<long long, std::string>, const ScriptEvent*> due;
    for (const auto& e : script) due.emplace(std::make_pair(e.tick, e.at), &e);
    long long tick = 0;
    auto fire = [&](const std::string& at) {
        auto [first, last] = due.equal_range({tick, at});
        for (auto it = first; it != last; ++it) {
            const ScriptEvent& e = *it->second;
            const Controls shown = session.controls();
            if (e.action == "click") {
                if (!shown.SwitchesEnabled) ++run.ignored;
                session.trial.ClickSwitch(e.switchNum);
            } else if (shown.FFVisible && shown.FFEnabled) {
                session.snapshots.SaveOrRestore();
            } else {
                ++run.ignored;
            }
        }
    };
    session.host.yield = [&](YieldPoint point) { fire("yield" + std::to_string(int(point))); };
    TickScript ticks;
    ticks.beforeTick = [&](long long k) {
        tick = k;
        fire("before");
    };
    run.ticks = static_cast<int>(RunSessionTrial(session, 100000, ticks).trial.ticks);
    session.host.yield = nullptr;  // `fire` refers to this frame
    for (const auto& e : script)
        if (e.tick > run.ticks) ++run.ignored;
    return run;
}

std::string TrialResults(TrialSession& session, const ScriptedRun& run)
{
    QJsonObject j;
    j["Ended"] = !session.Ticking();
    WritePlant(j, session);
    const PlantState& p = session.plant();
    if (auto shares = ComputeShares(p.ElapsedTicks, p.BusyPumpTicks, p.SweepPumpTicks)) {
        j["BusyTime"] = shares->BusyTime;
        j["SweepTime"] = shares->SweepTime;
        j["IdleTime"] = shares->IdleTime;
    }
    j["TrialEnd"] = QJsonArray{static_cast<qint64>(session.trialEnd.Minutes), static_cast<qint64>(session.trialEnd.Seconds)};
    j["TicksRun"] = run.ticks;
    j["IgnoredEvents"] = run.ignored;
    j["Final"] = FinalState(session);
    return ToText(j);
}

// How a replay ran: what ended it ("end time", "STOP" or the error shown)
// and how many ticks it took.
struct ReplayRun {
    std::string endedBy = "end time";
    int ticks = 0;
};

// Replays the participant's first trial log through the core's driver.
ReplayRun RunReplay(TrialSession& session, const std::string& logPath)
{
    ReplayRun run;
    const ReplayOutcome outcome = RunSessionReplay(session, logPath, 1);
    if (outcome.fault) run.endedBy = "error: " + FaultSentence(*outcome.fault);
    run.ticks = static_cast<int>(outcome.trial.ticks);
    if (session.runEnd == RunEnd::ByStopRecord) run.endedBy = "STOP";
    return run;
}

std::string ReplayResults(TrialSession& session, const ReplayRun& run)
{
    QJsonObject j;
    j["EndedBy"] = Text(run.endedBy);
    WritePlant(j, session);
    j["TicksRun"] = run.ticks;
    j["Final"] = FinalState(session);
    // The replay keeps its snapshot in memory: the last one it saved.
    const auto& saved = session.snapshots.LastSaved();
    j["Snapshot"] = saved ? QJsonValue(Text(*saved)) : QJsonValue(QJsonValue::Null);
    return ToText(j);
}

}  // namespace

std::string LoadCase(const std::string& caseDir, ScenarioTables& tables, std::vector<ScriptEvent>& script)
{
    auto db = ExperimentDb::Open(caseDir + "/scenario.sqlite", OpenMode::ReadOnly);
    if (!db) return db.error();
    auto read = db.value()->ReadScenario();
    if (!read) return read.error();
    tables = std::move(read).value();

    QFile file(QString::fromStdString(caseDir + "/script.json"));
    if (!file.open(QIODevice::ReadOnly)) return caseDir + "/script.json cannot be opened";
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (!doc.isArray()) return caseDir + "/script.json: " + parseError.errorString().toStdString();
    script.clear();
    for (const QJsonValue& v : doc.array()) {
        const QJsonObject o = v.toObject();
        script.push_back({o["tick"].toInt(), o["at"].toString().toStdString(), o["action"].toString().toStdString(),
                          o["switch"].toInt()});
    }
    return {};
}

CaseOutput RunCase(const ScenarioTables& tables, const std::vector<ScriptEvent>& script, const std::string& workDir,
                   TrialObserver* trialObserver, TrialObserver* replayObserver)
{
    namespace fs = std::filesystem;
    const fs::path trialDir = fs::path(workDir) / "trial";
    const fs::path replayDir = fs::path(workDir) / "replay";
    fs::create_directories(trialDir);
    fs::create_directories(replayDir);
    fs::remove(trialDir / "U.DAT");
    fs::remove(replayDir / "U.DAT");

    CaseOutput output;
    MemoryStore store(tables);
    {
        ParticipantState participant;
        participant.UserID = "U";
        participant.FeedforwardOn = true;
        TrialSession session(participant, store, trialDir.string());
        if (trialObserver) session.observers.Add(trialObserver);
        const ScriptedRun run = RunScripted(session, script);
        output.resultsJson = TrialResults(session, run);
    }
    output.trialLog = ReadText((trialDir / "U.1").string());
    if (fs::exists(trialDir / "U.DAT")) output.snapshot = ReadText((trialDir / "U.DAT").string());

    // Its replay, from the log just written; snapshots re-saved elsewhere.
    fs::copy_file(trialDir / "U.1", replayDir / "U.1", fs::copy_options::overwrite_existing);
    {
        ParticipantState participant;
        participant.UserID = "U";
        participant.ReplayMode = true;
        participant.TrialNum = 1;
        TrialSession session(participant, store, replayDir.string());
        if (replayObserver) session.observers.Add(replayObserver);
        const ReplayRun run = RunReplay(session, (replayDir / "U.1").string());
        output.replayResultsJson = ReplayResults(session, run);
        session.CloseWindow();
    }
    return output;
}

}  // namespace kestu::conformance
