#include "data/experiment_db.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaType>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTime>
#include <QVariant>


#include "data/db_connect.h"
#include "data/db_internal.h"
#include "data/server_call_bound.h"
#include "trials/message_text.h"

namespace kestu {

using namespace dbdetail;

namespace {

// A study's identity: 128 bits from the system's source of randomness, as
// 32 hexadecimal digits.
QString NewStudyId()
{
    QString id;
    for (int i = 0; i < 4; ++i)
        id += QStringLiteral("%1").arg(QRandomGenerator::system()->generate(), 8, 16, QLatin1Char('0'));
    return id;
}

// Runs the schema script and, when asked, the standard scenario, as one
// transaction; on a server also gives the seats' role its rights.
Status FillNewDatabase(const QString& name, const std::string& path, const Dialect& dialect, NewDbContent content)
{
    QSqlDatabase db = QSqlDatabase::database(name, false);
    std::vector<QString> statements = SplitSqlScript(SchemaFor(dialect, QString::fromUtf8(SchemaSql())));
    if (content == NewDbContent::StandardScenario) {
        for (QString& s : SplitSqlScript(QString::fromUtf8(StandardScenarioSql()))) statements.push_back(std::move(s));
    }
    if (dialect.backend == Backend::Postgres) {
        for (QString& s : SeatRoleStatements()) statements.push_back(std::move(s));
        for (QString& s : MonitorRoleStatements()) statements.push_back(std::move(s));
    }
    if (!db.transaction())
        return Status::Fail(Message(path, "cannot write the new database (" + DriverText(db.lastError()) + ")"));
    for (const QString& statement : statements) {
        QSqlQuery query(db);
        if (!query.exec(statement)) {
            const Status failed = Status::Fail(Message(path, "cannot write the new database: statement \"" +
                                                                 statement.left(60) + "\" failed (" +
                                                                 DriverText(query.lastError()) + ")"));
            query.finish();
            db.rollback();
            return failed;
        }
    }
    QSqlQuery identity(db);
    identity.prepare(QStringLiteral("INSERT INTO \"StudyInfo\" (\"StudyID\") VALUES (?)"));
    identity.addBindValue(NewStudyId());
    if (!identity.exec()) {
        const Status failed = Status::Fail(
            Message(path, "cannot write the new database's identity (" + DriverText(identity.lastError()) + ")"));
        identity.finish();
        db.rollback();
        return failed;
    }
    identity.finish();
    if (!db.commit())
        return Status::Fail(Message(path, "cannot write the new database (" + DriverText(db.lastError()) + ")"));
    return Ok();
}

// Text for a bound value. An empty std::string must reach the table as ''
// rather than NULL, and Qt binds a null QString as NULL.
QString BindText(const std::string& text)
{
    QString value = Q(text);
    if (value.isNull()) value = QStringLiteral("");
    return value;
}

QVariant BindOptional(const std::optional<double>& value)
{
    return value ? QVariant(*value) : QVariant(QMetaType::fromType<double>());
}

bool IsIsoDate(const std::string& text)
{
    static const QRegularExpression shape(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    const QString q = Q(text);
    return shape.match(q).hasMatch() && QDate::fromString(q, Qt::ISODate).isValid();
}

bool IsClockTime(const std::string& text)
{
    static const QRegularExpression shape(QStringLiteral("^\\d{2}:\\d{2}:\\d{2}$"));
    const QString q = Q(text);
    return shape.match(q).hasMatch() && QTime::fromString(q, QStringLiteral("HH:mm:ss")).isValid();
}

QString Quoted(const std::string& text) { return "\"" + Q(text) + "\""; }

}  // namespace

ExperimentDb::ExperimentDb(std::string path, std::string connection, bool onServer)
    : path_(std::move(path)), connection_(std::move(connection)), onServer_(onServer),
      statements_(std::make_unique<StatementCache>())
{
}

Result<QSqlQuery*> ExperimentDb::Statement(const QString& sql, const QString& doing)
{
    std::unique_ptr<QSqlQuery>& slot = statements_->prepared[sql];
    if (!slot || !onServer_) {
        slot = std::make_unique<QSqlQuery>(QSqlDatabase::database(Q(connection_), false));
        const Status prepared = Prepare(*slot, sql, path_, doing);
        if (!prepared) {
            slot.reset();
            return prepared.fault();
        }
    }
    return slot.get();
}

Result<bool> ExperimentDb::ThroughFunctions()
{
    using Outcome = Result<bool>;
    if (!onServer_) return Outcome::Ok(false);
    if (statements_->studyFunctions) return Outcome::Ok(*statements_->studyFunctions);
    QSqlQuery probe(QSqlDatabase::database(Q(connection_), false));
    if (!probe.exec(QStringLiteral("SELECT to_regproc('kestu_claim_trial') IS NOT NULL")) || !probe.next())
        return Outcome::Fail(Message(path_, "cannot read the database (" + DriverText(probe.lastError()) + ")"));
    statements_->studyFunctions = probe.value(0).toBool();
    return Outcome::Ok(*statements_->studyFunctions);
}

const Dialect& ExperimentDb::dialect() const { return DialectOf(onServer_ ? Backend::Postgres : Backend::Sqlite); }

ExperimentDb::~ExperimentDb()
{
    statements_.reset();  // before the connection they belong to
    Drop(Q(connection_));
}

std::string ExperimentDb::DefaultPath(const std::string& programDir)
{
    if (programDir.empty()) return "KESTU.MDB";
    return S(QDir(Q(programDir)).filePath(QStringLiteral("KESTU.MDB")));
}

namespace {
// SQLite takes its file name as UTF-8; any other name would reach it changed.
bool NameReachesSqlite(const std::string& path)
{
    return QString::fromStdString(path).toStdString() == path;
}
const QString NotUtf8 = QStringLiteral("the path is not valid UTF-8, so the database cannot be opened by that name");
}  // namespace

Result<std::unique_ptr<ExperimentDb>> ExperimentDb::Open(const std::string& location, OpenMode mode)
{
    using Outcome = Result<std::unique_ptr<ExperimentDb>>;
    auto where = ParseDatabaseLocation(location);
    if (!where) return where.fault();
    if (!where.value().IsServer()) {
        const std::string& path = location;
        if (!NameReachesSqlite(path)) return Outcome::Fail(Message(ForMessage(path, 1000), NotUtf8));
        const QFileInfo file(Q(path));
        if (!file.exists()) return Outcome::Fail(Message(path, QStringLiteral("the database file does not exist")));
        if (!file.isFile()) return Outcome::Fail(Message(path, QStringLiteral("is not a file")));
    }
    const QString name = NewConnectionName();
    const Status connected = Connect(name, where.value(), mode);
    if (!connected) {
        Drop(name);
        return connected.fault();
    }
    return Outcome::Ok(std::unique_ptr<ExperimentDb>(new ExperimentDb(location, S(name), where.value().IsServer())));
}

Status ExperimentDb::Create(const std::string& location, NewDbContent content)
{
    auto where = ParseDatabaseLocation(location);
    if (!where) return where.fault();
    if (where.value().IsServer()) return CreateOnServer(where.value(), content);
    const std::string& path = location;
    if (!NameReachesSqlite(path)) return Status::Fail(Message(ForMessage(path, 1000), NotUtf8));
    const QFileInfo file(Q(path));
    if (file.exists()) {
        return Status::Fail(Message(path, QStringLiteral("already exists; a new database is never written over it")));
    }
    if (!file.dir().exists()) {
        return Status::Fail(Message(path, QStringLiteral("cannot create the database: its folder does not exist")));
    }

    const QString name = NewConnectionName();
    Status made = Connect(name, where.value(), OpenMode::ReadWrite);
    if (made) made = FillNewDatabase(name, path, DialectOf(Backend::Sqlite), content);
    Drop(name);
    if (!made) {
        // The half-made file is ours; leave nothing behind, its journal least of
        // all, which SQLite would play into any file later put in its place.
        QFile::remove(file.filePath());
        QFile::remove(file.filePath() + QStringLiteral("-journal"));
        return made;
    }
    return Ok();
}

namespace {
// Whether the server database the connection `name` reaches holds no study yet.
Status HoldsNoStudy(const QString& name, const std::string& location)
{
    QSqlQuery probe(QSqlDatabase::database(name, false));
    if (!probe.exec(QStringLiteral("SELECT to_regclass('\"UserData\"') IS NOT NULL")) || !probe.next())
        return Status::Fail(Message(location, "cannot read the database (" + DriverText(probe.lastError()) + ")"));
    if (probe.value(0).toBool())
        return Status::Fail(Message(location, QStringLiteral("already holds a Kestu study; a study is never written over")));
    return Ok();
}
}  // namespace

// On a server the database itself is the administrator's to create; the
// study's tables go into it when it holds none yet.
Status ExperimentDb::CreateOnServer(const DatabaseLocation& where, NewDbContent content)
{
    const QString name = NewConnectionName();
    Status made = Connect(name, where, OpenMode::ReadWrite, /*bare=*/true);
    if (made) made = HoldsNoStudy(name, where.text);
    if (made) made = FillNewDatabase(name, where.text, DialectOf(Backend::Postgres), content);
    Drop(name);
    return made;
}

Result<std::optional<Participant>> ExperimentDb::FindParticipant(const std::string& userId)
{
    const ServerCallBound bound;  // a server that stops answering fails the read
    using Outcome = Result<std::optional<Participant>>;
    const QString doing = "cannot look up User ID " + Quoted(userId) + " in table \"UserData\"";
    QSqlQuery query(QSqlDatabase::database(Q(connection_), false));
    // A seat's role reads only the ID and the count of a participant.
    const QString sql = onServer_ ? QStringLiteral("SELECT \"UserID\", \"TrialNum\" FROM \"UserData\" "
                                                   "WHERE \"UserID\" = ? ORDER BY rowid LIMIT 1")
                                  : QStringLiteral("SELECT \"UserID\", \"TrialNum\", \"FirstName\", \"LastName\", "
                                                   "\"SchoolYear\", \"Major\", \"Age\", \"Sex\" FROM \"UserData\" "
                                                   "WHERE \"UserID\" = ? ORDER BY rowid LIMIT 1");
    if (const Status prepared = Prepare(query, sql, path_, doing); !prepared) return prepared.fault();
    query.addBindValue(BindText(userId));
    if (const Status ran = Run(query, path_, doing); !ran) return ran.fault();
    if (!query.next()) return Outcome::Ok(std::nullopt);

    Participant p;
    p.UserID = S(query.value(0).toString());
    p.TrialNum = S(query.value(1).toString());
    if (!onServer_) {
        p.FirstName = S(query.value(2).toString());
        p.LastName = S(query.value(3).toString());
        p.SchoolYear = S(query.value(4).toString());
        p.Major = S(query.value(5).toString());
        p.Age = S(query.value(6).toString());
        p.Sex = S(query.value(7).toString());
    }
    return Outcome::Ok(std::move(p));
}

Status ExperimentDb::AddParticipant(const Participant& p)
{
    const QString doing = "cannot add User ID " + Quoted(p.UserID) + " to table \"UserData\"";
    auto functions = ThroughFunctions();
    if (!functions) return functions.fault();
    QSqlQuery query(QSqlDatabase::database(Q(connection_), false));
    const QString sql =
        functions.value()
            ? QStringLiteral("SELECT kestu_add_participant(?, ?, ?, ?, ?, ?, ?)")
            : QStringLiteral("INSERT INTO \"UserData\" (\"UserID\", \"LastName\", \"FirstName\", \"SchoolYear\", "
                             "\"Major\", \"Age\", \"Sex\") VALUES (?, ?, ?, ?, ?, ?, ?)");
    if (const Status prepared = Prepare(query, sql, path_, doing); !prepared) return prepared;
    for (const std::string* field : {&p.UserID, &p.LastName, &p.FirstName, &p.SchoolYear, &p.Major, &p.Age, &p.Sex}) {
        query.addBindValue(BindText(*field));
    }
    return Run(query, path_, doing);
}

Status ExperimentDb::SaveTrialNum(const std::string& userId, int trialNum)
{
    const QString doing = "cannot save the trial count of User ID " + Quoted(userId) + " in table \"UserData\"";
    auto functions = ThroughFunctions();
    if (!functions) return functions.fault();
    if (functions.value()) {
        auto call = Statement(QStringLiteral("SELECT kestu_save_trial_num(?, ?)"), doing);
        if (!call) return call.fault();
        call.value()->bindValue(0, BindText(userId));
        call.value()->bindValue(1, trialNum);
        if (const Status ran = Run(*call.value(), path_, doing); !ran) return ran;
        call.value()->finish();
        return Ok();
    }

    // The count is read and raised under the write lock, so a close that
    // saves an older count after a newer claim leaves the newer one.
    QSqlDatabase db = QSqlDatabase::database(Q(connection_), false);
    if (const Status begun = ExecPlain(db, dialect().beginClaim, path_, doing); !begun) return begun;
    const Status raised = RaiseTrialNum(userId, trialNum, doing);
    if (!raised) {
        QSqlQuery rollback(db);
        rollback.exec(QStringLiteral("ROLLBACK"));
        return raised;
    }
    return Ok();
}

// Inside SaveTrialNum's transaction: the count of the participant's first
// row raised to trialNum, and the transaction committed.
Status ExperimentDb::RaiseTrialNum(const std::string& userId, int trialNum, const QString& doing)
{
    // Only the participant's first row, as the lookup at login sees it.
    auto read = Statement(QStringLiteral("SELECT rowid, \"TrialNum\" FROM \"UserData\" WHERE \"UserID\" = ? "
                                         "ORDER BY rowid LIMIT 1") + dialect().lockForUpdate,
                          doing);
    if (!read) return read.fault();
    read.value()->bindValue(0, BindText(userId));
    if (const Status ran = Run(*read.value(), path_, doing); !ran) return ran;
    if (!read.value()->next()) return Status::Fail(Message(path_, doing + ": no row for that User ID"));
    const long long row = read.value()->value(0).toLongLong();
    const QString stored = read.value()->value(1).toString();
    read.value()->finish();
    const auto done = ParseTrialCount(stored);
    if (!done) return Status::Fail(Message(path_, doing + ": its trial count " + Quoted(S(stored)) + " is not a number"));
    if (trialNum > *done) {
        auto write = Statement(QStringLiteral("UPDATE \"UserData\" SET \"TrialNum\" = ? WHERE rowid = ?"), doing);
        if (!write) return write.fault();
        write.value()->bindValue(0, QString::number(trialNum));
        write.value()->bindValue(1, row);
        if (const Status ran = Run(*write.value(), path_, doing); !ran) return ran;
    }
    QSqlDatabase db = QSqlDatabase::database(Q(connection_), false);
    return ExecPlain(db, QStringLiteral("COMMIT"), path_, doing);
}

// What is wrong with a trial's start, or nothing.
std::optional<QString> StartFault(const ExperimentStart& start)
{
    if (!IsIsoDate(start.Date)) return "date " + Quoted(start.Date) + " is not yyyy-mm-dd";
    if (!IsClockTime(start.StartTime)) return "start time " + Quoted(start.StartTime) + " is not hh:mm:ss";
    return std::nullopt;
}

namespace {

// The results' values, bound from `first` on: the end time, the missed
// buckets and the three shares.
void BindResults(QSqlQuery& query, int first, const ExperimentResult& end)
{
    query.bindValue(first, BindText(end.EndTime));
    query.bindValue(first + 1, end.MissedBuckets);
    query.bindValue(first + 2, BindOptional(end.BusyTime));
    query.bindValue(first + 3, BindOptional(end.SweepTime));
    query.bindValue(first + 4, BindOptional(end.IdleTime));
}

// A row's results are empty while it has neither an end time nor a total.
const QString ResultsEmpty = QStringLiteral("\"EndTime\" IS NULL AND \"MissedBuckets\" IS NULL");
// A row that already holds exactly these results (bound from 0 on, as BindResults does).
const QString SameResultsWhere = QStringLiteral(
    "\"EndTime\" = ? AND \"MissedBuckets\" = ? AND \"BusyTime\" IS ? AND \"SweepTime\" IS ? AND \"IdleTime\" IS ?");
}  // namespace

// Whether the row that `where` names (its values bound after the results)
// already holds exactly these results: the same completion delivered twice.
bool ExperimentDb::AlreadyCompleted(const QString& where, const std::vector<QVariant>& keys, const ExperimentResult& end)
{
    QString same = SameResultsWhere;
    if (onServer_) same.replace(QStringLiteral(" IS ?"), QStringLiteral(" IS NOT DISTINCT FROM ?"));
    auto prepared = Statement("SELECT count(*) FROM \"Experiments\" WHERE " + same + " AND " + where, QString());
    if (!prepared) return false;
    QSqlQuery& query = *prepared.value();
    BindResults(query, 0, end);
    for (std::size_t i = 0; i < keys.size(); ++i) query.bindValue(5 + static_cast<int>(i), keys[i]);
    const bool found = query.exec() && query.next() && query.value(0).toLongLong() == 1;
    query.finish();
    return found;
}

Result<long long> ExperimentDb::AddExperiment(const ExperimentStart& start)
{
    using Outcome = Result<long long>;
    const QString doing = "cannot add trial " + QString::number(start.Experiment) + " of User ID " +
                          Quoted(start.UserID) + " to table \"Experiments\"";
    if (const auto fault = StartFault(start)) return Outcome::Fail(Message(path_, doing + ": " + *fault));
    auto prepared = Statement(QStringLiteral(
        "INSERT INTO \"Experiments\" (\"UserID\", \"Experiment\", \"Date\", \"StartTime\", \"Scenario\", \"SimRate\") "
        "VALUES (?, ?, ?, ?, ?, ?)") + dialect().returningRowId, doing);
    if (!prepared) return prepared.fault();
    QSqlQuery& query = *prepared.value();
    query.bindValue(0, BindText(start.UserID));
    query.bindValue(1, start.Experiment);
    query.bindValue(2, BindText(start.Date));
    query.bindValue(3, BindText(start.StartTime));
    query.bindValue(4, BindText(start.Scenario));
    query.bindValue(5, start.SimRate);
    if (const Status ran = Run(query, path_, doing); !ran) return ran.fault();
    if (dialect().returningRowId.isEmpty()) return Outcome::Ok(query.lastInsertId().toLongLong());
    if (!query.next()) return Outcome::Fail(Message(path_, doing + ": the new row's id did not come back"));
    const long long row = query.value(0).toLongLong();
    query.finish();
    return Outcome::Ok(row);
}

Status ExperimentDb::CompleteOnServer(const TrialId& trial, const ExperimentResult& end, const QString& doing)
{
    auto prepared = Statement(QStringLiteral("SELECT kestu_complete_trial(?, ?, ?, ?, ?, ?, ?)"), doing);
    if (!prepared) return prepared.fault();
    QSqlQuery& call = *prepared.value();
    call.bindValue(0, BindText(trial.UserID));
    call.bindValue(1, QVariant::fromValue<qlonglong>(trial.Experiment));
    BindResults(call, 2, end);
    if (const Status ran = Run(call, path_, doing); !ran) return ran;
    call.finish();
    return Ok();
}

Status ExperimentDb::CompleteExperiment(long long rowid, const ExperimentResult& end)
{
    const QString doing = "cannot complete row " + QString::number(rowid) + " of table \"Experiments\"";
    if (!IsClockTime(end.EndTime)) {
        return Status::Fail(Message(path_, doing + ": end time " + Quoted(end.EndTime) + " is not hh:mm:ss"));
    }
    auto functions = ThroughFunctions();
    if (!functions) return functions.fault();
    if (functions.value()) {
        // The owner's function completes by User ID and trial, which the row names.
        auto trial = TrialOfRow(rowid, doing);
        if (!trial) return trial.fault();
        return CompleteOnServer(trial.value(), end, doing);
    }
    auto prepared = Statement(QStringLiteral(
        "UPDATE \"Experiments\" SET \"EndTime\" = ?, \"MissedBuckets\" = ?, \"BusyTime\" = ?, \"SweepTime\" = ?, "
        "\"IdleTime\" = ? WHERE rowid = ? AND ") + ResultsEmpty, doing);
    if (!prepared) return prepared.fault();
    QSqlQuery& query = *prepared.value();
    BindResults(query, 0, end);
    query.bindValue(5, rowid);
    if (const Status ran = Run(query, path_, doing); !ran) return ran;
    if (query.numRowsAffected() >= 1 || AlreadyCompleted(QStringLiteral("rowid = ?"), {rowid}, end)) return Ok();
    auto counted = Statement(QStringLiteral("SELECT count(*) FROM \"Experiments\" WHERE rowid = ?"), doing);
    if (!counted) return counted.fault();
    QSqlQuery& exists = *counted.value();
    exists.bindValue(0, rowid);
    if (const Status ran = Run(exists, path_, doing); !ran) return ran;
    if (!exists.next()) return Status::Fail(Message(path_, doing));
    const bool there = exists.value(0).toLongLong() > 0;
    exists.finish();
    return Status::Fail(Message(path_, doing + (there ? QStringLiteral(": its results are already filled in")
                                                      : QStringLiteral(": the row no longer exists"))));
}

// The User ID and trial that row `rowid` of "Experiments" names.
Result<TrialId> ExperimentDb::TrialOfRow(long long rowid, const QString& doing)
{
    auto prepared =
        Statement(QStringLiteral("SELECT \"UserID\", \"Experiment\" FROM \"Experiments\" WHERE rowid = ?"), doing);
    if (!prepared) return prepared.fault();
    QSqlQuery& find = *prepared.value();
    find.bindValue(0, rowid);
    if (const Status ran = Run(find, path_, doing); !ran) return ran.fault();
    if (!find.next()) return Result<TrialId>::Fail(Message(path_, doing + ": the row no longer exists"));
    const TrialId trial{S(find.value(0).toString()), find.value(1).toLongLong()};
    const bool named = !find.value(0).isNull() && !find.value(1).isNull();
    find.finish();
    if (!named) return Result<TrialId>::Fail(Message(path_, doing + ": the row names no User ID and trial"));
    return trial;
}

Status ExperimentDb::CompleteTrial(const TrialId& trial, const ExperimentResult& end)
{
    const QString doing = "cannot complete trial " + QString::number(trial.Experiment) + " of User ID " +
                          Quoted(trial.UserID) + " in table \"Experiments\"";
    if (!IsClockTime(end.EndTime)) {
        return Status::Fail(Message(path_, doing + ": end time " + Quoted(end.EndTime) + " is not hh:mm:ss"));
    }
    auto functions = ThroughFunctions();
    if (!functions) return functions.fault();
    if (functions.value()) return CompleteOnServer(trial, end, doing);

    QSqlDatabase db = QSqlDatabase::database(Q(connection_), false);
    // Two rows of one trial (a file edited by hand) are never both written:
    // the update is undone unless it changed exactly one.
    if (const Status begun = ExecPlain(db, dialect().beginClaim, path_, doing); !begun) return begun;
    Result<bool> written = CompleteTrialRow(trial, end, doing);
    if (written && written.value()) {
        const Status committed = ExecPlain(db, QStringLiteral("COMMIT"), path_, doing);
        if (committed) return committed;
        written = committed.fault();
    }
    // Nothing to keep: a failure, or a completion that was already there.
    QSqlQuery rollback(db);
    rollback.exec(QStringLiteral("ROLLBACK"));
    if (!written) return written.fault();
    return Ok();
}

// Inside CompleteTrial's transaction: fills in the trial's row; false when
// the row already held exactly these results.
Result<bool> ExperimentDb::CompleteTrialRow(const TrialId& trial, const ExperimentResult& end, const QString& doing)
{
    auto prepared = Statement(QStringLiteral(
        "UPDATE \"Experiments\" SET \"EndTime\" = ?, \"MissedBuckets\" = ?, \"BusyTime\" = ?, \"SweepTime\" = ?, "
        "\"IdleTime\" = ? WHERE \"UserID\" = ? AND \"Experiment\" = ? AND ") + ResultsEmpty, doing);
    if (!prepared) return prepared.fault();
    QSqlQuery& query = *prepared.value();
    BindResults(query, 0, end);
    query.bindValue(5, BindText(trial.UserID));
    query.bindValue(6, QVariant::fromValue<qlonglong>(trial.Experiment));
    if (const Status ran = Run(query, path_, doing); !ran) return ran.fault();
    const int changed = query.numRowsAffected();
    if (changed == 0 && AlreadyCompleted(QStringLiteral("\"UserID\" = ? AND \"Experiment\" = ?"),
                                         {BindText(trial.UserID), QVariant::fromValue<qlonglong>(trial.Experiment)}, end))
        return false;
    if (changed != 1) return Result<bool>::Fail(Message(path_, doing + ": no row of that trial is waiting for its results"));
    return true;
}

Result<bool> ExperimentDb::TrialClaimed(const TrialId& trial)
{
    using Outcome = Result<bool>;
    const QString doing = "cannot look up trial " + QString::number(trial.Experiment) + " of User ID " +
                          Quoted(trial.UserID) + " in table \"Experiments\"";
    auto prepared = Statement(
        QStringLiteral("SELECT count(*) FROM \"Experiments\" WHERE \"UserID\" = ? AND \"Experiment\" = ?"), doing);
    if (!prepared) return prepared.fault();
    QSqlQuery& query = *prepared.value();
    query.bindValue(0, BindText(trial.UserID));
    query.bindValue(1, QVariant::fromValue<qlonglong>(trial.Experiment));
    if (const Status ran = Run(query, path_, doing); !ran) return ran.fault();
    if (!query.next()) return Outcome::Fail(Message(path_, doing));
    const bool claimed = query.value(0).toLongLong() > 0;
    query.finish();
    return Outcome::Ok(claimed);
}

Result<std::string> ExperimentDb::StudyId()
{
    const ServerCallBound bound;  // a server that stops answering fails the read
    using Outcome = Result<std::string>;
    const QString doing = QStringLiteral("cannot read the study's identity in table \"StudyInfo\"");
    QSqlQuery query(QSqlDatabase::database(Q(connection_), false));
    // A study made before studies had an identity has no such table.
    const QString present = onServer_ ? QStringLiteral("SELECT to_regclass('\"StudyInfo\"') IS NOT NULL")
                                      : QStringLiteral("SELECT count(*) > 0 FROM sqlite_master "
                                                       "WHERE type = 'table' AND name = 'StudyInfo'");
    if (!query.exec(present) || !query.next()) return Outcome::Fail(Failed(path_, doing, query.lastError()));
    if (!query.value(0).toBool()) return Outcome::Ok(std::string());
    query.finish();
    if (!query.exec(QStringLiteral("SELECT \"StudyID\" FROM \"StudyInfo\" ORDER BY rowid LIMIT 1")))
        return Outcome::Fail(Failed(path_, doing, query.lastError()));
    if (!query.next()) return Outcome::Ok(std::string());
    return Outcome::Ok(S(query.value(0).toString()));
}

}  // namespace kestu
