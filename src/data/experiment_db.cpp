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
std::string FillNewDatabase(const QString& name, const std::string& path, const Dialect& dialect,
                            NewDbContent content)
{
    QSqlDatabase db = QSqlDatabase::database(name, false);
    std::vector<QString> statements = SplitSqlScript(SchemaFor(dialect, QString::fromUtf8(SchemaSql())));
    if (content == NewDbContent::StandardScenario) {
        for (QString& s : SplitSqlScript(QString::fromUtf8(StandardScenarioSql()))) statements.push_back(std::move(s));
    }
    if (dialect.backend == Backend::Postgres) {
        for (QString& s : SeatRoleStatements()) statements.push_back(std::move(s));
    }
    if (!db.transaction()) {
        return Message(path, "cannot write the new database (" + DriverText(db.lastError()) + ")");
    }
    for (const QString& statement : statements) {
        QSqlQuery query(db);
        if (!query.exec(statement)) {
            const std::string error = Message(path, "cannot write the new database: statement \"" +
                                                        statement.left(60) + "\" failed (" +
                                                        DriverText(query.lastError()) + ")");
            query.finish();
            db.rollback();
            return error;
        }
    }
    QSqlQuery identity(db);
    identity.prepare(QStringLiteral("INSERT INTO \"StudyInfo\" (\"StudyID\") VALUES (?)"));
    identity.addBindValue(NewStudyId());
    if (!identity.exec()) {
        const std::string error =
            Message(path, "cannot write the new database's identity (" + DriverText(identity.lastError()) + ")");
        identity.finish();
        db.rollback();
        return error;
    }
    identity.finish();
    if (!db.commit()) return Message(path, "cannot write the new database (" + DriverText(db.lastError()) + ")");
    return {};
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

QSqlQuery* ExperimentDb::Statement(const QString& sql, const QString& doing, std::string& error)
{
    std::unique_ptr<QSqlQuery>& slot = statements_->prepared[sql];
    if (!slot || !onServer_) {
        slot = std::make_unique<QSqlQuery>(QSqlDatabase::database(Q(connection_), false));
        if (!Prepare(*slot, sql, path_, doing, error)) {
            slot.reset();
            return nullptr;
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
    const std::string error = Connect(name, where.value(), mode);
    if (!error.empty()) {
        Drop(name);
        return Outcome::Fail(error);
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
    std::string error = Connect(name, where.value(), OpenMode::ReadWrite);
    if (error.empty()) error = FillNewDatabase(name, path, DialectOf(Backend::Sqlite), content);
    Drop(name);
    if (!error.empty()) {
        // The half-made file is ours; leave nothing behind, its journal least of
        // all, which SQLite would play into any file later put in its place.
        QFile::remove(file.filePath());
        QFile::remove(file.filePath() + QStringLiteral("-journal"));
        return Status::Fail(error);
    }
    return Ok();
}

// On a server the database itself is the administrator's to create; the
// study's tables go into it when it holds none yet.
Status ExperimentDb::CreateOnServer(const DatabaseLocation& where, NewDbContent content)
{
    const QString name = NewConnectionName();
    std::string error = Connect(name, where, OpenMode::ReadWrite, /*bare=*/true);
    if (error.empty()) {
        QSqlQuery probe(QSqlDatabase::database(name, false));
        if (!probe.exec(QStringLiteral("SELECT to_regclass('\"UserData\"') IS NOT NULL")) || !probe.next())
            error = Message(where.text, "cannot read the database (" + DriverText(probe.lastError()) + ")");
        else if (probe.value(0).toBool())
            error = Message(where.text, QStringLiteral("already holds a Kestu study; a study is never written over"));
    }
    if (error.empty()) error = FillNewDatabase(name, where.text, DialectOf(Backend::Postgres), content);
    Drop(name);
    if (!error.empty()) return Status::Fail(error);
    return Ok();
}

Result<std::optional<Participant>> ExperimentDb::FindParticipant(const std::string& userId)
{
    const ServerCallBound bound;  // a server that stops answering fails the read
    using Outcome = Result<std::optional<Participant>>;
    const QString doing = "cannot look up User ID " + Quoted(userId) + " in table \"UserData\"";
    QSqlQuery query(QSqlDatabase::database(Q(connection_), false));
    std::string error;
    // A seat's role reads only the ID and the count of a participant.
    const QString sql = onServer_ ? QStringLiteral("SELECT \"UserID\", \"TrialNum\" FROM \"UserData\" "
                                                   "WHERE \"UserID\" = ? ORDER BY rowid LIMIT 1")
                                  : QStringLiteral("SELECT \"UserID\", \"TrialNum\", \"FirstName\", \"LastName\", "
                                                   "\"SchoolYear\", \"Major\", \"Age\", \"Sex\" FROM \"UserData\" "
                                                   "WHERE \"UserID\" = ? ORDER BY rowid LIMIT 1");
    if (!Prepare(query, sql, path_, doing, error)) return Outcome::Fail(error);
    query.addBindValue(BindText(userId));
    if (!Run(query, path_, doing, error)) return Outcome::Fail(error);
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
    std::string error;
    const QString sql =
        functions.value()
            ? QStringLiteral("SELECT kestu_add_participant(?, ?, ?, ?, ?, ?, ?)")
            : QStringLiteral("INSERT INTO \"UserData\" (\"UserID\", \"LastName\", \"FirstName\", \"SchoolYear\", "
                             "\"Major\", \"Age\", \"Sex\") VALUES (?, ?, ?, ?, ?, ?, ?)");
    if (!Prepare(query, sql, path_, doing, error)) return Status::Fail(error);
    for (const std::string* field : {&p.UserID, &p.LastName, &p.FirstName, &p.SchoolYear, &p.Major, &p.Age, &p.Sex}) {
        query.addBindValue(BindText(*field));
    }
    if (!Run(query, path_, doing, error)) return Status::Fail(error);
    return Ok();
}

Status ExperimentDb::SaveTrialNum(const std::string& userId, int trialNum)
{
    const QString doing = "cannot save the trial count of User ID " + Quoted(userId) + " in table \"UserData\"";
    auto functions = ThroughFunctions();
    if (!functions) return functions.fault();
    std::string error;
    if (functions.value()) {
        QSqlQuery* call = Statement(QStringLiteral("SELECT kestu_save_trial_num(?, ?)"), doing, error);
        if (!call) return Status::Fail(error);
        call->bindValue(0, BindText(userId));
        call->bindValue(1, trialNum);
        if (!Run(*call, path_, doing, error)) return Status::Fail(error);
        call->finish();
        return Ok();
    }

    // The count is read and raised under the write lock, so a close that
    // saves an older count after a newer claim leaves the newer one.
    QSqlDatabase db = QSqlDatabase::database(Q(connection_), false);
    if (!ExecPlain(db, dialect().beginClaim, path_, doing, error)) return Status::Fail(error);
    auto fail = [&](const std::string& why) {
        QSqlQuery rollback(db);
        rollback.exec(QStringLiteral("ROLLBACK"));
        return Status::Fail(why);
    };
    // Only the participant's first row, as the lookup at login sees it.
    QSqlQuery* read = Statement(QStringLiteral("SELECT rowid, \"TrialNum\" FROM \"UserData\" WHERE \"UserID\" = ? "
                                               "ORDER BY rowid LIMIT 1") + dialect().lockForUpdate,
                                doing, error);
    if (!read) return fail(error);
    read->bindValue(0, BindText(userId));
    if (!Run(*read, path_, doing, error)) return fail(error);
    if (!read->next()) return fail(Message(path_, doing + ": no row for that User ID"));
    const long long row = read->value(0).toLongLong();
    const QString stored = read->value(1).toString();
    read->finish();
    const auto done = ParseTrialCount(stored);
    if (!done) return fail(Message(path_, doing + ": its trial count " + Quoted(S(stored)) + " is not a number"));
    if (trialNum > *done) {
        QSqlQuery* write = Statement(QStringLiteral("UPDATE \"UserData\" SET \"TrialNum\" = ? WHERE rowid = ?"), doing, error);
        if (!write) return fail(error);
        write->bindValue(0, QString::number(trialNum));
        write->bindValue(1, row);
        if (!Run(*write, path_, doing, error)) return fail(error);
    }
    if (!ExecPlain(db, QStringLiteral("COMMIT"), path_, doing, error)) return fail(error);
    return Ok();
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
const QString SameResults = QStringLiteral(
    "\"EndTime\" = ? AND \"MissedBuckets\" = ? AND \"BusyTime\" IS ? AND \"SweepTime\" IS ? AND \"IdleTime\" IS ?");
}  // namespace

// Whether the row that `where` names (its values bound after the results)
// already holds exactly these results: the same completion delivered twice.
bool ExperimentDb::AlreadyCompleted(const QString& where, const std::vector<QVariant>& keys, const ExperimentResult& end)
{
    std::string error;
    QString same = SameResults;
    if (onServer_) same.replace(QStringLiteral(" IS ?"), QStringLiteral(" IS NOT DISTINCT FROM ?"));
    QSqlQuery* query =
        Statement("SELECT count(*) FROM \"Experiments\" WHERE " + same + " AND " + where, QString(), error);
    if (!query) return false;
    BindResults(*query, 0, end);
    for (std::size_t i = 0; i < keys.size(); ++i) query->bindValue(5 + static_cast<int>(i), keys[i]);
    const bool found = query->exec() && query->next() && query->value(0).toLongLong() == 1;
    query->finish();
    return found;
}

Result<long long> ExperimentDb::AddExperiment(const ExperimentStart& start)
{
    using Outcome = Result<long long>;
    const QString doing = "cannot add trial " + QString::number(start.Experiment) + " of User ID " +
                          Quoted(start.UserID) + " to table \"Experiments\"";
    if (const auto fault = StartFault(start)) return Outcome::Fail(Message(path_, doing + ": " + *fault));
    std::string error;
    QSqlQuery* query = Statement(QStringLiteral(
        "INSERT INTO \"Experiments\" (\"UserID\", \"Experiment\", \"Date\", \"StartTime\", \"Scenario\", \"SimRate\") "
        "VALUES (?, ?, ?, ?, ?, ?)") + dialect().returningRowId, doing, error);
    if (!query) return Outcome::Fail(error);
    query->bindValue(0, BindText(start.UserID));
    query->bindValue(1, start.Experiment);
    query->bindValue(2, BindText(start.Date));
    query->bindValue(3, BindText(start.StartTime));
    query->bindValue(4, BindText(start.Scenario));
    query->bindValue(5, start.SimRate);
    if (!Run(*query, path_, doing, error)) return Outcome::Fail(error);
    if (dialect().returningRowId.isEmpty()) return Outcome::Ok(query->lastInsertId().toLongLong());
    if (!query->next()) return Outcome::Fail(Message(path_, doing + ": the new row's id did not come back"));
    const long long row = query->value(0).toLongLong();
    query->finish();
    return Outcome::Ok(row);
}

Status ExperimentDb::CompleteOnServer(const TrialId& trial, const ExperimentResult& end, const QString& doing)
{
    std::string error;
    QSqlQuery* call = Statement(QStringLiteral("SELECT kestu_complete_trial(?, ?, ?, ?, ?, ?, ?)"), doing, error);
    if (!call) return Status::Fail(error);
    call->bindValue(0, BindText(trial.UserID));
    call->bindValue(1, QVariant::fromValue<qlonglong>(trial.Experiment));
    BindResults(*call, 2, end);
    if (!Run(*call, path_, doing, error)) return Status::Fail(error);
    call->finish();
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
    std::string error;
    if (functions.value()) {
        // The owner's function completes by User ID and trial, which the row names.
        QSqlQuery* find = Statement(
            QStringLiteral("SELECT \"UserID\", \"Experiment\" FROM \"Experiments\" WHERE rowid = ?"), doing, error);
        if (!find) return Status::Fail(error);
        find->bindValue(0, rowid);
        if (!Run(*find, path_, doing, error)) return Status::Fail(error);
        if (!find->next()) return Status::Fail(Message(path_, doing + ": the row no longer exists"));
        const TrialId trial{S(find->value(0).toString()), find->value(1).toLongLong()};
        const bool named = !find->value(0).isNull() && !find->value(1).isNull();
        find->finish();
        if (!named) return Status::Fail(Message(path_, doing + ": the row names no User ID and trial"));
        return CompleteOnServer(trial, end, doing);
    }
    QSqlQuery* query = Statement(QStringLiteral(
        "UPDATE \"Experiments\" SET \"EndTime\" = ?, \"MissedBuckets\" = ?, \"BusyTime\" = ?, \"SweepTime\" = ?, "
        "\"IdleTime\" = ? WHERE rowid = ? AND ") + ResultsEmpty, doing, error);
    if (!query) return Status::Fail(error);
    BindResults(*query, 0, end);
    query->bindValue(5, rowid);
    if (!Run(*query, path_, doing, error)) return Status::Fail(error);
    if (query->numRowsAffected() < 1) {
        if (AlreadyCompleted(QStringLiteral("rowid = ?"), {rowid}, end)) return Ok();
        QSqlQuery* exists = Statement(QStringLiteral("SELECT count(*) FROM \"Experiments\" WHERE rowid = ?"), doing, error);
        if (!exists) return Status::Fail(error);
        exists->bindValue(0, rowid);
        if (!Run(*exists, path_, doing, error) || !exists->next()) return Status::Fail(error.empty() ? Message(path_, doing) : error);
        const bool there = exists->value(0).toLongLong() > 0;
        exists->finish();
        return Status::Fail(Message(path_, doing + (there ? QStringLiteral(": its results are already filled in")
                                                          : QStringLiteral(": the row no longer exists"))));
    }
    return Ok();
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
    std::string error;
    // Two rows of one trial (a file edited by hand) are never both written:
    // the update is undone unless it changed exactly one.
    if (!ExecPlain(db, dialect().beginClaim, path_, doing, error)) return Status::Fail(error);
    // Ends the transaction unwritten: a failure, or (with no message) a
    // completion that was already there.
    auto fail = [&](const std::string& why) {
        QSqlQuery rollback(db);
        rollback.exec(QStringLiteral("ROLLBACK"));
        return why.empty() ? Ok() : Status::Fail(why);
    };
    QSqlQuery* query = Statement(QStringLiteral(
        "UPDATE \"Experiments\" SET \"EndTime\" = ?, \"MissedBuckets\" = ?, \"BusyTime\" = ?, \"SweepTime\" = ?, "
        "\"IdleTime\" = ? WHERE \"UserID\" = ? AND \"Experiment\" = ? AND ") + ResultsEmpty, doing, error);
    if (!query) return fail(error);
    BindResults(*query, 0, end);
    query->bindValue(5, BindText(trial.UserID));
    query->bindValue(6, QVariant::fromValue<qlonglong>(trial.Experiment));
    if (!Run(*query, path_, doing, error)) return fail(error);
    const int changed = query->numRowsAffected();
    if (changed == 0 && AlreadyCompleted(QStringLiteral("\"UserID\" = ? AND \"Experiment\" = ?"),
                                         {BindText(trial.UserID), QVariant::fromValue<qlonglong>(trial.Experiment)}, end))
        return fail(std::string());
    if (changed != 1) return fail(Message(path_, doing + ": no row of that trial is waiting for its results"));
    if (!ExecPlain(db, QStringLiteral("COMMIT"), path_, doing, error)) return fail(error);
    return Ok();
}

Result<bool> ExperimentDb::TrialClaimed(const TrialId& trial)
{
    using Outcome = Result<bool>;
    std::string error;
    const QString doing = "cannot look up trial " + QString::number(trial.Experiment) + " of User ID " +
                          Quoted(trial.UserID) + " in table \"Experiments\"";
    QSqlQuery* query = Statement(
        QStringLiteral("SELECT count(*) FROM \"Experiments\" WHERE \"UserID\" = ? AND \"Experiment\" = ?"), doing, error);
    if (!query) return Outcome::Fail(error);
    query->bindValue(0, BindText(trial.UserID));
    query->bindValue(1, QVariant::fromValue<qlonglong>(trial.Experiment));
    if (!Run(*query, path_, doing, error)) return Outcome::Fail(error);
    if (!query->next()) return Outcome::Fail(Message(path_, doing));
    const bool claimed = query->value(0).toLongLong() > 0;
    query->finish();
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
