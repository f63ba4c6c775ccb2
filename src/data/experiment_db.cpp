#include "data/experiment_db.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaType>
#include <QRegularExpression>
#include <QTime>
#include <QVariant>


#include "data/db_connect.h"
#include "data/db_internal.h"
#include "trials/message_text.h"

namespace kestu {

using namespace dbdetail;

namespace {

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

QSqlQuery& ExperimentDb::Statement(const QString& sql)
{
    std::unique_ptr<QSqlQuery>& slot = statements_->prepared[sql];
    if (!slot || !onServer_) {
        slot = std::make_unique<QSqlQuery>(QSqlDatabase::database(Q(connection_), false));
        slot->prepare(sql);
    }
    return *slot;
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
    using Outcome = Result<std::optional<Participant>>;
    QSqlQuery query(QSqlDatabase::database(Q(connection_), false));
    query.prepare(QStringLiteral(
        "SELECT \"UserID\", \"FirstName\", \"LastName\", \"SchoolYear\", \"Major\", \"Age\", \"Sex\", \"TrialNum\" "
        "FROM \"UserData\" WHERE \"UserID\" = ? ORDER BY rowid LIMIT 1"));
    query.addBindValue(BindText(userId));
    std::string error;
    if (!Run(query, path_, "cannot look up User ID " + Quoted(userId) + " in table \"UserData\"", error)) {
        return Outcome::Fail(error);
    }
    if (!query.next()) return Outcome::Ok(std::nullopt);

    Participant p;
    p.UserID = S(query.value(0).toString());
    p.FirstName = S(query.value(1).toString());
    p.LastName = S(query.value(2).toString());
    p.SchoolYear = S(query.value(3).toString());
    p.Major = S(query.value(4).toString());
    p.Age = S(query.value(5).toString());
    p.Sex = S(query.value(6).toString());
    p.TrialNum = S(query.value(7).toString());
    return Outcome::Ok(std::move(p));
}

Status ExperimentDb::AddParticipant(const Participant& p)
{
    QSqlQuery query(QSqlDatabase::database(Q(connection_), false));
    query.prepare(QStringLiteral(
        "INSERT INTO \"UserData\" (\"UserID\", \"LastName\", \"FirstName\", \"SchoolYear\", \"Major\", \"Age\", \"Sex\") "
        "VALUES (?, ?, ?, ?, ?, ?, ?)"));
    for (const std::string* field : {&p.UserID, &p.LastName, &p.FirstName, &p.SchoolYear, &p.Major, &p.Age, &p.Sex}) {
        query.addBindValue(BindText(*field));
    }
    std::string error;
    if (!Run(query, path_, "cannot add User ID " + Quoted(p.UserID) + " to table \"UserData\"", error)) {
        return Status::Fail(error);
    }
    return Ok();
}

Status ExperimentDb::SaveTrialNum(const std::string& userId, int trialNum)
{
    // Only the participant's first row, as the lookup at login sees it.
    QSqlQuery& query = Statement(QStringLiteral(
        "UPDATE \"UserData\" SET \"TrialNum\" = ? WHERE rowid = "
        "(SELECT rowid FROM \"UserData\" WHERE \"UserID\" = ? ORDER BY rowid LIMIT 1)"));
    query.bindValue(0, QString::number(trialNum));
    query.bindValue(1, BindText(userId));
    std::string error;
    const QString doing = "cannot save the trial count of User ID " + Quoted(userId) + " in table \"UserData\"";
    if (!Run(query, path_, doing, error)) return Status::Fail(error);
    if (query.numRowsAffected() < 1) {
        return Status::Fail(Message(path_, doing + ": no row for that User ID"));
    }
    return Ok();
}

Result<long long> ExperimentDb::AddExperiment(const ExperimentStart& start)
{
    using Outcome = Result<long long>;
    const QString doing = "cannot add trial " + QString::number(start.Experiment) + " of User ID " +
                          Quoted(start.UserID) + " to table \"Experiments\"";
    if (!IsIsoDate(start.Date)) {
        return Outcome::Fail(Message(path_, doing + ": date " + Quoted(start.Date) + " is not yyyy-mm-dd"));
    }
    if (!IsClockTime(start.StartTime)) {
        return Outcome::Fail(Message(path_, doing + ": start time " + Quoted(start.StartTime) + " is not hh:mm:ss"));
    }

        QSqlQuery& query = Statement(QStringLiteral(
        "INSERT INTO \"Experiments\" (\"UserID\", \"Experiment\", \"Date\", \"StartTime\", \"Scenario\", \"SimRate\") "
        "VALUES (?, ?, ?, ?, ?, ?)") + dialect().returningRowId);
    query.bindValue(0, BindText(start.UserID));
    query.bindValue(1, start.Experiment);
    query.bindValue(2, BindText(start.Date));
    query.bindValue(3, BindText(start.StartTime));
    query.bindValue(4, BindText(start.Scenario));
    query.bindValue(5, start.SimRate);
    std::string error;
    if (!Run(query, path_, doing, error)) return Outcome::Fail(error);
    if (dialect().returningRowId.isEmpty()) return Outcome::Ok(query.lastInsertId().toLongLong());
    if (!query.next()) return Outcome::Fail(Message(path_, doing + ": the new row's id did not come back"));
    return Outcome::Ok(query.value(0).toLongLong());
}

Status ExperimentDb::CompleteExperiment(long long rowid, const ExperimentResult& end)
{
    const QString doing = "cannot complete row " + QString::number(rowid) + " of table \"Experiments\"";
    if (!IsClockTime(end.EndTime)) {
        return Status::Fail(Message(path_, doing + ": end time " + Quoted(end.EndTime) + " is not hh:mm:ss"));
    }

        QSqlQuery& query = Statement(QStringLiteral(
        "UPDATE \"Experiments\" SET \"EndTime\" = ?, \"MissedBuckets\" = ?, \"BusyTime\" = ?, \"SweepTime\" = ?, "
        "\"IdleTime\" = ? WHERE rowid = ?"));
    query.bindValue(0, BindText(end.EndTime));
    query.bindValue(1, end.MissedBuckets);
    query.bindValue(2, BindOptional(end.BusyTime));
    query.bindValue(3, BindOptional(end.SweepTime));
    query.bindValue(4, BindOptional(end.IdleTime));
    query.bindValue(5, rowid);
    std::string error;
    if (!Run(query, path_, doing, error)) return Status::Fail(error);
    if (query.numRowsAffected() < 1) {
        return Status::Fail(Message(path_, doing + ": the row no longer exists"));
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
    QSqlQuery& query = Statement(QStringLiteral(
        "UPDATE \"Experiments\" SET \"EndTime\" = ?, \"MissedBuckets\" = ?, \"BusyTime\" = ?, \"SweepTime\" = ?, "
        "\"IdleTime\" = ? WHERE \"UserID\" = ? AND \"Experiment\" = ? AND \"MissedBuckets\" IS NULL"));
    query.bindValue(0, BindText(end.EndTime));
    query.bindValue(1, end.MissedBuckets);
    query.bindValue(2, BindOptional(end.BusyTime));
    query.bindValue(3, BindOptional(end.SweepTime));
    query.bindValue(4, BindOptional(end.IdleTime));
    query.bindValue(5, BindText(trial.UserID));
    query.bindValue(6, QVariant::fromValue<qlonglong>(trial.Experiment));
    std::string error;
    if (!Run(query, path_, doing, error)) return Status::Fail(error);
    if (query.numRowsAffected() != 1)
        return Status::Fail(Message(path_, doing + ": no row of that trial is waiting for its results"));
    return Ok();
}

Result<bool> ExperimentDb::TrialClaimed(const TrialId& trial)
{
    using Outcome = Result<bool>;
    QSqlQuery& query = Statement(
        QStringLiteral("SELECT count(*) FROM \"Experiments\" WHERE \"UserID\" = ? AND \"Experiment\" = ?"));
    query.bindValue(0, BindText(trial.UserID));
    query.bindValue(1, QVariant::fromValue<qlonglong>(trial.Experiment));
    std::string error;
    const QString doing = "cannot look up trial " + QString::number(trial.Experiment) + " of User ID " +
                          Quoted(trial.UserID) + " in table \"Experiments\"";
    if (!Run(query, path_, doing, error)) return Outcome::Fail(error);
    if (!query.next()) return Outcome::Fail(Message(path_, doing));
    const bool claimed = query.value(0).toLongLong() > 0;
    query.finish();
    return Outcome::Ok(claimed);
}

Result<std::string> ExperimentDb::StudyId() { return std::string(); }

}  // namespace kestu
