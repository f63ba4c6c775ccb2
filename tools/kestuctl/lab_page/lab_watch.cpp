#include "kestuctl/lab_page/lab_watch.h"

#include <algorithm>
#include <ctime>
#include <set>
#include <sstream>

#include "analysis/plain_number.h"
#include "analysis/replay_run.h"
#include "analysis/rescore_check.h"
#include "data/experiment_db.h"
#include "kestuctl/load_scenario.h"
#include "trials/participant.h"

namespace kestu::lab {

namespace {

using SteadyClock = std::chrono::steady_clock;

// The page reads the participants' trials every this many polls.
constexpr long long TrialsEveryPolls = 4;
// A last trial whose log is not stored yet is looked for again after this long.
constexpr auto LogRetry = std::chrono::seconds(10);

std::optional<double> NumberOf(const Cell& cell)
{
    if (const auto* whole = std::get_if<long long>(&cell)) return static_cast<double>(*whole);
    if (const auto* number = std::get_if<double>(&cell)) return *number;
    if (const auto* text = std::get_if<std::string>(&cell)) {
        if (text->empty()) return std::nullopt;
        std::istringstream in(*text);
        in.imbue(std::locale::classic());
        double value = 0;
        if (in >> value && in.eof()) return value;
    }
    return std::nullopt;
}

std::string TextOf(const Cell& cell)
{
    if (const auto* text = std::get_if<std::string>(&cell)) return *text;
    if (const auto* whole = std::get_if<long long>(&cell)) return std::to_string(*whole);
    if (const auto* number = std::get_if<double>(&cell)) return analysis::PlainNumber(*number);
    return {};
}

int ColumnOf(const CellTable& table, const std::string& name)
{
    const auto at = std::find(table.columns.begin(), table.columns.end(), name);
    return at == table.columns.end() ? -1 : static_cast<int>(at - table.columns.begin());
}

Cell At(const std::vector<Cell>& row, int column) { return column < 0 ? Cell() : row[column]; }

std::string LocalTimeNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::string Fingerprint(const TrialLine& line)
{
    auto part = [](const std::optional<double>& v) { return v ? analysis::PlainNumber(*v) : std::string("-"); };
    return part(line.missed) + "|" + part(line.busy) + "|" + part(line.sweep) + "|" + part(line.idle);
}

// The row's figures against a replay of its log, as `kestuctl rescore` does.
TrialVerdict Check(const ScenarioTables& tables, const TrialLine& line, const TrialLogText& log)
{
    TrialVerdict verdict;
    verdict.checked = true;
    const auto replayed = analysis::ReplayTrialLog(tables, log);
    if (!replayed) {
        verdict.disagrees = true;
        verdict.why = "the log cannot be replayed";
        return verdict;
    }
    ExperimentRow row;
    row.Experiment = line.trial;
    row.MissedBuckets = line.missed;
    row.BusyTime = line.busy;
    row.SweepTime = line.sweep;
    row.IdleTime = line.idle;
    if (analysis::IsIncomplete(row, replayed.value())) return verdict;
    for (const analysis::FieldCheck& check : analysis::CompareWithReplay(row, replayed.value())) {
        if (check.agrees) continue;
        verdict.disagrees = true;
        verdict.why = check.field + " stored " + check.stored + ", replayed " + check.replayed;
        break;
    }
    return verdict;
}

}  // namespace

LabWatch::LabWatch(std::string location, std::chrono::milliseconds interval)
    : location_(std::move(location)), interval_(interval)
{
}

Result<std::unique_ptr<LabWatch>> LabWatch::Start(const std::string& location, std::chrono::milliseconds interval)
{
    std::unique_ptr<LabWatch> watch(new LabWatch(location, interval));
    // Shared with the thread, which may still be inside set_value when Start returns.
    auto opened = std::make_shared<std::promise<Status>>();
    auto started = opened->get_future();
    LabWatch* self = watch.get();
    watch->thread_ = std::thread([self, opened] { self->Run(*opened); });
    const Status status = started.get();
    if (!status) {
        watch->Stop();
        return status.fault();
    }
    return watch;
}

LabWatch::~LabWatch() { Stop(); }

void LabWatch::Stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

std::shared_ptr<const LabSnapshot> LabWatch::Current() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return current_;
}

