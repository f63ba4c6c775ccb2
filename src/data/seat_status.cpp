// The seats' rows of "SeatStatus": written by each seat about itself, read
// by the lab page.

#include "data/seat_status.h"

#include <QSqlDatabase>
#include <QVariant>

#include <array>
#include <utility>

#include "data/db_internal.h"
#include "data/experiment_db.h"
#include "data/server_call_bound.h"

namespace kestu {

using namespace dbdetail;

namespace {

constexpr std::array<std::pair<TrialPhase, const char*>, 9> PhaseWords{{
    {TrialPhase::Idle, "Idle"},
    {TrialPhase::SetUp, "SetUp"},
    {TrialPhase::Running, "Running"},
    {TrialPhase::Ended, "Ended"},
    {TrialPhase::CutShort, "CutShort"},
    {TrialPhase::ReplayLoaded, "ReplayLoaded"},
    {TrialPhase::ReplayPlaying, "ReplayPlaying"},
    {TrialPhase::ReplayPaused, "ReplayPaused"},
    {TrialPhase::ReplayEnded, "ReplayEnded"},
}};


// Text bound as itself; an empty one as '' rather than NULL.
QVariant Text(const std::string& text)
{
    const QString q = Q(text);
    return q.isNull() ? QStringLiteral("") : q;
}

// Seconds since 1970 by SQLite's clock, to the millisecond.
const QString SqliteNow = QStringLiteral("(julianday('now') - 2440587.5) * 86400.0");

}  // namespace

const char* ModeWord(SimulatorMode mode)
{
    switch (mode) {
    case SimulatorMode::Training: return "Training";
    case SimulatorMode::Replay: return "Replay";
    case SimulatorMode::Experiment: break;
    }
    return "Experiment";
}

const char* PhaseWord(TrialPhase phase)
{
    for (const auto& [p, word] : PhaseWords)
        if (p == phase) return word;
    return "Idle";
}

std::optional<TrialPhase> PhaseOfWord(const std::string& word)
{
    for (const auto& [p, w] : PhaseWords)
        if (word == w) return p;
    return std::nullopt;
}

Status ExperimentDb::ReportSeat(const SeatReport& report)
{
    const QString doing = "cannot report seat " + Q(report.Seat) + " in table \"SeatStatus\"";
    const ServerCallBound bound;  // a server that stops answering fails the report
    auto functions = ThroughFunctions();
    if (!functions) return functions.fault();
    if (!functions.value() && !onServer_ && !statements_->seatTableMade) {
        QSqlDatabase db = QSqlDatabase::database(Q(connection_), false);
        for (const QString& statement : CreateIfMissing(QStringLiteral("SeatStatus"))) {
            QSqlQuery make(db);
            if (!make.exec(statement)) return Status::Fail(Failed(path_, doing, make.lastError()));
        }
        statements_->seatTableMade = true;
    }
    const QString sql =
        functions.value()
            ? QStringLiteral("SELECT kestu_report_seat(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
            : QStringLiteral("INSERT INTO \"SeatStatus\" (\"Seat\", \"Version\", \"UserID\", \"Experiment\", \"Mode\", "
                             "\"Phase\", \"Clock\", \"EndClock\", \"MissedBuckets\", \"OutboxWaiting\", \"ReportedAt\", "
                             "\"Login\") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ") +
                  (onServer_ ? QStringLiteral("extract(epoch FROM clock_timestamp()), session_user")
                             : SqliteNow + QStringLiteral(", ''")) +
                  QStringLiteral(") ON CONFLICT (\"Seat\") DO UPDATE SET \"Version\" = excluded.\"Version\", "
                                 "\"UserID\" = excluded.\"UserID\", \"Experiment\" = excluded.\"Experiment\", "
                                 "\"Mode\" = excluded.\"Mode\", \"Phase\" = excluded.\"Phase\", "
                                 "\"Clock\" = excluded.\"Clock\", \"EndClock\" = excluded.\"EndClock\", "
                                 "\"MissedBuckets\" = excluded.\"MissedBuckets\", "
                                 "\"OutboxWaiting\" = excluded.\"OutboxWaiting\", "
                                 "\"ReportedAt\" = excluded.\"ReportedAt\"");
    auto call = Statement(sql, doing);
    if (!call) return call.fault();
    QSqlQuery& q = *call.value();
    q.bindValue(0, Text(report.Seat));
    q.bindValue(1, Text(report.Version));
    q.bindValue(2, Text(report.UserID));
    q.bindValue(3, report.TrialNum);
    q.bindValue(4, QString::fromLatin1(ModeWord(report.Mode)));
    q.bindValue(5, QString::fromLatin1(PhaseWord(report.Phase)));
    q.bindValue(6, QVariant::fromValue<int>(static_cast<int>(report.ClockSeconds)));
    q.bindValue(7, QVariant::fromValue<int>(static_cast<int>(report.EndSeconds)));
    q.bindValue(8, QVariant::fromValue<qlonglong>(report.MissedBuckets));
    q.bindValue(9, report.OutboxWaiting);
    const Status ran = Run(q, path_, doing);
    q.finish();
    return ran;
}

Result<SeatBoard> ExperimentDb::ReadSeatBoard()
{
    const ServerCallBound bound;  // a server that stops answering fails the read
    using Outcome = Result<SeatBoard>;
    const QString doing = QStringLiteral("cannot read table \"SeatStatus\"");
    QSqlDatabase db = QSqlDatabase::database(Q(connection_), false);
    SeatBoard board;
    {
        QSqlQuery now(db);
        const QString sql = "SELECT " + (onServer_ ? QStringLiteral("extract(epoch FROM clock_timestamp())") : SqliteNow);
        if (!now.exec(sql) || !now.next()) return Outcome::Fail(Failed(path_, doing, now.lastError()));
        board.Now = now.value(0).toDouble();
    }
    QSqlQuery query(db);
    query.setForwardOnly(true);
    const QString sql = QStringLiteral(
        "SELECT \"Seat\", \"Version\", \"UserID\", \"Experiment\", \"Mode\", \"Phase\", \"Clock\", \"EndClock\", "
        "\"MissedBuckets\", \"OutboxWaiting\", \"ReportedAt\" FROM \"SeatStatus\" ORDER BY \"Seat\"");
    if (!query.exec(sql)) {
        // A study no seat has reported to yet may have no table: no seats.
        if (!onServer_) {
            QSqlQuery exists(db);
            if (exists.exec(QStringLiteral("SELECT 1 FROM sqlite_master WHERE name = 'SeatStatus'")) && !exists.next())
                return Outcome::Ok(std::move(board));
        }
        return Outcome::Fail(Failed(path_, doing, query.lastError()));
    }
    while (query.next()) {
        SeatRow row;
        row.Seat = S(query.value(0).toString());
        row.Version = S(query.value(1).toString());
        row.UserID = S(query.value(2).toString());
        row.TrialNum = query.value(3).toInt();
        row.Mode = S(query.value(4).toString());
        row.Phase = S(query.value(5).toString());
        row.ClockSeconds = query.value(6).toLongLong();
        row.EndSeconds = query.value(7).toLongLong();
        row.MissedBuckets = query.value(8).toLongLong();
        row.OutboxWaiting = query.value(9).toInt();
        row.ReportedAt = query.value(10).toDouble();
        board.Seats.push_back(std::move(row));
    }
    return Outcome::Ok(std::move(board));
}

Result<bool> ExperimentDb::MayChangeStudy()
{
    const ServerCallBound bound;
    using Outcome = Result<bool>;
    QSqlDatabase db = QSqlDatabase::database(Q(connection_), false);
    if (!onServer_) return Outcome::Ok(!db.connectOptions().contains(QStringLiteral("QSQLITE_OPEN_READONLY")));
    // Any right to change a table of the study, or to run one of the
    // functions through which seats write it.
    QSqlQuery query(db);
    const QString sql = QStringLiteral(
        "SELECT EXISTS (SELECT 1 FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
        "  WHERE n.nspname = current_schema() AND c.relkind = 'r' "
        "    AND (has_table_privilege(c.oid, 'INSERT') OR has_table_privilege(c.oid, 'UPDATE') "
        "      OR has_table_privilege(c.oid, 'DELETE') OR has_table_privilege(c.oid, 'TRUNCATE'))) "
        "OR EXISTS (SELECT 1 FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace "
        "  WHERE n.nspname = current_schema() AND p.proname LIKE 'kestu\\_%' AND p.prosecdef "
        "    AND has_function_privilege(p.oid, 'EXECUTE'))");
    if (!query.exec(sql) || !query.next())
        return Outcome::Fail(Failed(path_, QStringLiteral("cannot read the rights of this login"), query.lastError()));
    return Outcome::Ok(query.value(0).toBool());
}

}  // namespace kestu
