#include "data/experiment_db.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaType>
#include <QRegularExpression>
#include <QTime>
#include <QVariant>

#include <atomic>

#include "data/db_internal.h"
#include "trials/message_text.h"

namespace kestu {

using namespace dbdetail;

namespace {

std::atomic<unsigned> connectionCounter{0};

QString NewConnectionName()
{
    return QStringLiteral("kestu-experiment-db-%1").arg(++connectionCounter);
}

// Closes and forgets a connection. No QSqlDatabase or QSqlQuery of it may be alive.
void Drop(const QString& name)
{
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        if (db.isOpen()) db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

// Adds and opens the connection `name`. On failure the caller still drops it.
bool Connect(const QString& name, const std::string& path, OpenMode mode, std::string& error)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    if (!db.isValid()) {
        error = Message(path, QStringLiteral("cannot open the database: Qt's SQLite driver is not installed"));
        return false;
    }
    db.setDatabaseName(Q(path));
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000");
    if (mode == OpenMode::ReadOnly) options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    db.setConnectOptions(options);
    if (!db.open()) {
        error = Message(path, "cannot open the database (" + DriverText(db.lastError()) + ")");
        return false;
    }
    // SQLite reads the file only when asked; this makes a file that is not a
    // database fail now rather than at the first real query.
    QSqlQuery probe(db);
    if (!probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"))) {
        error = Message(path, "cannot read the file as a database (" + DriverText(probe.lastError()) + ")");
        return false;
    }
    return true;
}

// Runs the schema script and, when asked, the standard scenario, as one transaction.
std::string FillNewDatabase(const QString& name, const std::string& path, NewDbContent content)
{
    QSqlDatabase db = QSqlDatabase::database(name, false);
    std::vector<QString> statements = SplitSqlScript(QString::fromUtf8(SchemaSql()));
    if (content == NewDbContent::StandardScenario) {
        for (QString& s : SplitSqlScript(QString::fromUtf8(StandardScenarioSql()))) statements.push_back(std::move(s));
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

ExperimentDb::ExperimentDb(std::string path, std::string connection)
    : path_(std::move(path)), connection_(std::move(connection))
{
}

ExperimentDb::~ExperimentDb() { Drop(Q(connection_)); }

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

Result<std::unique_ptr<ExperimentDb>> ExperimentDb::Open(const std::string& path, OpenMode mode)
{
    using Outcome = Result<std::unique_ptr<ExperimentDb>>;
    if (!NameReachesSqlite(path)) return Outcome::Fail(Message(ForMessage(path, 1000), NotUtf8));
    const QFileInfo file(Q(path));
    if (!file.exists()) return Outcome::Fail(Message(path, QStringLiteral("the database file does not exist")));
    if (!file.isFile()) return Outcome::Fail(Message(path, QStringLiteral("is not a file")));

    const QString name = NewConnectionName();
    std::string error;
    if (!Connect(name, path, mode, error)) {
        Drop(name);
        return Outcome::Fail(error);
    }
    return Outcome::Ok(std::unique_ptr<ExperimentDb>(new ExperimentDb(path, S(name))));
}

Status ExperimentDb::Create(const std::string& path, NewDbContent content)
{
    if (!NameReachesSqlite(path)) return Status::Fail(Message(ForMessage(path, 1000), NotUtf8));
    const QFileInfo file(Q(path));
    if (file.exists()) {
        return Status::Fail(Message(path, QStringLiteral("already exists; a new database is never written over it")));
    }
    if (!file.dir().exists()) {
        return Status::Fail(Message(path, QStringLiteral("cannot create the database: its folder does not exist")));
    }

    const QString name = NewConnectionName();
    std::string error;
    if (Connect(name, path, OpenMode::ReadWrite, error)) error = FillNewDatabase(name, path, content);
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
    QSqlQuery query(QSqlDatabase::database(Q(connection_), false));
    // Only the participant's first row, as the lookup at login sees it.
    query.prepare(QStringLiteral(
        "UPDATE \"UserData\" SET \"TrialNum\" = ? WHERE rowid = "
        "(SELECT rowid FROM \"UserData\" WHERE \"UserID\" = ? ORDER BY rowid LIMIT 1)"));
    query.addBindValue(QString::number(trialNum));
    query.addBindValue(BindText(userId));
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

    QSqlQuery query(QSqlDatabase::database(Q(connection_), false));
    query.prepare(QStringLiteral(
        "INSERT INTO \"Experiments\" (\"UserID\", \"Experiment\", \"Date\", \"StartTime\", \"Scenario\", \"SimRate\") "
        "VALUES (?, ?, ?, ?, ?, ?)"));
    query.addBindValue(BindText(start.UserID));
    query.addBindValue(start.Experiment);
    query.addBindValue(BindText(start.Date));
    query.addBindValue(BindText(start.StartTime));
    query.addBindValue(BindText(start.Scenario));
    query.addBindValue(start.SimRate);
    std::string error;
    if (!Run(query, path_, doing, error)) return Outcome::Fail(error);
    return Outcome::Ok(query.lastInsertId().toLongLong());
}

Status ExperimentDb::CompleteExperiment(long long rowid, const ExperimentResult& end)
{
    const QString doing = "cannot complete row " + QString::number(rowid) + " of table \"Experiments\"";
    if (!IsClockTime(end.EndTime)) {
        return Status::Fail(Message(path_, doing + ": end time " + Quoted(end.EndTime) + " is not hh:mm:ss"));
    }

    QSqlQuery query(QSqlDatabase::database(Q(connection_), false));
    query.prepare(QStringLiteral(
        "UPDATE \"Experiments\" SET \"EndTime\" = ?, \"MissedBuckets\" = ?, \"BusyTime\" = ?, \"SweepTime\" = ?, "
        "\"IdleTime\" = ? WHERE rowid = ?"));
    query.addBindValue(BindText(end.EndTime));
    query.addBindValue(end.MissedBuckets);
    query.addBindValue(BindOptional(end.BusyTime));
    query.addBindValue(BindOptional(end.SweepTime));
    query.addBindValue(BindOptional(end.IdleTime));
    query.addBindValue(rowid);
    std::string error;
    if (!Run(query, path_, doing, error)) return Status::Fail(error);
    if (query.numRowsAffected() < 1) {
        return Status::Fail(Message(path_, doing + ": the row no longer exists"));
    }
    return Ok();
}

}  // namespace kestu
