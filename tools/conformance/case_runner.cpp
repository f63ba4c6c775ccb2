#include "conformance/case_runner.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "data/experiment_db.h"
#include "trials/snapshot.h"
#include "trials/trial_session.h"

namespace kestu::conformance {

namespace {

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A small JSON writer: shortest round-trip doubles, lists of values.
class Json {
public:
    void Key(const std::string& key)
    {
        Comma();
        out_ += "\"" + key + "\": ";
        first_ = true;
    }
    void Raw(const std::string& text)
    {
        Comma();
        out_ += text;
    }
    void Number(double v)
    {
        char buf[32];
        auto res = std::to_chars(buf, buf + sizeof buf, v);
        std::string s(buf, res.ptr);
        if (s.find_first_of(".e") == std::string::npos) s += ".0";
        Raw(s);
    }
    void Int(long long v) { Raw(std::to_string(v)); }
    void String(const std::string& s)
    {
        std::string q = "\"";
        for (char c : s) {
            if (c == '"' || c == '\\') q += '\\';
            if (c == '\r') { q += "\\r"; continue; }
            if (c == '\n') { q += "\\n"; continue; }
            q += c;
        }
        Raw(q + "\"");
    }
    void Open(char c)
    {
        Comma();
        out_ += c;
        first_ = true;
    }
    void Close(char c)
    {
        out_ += c;
        first_ = false;
    }
    template <typename Range, typename F>
    void List(const std::string& key, const Range& range, F each)
    {
        Key(key);
        Open('[');
        for (const auto& v : range) each(v);
        Close(']');
    }
    const std::string& Text() const { return out_; }

private:
    void Comma()
    {
        if (!first_) out_ += ", ";
        first_ = false;
    }
    std::string out_;
    bool first_ = true;
};

void WritePlant(Json& j, const TrialSession& session, const MissedTally& missed)
{
    const PlantState& p = const_cast<TrialSession&>(session).plant();
    j.Key("MissedBuckets");
    j.Int(missed.Total);
    j.Key("MissedCaption");
    j.String(std::to_string(missed.Total));
    j.List("MissedPerTank", missed.PerTank, [&](const std::optional<int>& v) { v ? j.Int(*v) : j.Raw("null"); });
    j.Key("ElapsedTicks");
    j.Int(p.ElapsedTicks);
    j.Key("BusyPumpTicks");
    j.Int(p.BusyPumpTicks);
    j.Key("SweepPumpTicks");
    j.Int(p.SweepPumpTicks);
    std::vector<double> water;
    for (int t = 0; t < TankCount; ++t) water.push_back(p.Tanks[t].Water);
    j.List("Water", water, [&](double w) { j.Number(w); });
    j.Key("EndClock");
    j.Open('[');
    j.Int(p.SimMinutes);
    j.Int(p.SimSeconds);
    j.Close(']');
}

void WriteFinal(Json& j, TrialSession& session)
{
    const PlantState& p = session.plant();
    j.Key("Final");
    j.Open('{');
    auto ints = [&](const std::string& key, const auto& values) { j.List(key, values, [&](int v) { j.Int(v); }); };
    ints("PumpState", p.PumpState);
    j.List("Status", p.Status, [&](SwitchStatus s) { j.String(std::string(LogWord(s))); });
    ints("PumpHandover", p.PumpHandover);
    ints("SwitchTick", p.SwitchTick);
    j.Key("PumpsAllocated");
    j.Int(p.PumpsAllocated);
    j.Key("PumpsReleasing");
    j.Int(p.PumpsReleasing);
    j.Key("PumpsInUse");
    j.String(std::to_string(p.PumpsInUseShown));
    ints("CleaningQueue", p.CleaningQueue);
    std::vector<int> expect;
    for (int t = 0; t < TankCount; ++t) expect.push_back(p.Tanks[t].ExpectAmt);
    ints("ExpectAmt", expect);
    j.Key("NextArrivalRow");
    j.Int(static_cast<long long>(session.engine.NextArrivalRow()));
    j.Key("TimerRunning");
    j.Raw(session.engine.TimerRunning() ? "true" : "false");
    // The reference trials record the feedforward button as its caption.
    j.Key("FFCaption");
    j.String(session.controls.SnapshotPending ? "&Restore FF" : "&Feedforward");
    j.Close('}');
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

CaseOutput RunCase(const ScenarioTables& tables, const std::vector<ScriptEvent>& script, const std::string& workDir)
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

    // The trial itself.
    {
        ParticipantState participant;
        participant.UserID = "U";
        participant.FeedforwardOn = true;
        TrialSession session(participant, store, trialDir.string());
        std::multimap<std::pair<int, std::string>, const ScriptEvent*> due;
        for (const auto& e : script) due.emplace(std::make_pair(e.tick, e.at), &e);
        int tick = 0, ignored = 0;
        auto fire = [&](const std::string& at) {
            auto [first, last] = due.equal_range({tick, at});
            for (auto it = first; it != last; ++it) {
                const ScriptEvent& e = *it->second;
                if (e.action == "click") {
                    if (!session.controls.SwitchesEnabled) ++ignored;
                    session.ClickSwitch(e.switchNum);
                } else if (session.controls.FFVisible && session.controls.FFEnabled) {
                    session.SaveOrRestoreSnapshot();
                } else {
                    ++ignored;
                }
            }
        };
        session.host.yield = [&](YieldPoint point) { fire("yield" + std::to_string(int(point))); };

        session.LoadPlant();
        session.SetUpTrial();
        fire("before");
        session.StartOrStop();
        while (session.engine.TimerRunning() && tick < 100000) {
            ++tick;
            fire("before");
            session.engine.Simulate();
        }
        for (const auto& e : script)
            if (e.tick > tick) ++ignored;

        Json j;
        j.Open('{');
        j.Key("Ended");
        j.Raw(session.engine.TimerRunning() ? "false" : "true");
        WritePlant(j, session, session.missed);
        if (auto shares = ComputeShares(session.plant().ElapsedTicks, session.plant().BusyPumpTicks,
                                        session.plant().SweepPumpTicks)) {
            j.Key("BusyTime"), j.Number(shares->BusyTime);
            j.Key("SweepTime"), j.Number(shares->SweepTime);
            j.Key("IdleTime"), j.Number(shares->IdleTime);
        }
        j.Key("TrialEnd");
        j.Open('[');
        j.Int(session.trialEnd.Minutes);
        j.Int(session.trialEnd.Seconds);
        j.Close(']');
        j.Key("TicksRun");
        j.Int(tick);
        j.Key("IgnoredEvents");
        j.Int(ignored);
        WriteFinal(j, session);
        j.Close('}');
        output.resultsJson = j.Text() + "\n";
        session.CloseWindow();
    }
    output.trialLog = ReadText((trialDir / "U.1").string());
    if (fs::exists(trialDir / "U.DAT")) output.snapshot = ReadText((trialDir / "U.DAT").string());

    // Its replay, from the log just written; snapshots re-saved elsewhere.
    {
        fs::copy_file(trialDir / "U.1", replayDir / "U.1", fs::copy_options::overwrite_existing);
        ParticipantState participant;
        participant.UserID = "U";
        participant.ReplayMode = true;
        participant.TrialNum = 1;
        TrialSession session(participant, store, replayDir.string());
        std::string stoppedBy = "end time";
        bool stopRecord = false;
        session.host.report = [&](const std::string&, const std::string& text) { stoppedBy = "error: " + text; };
        session.LoadPlant();
        session.replaySelection = "1";
        session.LoadReplay();
        int tick = 0;
        if (session.controls.PlayEnabled) {
            session.PlayReplay();
            while (session.engine.TimerRunning() && tick < 100000) {
                ++tick;
                session.engine.Simulate();
            }
        }
        stopRecord = session.runEnd == RunEnd::ByStopRecord;
        if (stopRecord) stoppedBy = "STOP";

        Json j;
        j.Open('{');
        j.Key("EndedBy");
        j.String(stoppedBy);
        WritePlant(j, session, session.missed);
        j.Key("TicksRun");
        j.Int(tick);
        WriteFinal(j, session);
        j.Key("Snapshot");
        if (fs::exists(replayDir / "U.DAT"))
            j.String(ReadText((replayDir / "U.DAT").string()));
        else
            j.Raw("null");
        j.Close('}');
        output.replayResultsJson = j.Text() + "\n";
        session.CloseWindow();
    }
    return output;
}

}  // namespace kestu::conformance