std::shared_ptr<const LabSnapshot> LabWatch::WaitNewer(long long serial, std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return stop_ || (current_ && current_->serial > serial); });
    return current_;
}

std::shared_ptr<const ScenarioTables> LabWatch::Scenario() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return scenario_;
}

Result<std::optional<TrialLogText>> LabWatch::FetchLog(const std::string& userId, long long trial,
                                                       std::chrono::milliseconds timeout)
{
    using Fetched = Result<std::optional<TrialLogText>>;
    auto job = std::make_shared<LogJob>();
    job->userId = userId;
    job->trial = trial;
    auto answer = job->done.get_future();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stop_) return Fetched::Fail("the page is closing");
        jobs_.push_back(job);
    }
    wake_.notify_all();
    if (answer.wait_for(timeout) != std::future_status::ready)
        return Fetched::Fail("the database did not answer within " + std::to_string(timeout.count() / 1000) + " s");
    return answer.get();
}

Status LabWatch::Connect()
{
    auto opened = ExperimentDb::Open(location_, OpenMode::ReadOnly);
    if (!opened) return opened.fault();
    auto mayChange = opened.value()->MayChangeStudy();
    if (!mayChange) return mayChange.fault();
    if (mayChange.value()) {
        return Status::Fail(
            "this login may change the study; serve only reads it, so it needs a login that may only read "
            "(a member of kestu_monitor, which kestuctl init makes)");
    }
    auto tables = opened.value()->ReadScenario();
    if (!tables) return tables.fault();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        scenario_ = std::make_shared<const ScenarioTables>(std::move(tables).value());
    }
    db_ = std::move(opened).value();
    return Ok();
}

void LabWatch::Run(std::promise<Status>& opened)
{
    const Status connected = Connect();
    if (!connected) {
        opened.set_value(connected);
        return;
    }
    Poll();
    opened.set_value(Ok());
    auto next = SteadyClock::now() + interval_;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        wake_.wait_until(lock, next, [&] { return stop_ || !jobs_.empty(); });
        if (stop_) break;
        lock.unlock();
        ServeJobs();
        if (SteadyClock::now() >= next) {
            Poll();
            next = SteadyClock::now() + interval_;
        }
        lock.lock();
    }
    // Whoever still waits for a log hears that none comes.
    for (const auto& job : jobs_) job->done.set_value(Result<std::optional<TrialLogText>>::Fail("the page is closing"));
    jobs_.clear();
    lock.unlock();
    db_.reset();
}

void LabWatch::ServeJobs()
{
    for (;;) {
        std::shared_ptr<LogJob> job;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (jobs_.empty()) return;
            job = jobs_.front();
            jobs_.pop_front();
        }
        using Fetched = Result<std::optional<TrialLogText>>;
        if (!db_) {
            job->done.set_value(Fetched::Fail("the database is not answering"));
            continue;
        }
        auto logs = db_->ReadTrialLogs(job->userId);
        if (!logs) {
            job->done.set_value(Fetched::Fail(logs.error()));
            continue;
        }
        std::optional<TrialLogText> found;
        for (TrialLogCopy& copy : logs.value()) {
            if (copy.UserID == job->userId && copy.Experiment == job->trial)
                found = TrialLogText{job->userId + "." + std::to_string(job->trial), std::move(copy.Bytes)};
        }
        job->done.set_value(Fetched(std::move(found)));
    }
}

std::optional<TrialVerdict> LabWatch::LastVerdict(const std::string& userId)
{
    const TrialLine* last = LastTrialWithResult(trials_, userId);
    if (!last || !db_) return std::nullopt;
    const auto key = std::pair(userId, last->trial);
    const std::string fingerprint = Fingerprint(*last);
    auto cached = verdicts_.find(key);
    if (cached != verdicts_.end() && cached->second.fingerprint == fingerprint &&
        (cached->second.verdict.checked || SteadyClock::now() < cached->second.retryAfter))
        return cached->second.verdict;

    CachedVerdict entry{fingerprint, {}, SteadyClock::now() + LogRetry};
    auto logs = db_->ReadTrialLogs(userId);
    if (!logs) return std::nullopt;  // tried again at the next poll
    const auto scenario = Scenario();
    for (const TrialLogCopy& copy : logs.value()) {
        if (copy.Experiment != last->trial) continue;
        entry.verdict = Check(*scenario, *last, TrialLogText{userId + "." + std::to_string(last->trial), copy.Bytes});
    }
    verdicts_[key] = entry;
    return entry.verdict;
}

void LabWatch::Poll()
{
    auto next = std::make_shared<LabSnapshot>();
    next->database = ctl::DatabaseShown(location_).value_or(location_);
    std::string fault;
    if (!db_) {
        if (const Status connected = Connect(); !connected) fault = connected.error();
    }
    std::optional<SeatBoard> board;
    if (db_) {
        auto read = db_->ReadSeatBoard();
        if (read) {
            board = std::move(read).value();
        } else {
            fault = read.error();
        }
    }
    if (board && (polls_ % TrialsEveryPolls == 0 || trials_.empty())) {
        auto users = db_->ReadResultCells(ResultTable::Participants);
        auto rows = db_->ReadResultCells(ResultTable::Experiments);
        if (users && rows) {
            TrialsByUser trials;
            std::vector<std::string> order;
            std::set<std::string> seen;
            const CellTable& u = users.value();
            const int userColumn = ColumnOf(u, "UserID");
            for (const auto& row : u.rows) {
                const std::string id = TextOf(At(row, userColumn));
                if (seen.insert(id).second) order.push_back(id);
            }
            const CellTable& e = rows.value();
            const int user = ColumnOf(e, "UserID"), trial = ColumnOf(e, "Experiment"), date = ColumnOf(e, "Date"),
                      speed = ColumnOf(e, "SimRate"), missed = ColumnOf(e, "MissedBuckets"),
                      busy = ColumnOf(e, "BusyTime"), sweep = ColumnOf(e, "SweepTime"), idle = ColumnOf(e, "IdleTime");
            for (const auto& row : e.rows) {
                const std::string id = TextOf(At(row, user));
                const auto number = NumberOf(At(row, trial));
                if (!number) continue;
                trials[id].push_back({static_cast<long long>(*number), TextOf(At(row, date)), NumberOf(At(row, speed)),
                                      NumberOf(At(row, missed)), NumberOf(At(row, busy)), NumberOf(At(row, sweep)),
                                      NumberOf(At(row, idle))});
                if (seen.insert(id).second) order.push_back(id);
            }
            for (auto& [id, lines] : trials)
                std::stable_sort(lines.begin(), lines.end(),
                                 [](const TrialLine& a, const TrialLine& b) { return a.trial < b.trial; });
            trials_ = std::move(trials);
            userOrder_ = std::move(order);
        } else {
            fault = users ? rows.error() : users.error();
            board.reset();
        }
    }
    ++polls_;

    const auto previous = Current();
    if (board) {
        downSince_.reset();
        next->answering = true;
        next->now = board->Now;
        for (const SeatRow& row : board->Seats) {
            SeatTile tile;
            tile.row = row;
            tile.silentFor = std::max(0.0, board->Now - row.ReportedAt);
            const auto verdict =
                IsValidUserId(row.UserID) ? LastVerdict(row.UserID) : std::optional<TrialVerdict>();
            tile.alarms = SeatAlarms(row, board->Now, trials_, verdict, endedSince_);
            next->seats.push_back(std::move(tile));
        }
    } else {
        // The page keeps showing what was last read, under a line that says
        // since when the database has not answered; the next poll connects anew.
        db_.reset();
        if (!downSince_) downSince_ = LocalTimeNow();
        next->answering = false;
        next->notAnsweringSince = *downSince_;
        next->fault = fault;
        if (previous) {
            next->now = previous->now;
            next->seats = previous->seats;
        }
    }
    for (const std::string& id : userOrder_) {
        ParticipantLine line{id, {}};
        if (const auto found = trials_.find(id); found != trials_.end()) line.trials = found->second;
        next->participants.push_back(std::move(line));
    }
    Publish(std::move(next));
}

void LabWatch::Publish(std::shared_ptr<LabSnapshot> next)
{
    next->serial = ++serial_;
    next->json = SnapshotJson(*next);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        current_ = std::move(next);
    }
    changed_.notify_all();
}

}  // namespace kestu::lab
