// Claiming a trial: the participant's counter and the trial's row change in
// one transaction, so two copies of the program can never record the same
// trial number, and a crash leaves either both or neither.

#include <QVariant>

#include "data/db_internal.h"
#include "data/dialect.h"
#include "data/experiment_db.h"

namespace kestu {

using namespace dbdetail;

namespace {

// Transaction control runs as it is: the server cannot prepare it.
bool Exec(QSqlDatabase& db, const QString& statement, const std::string& path, const QString& doing,
          std::string& error)
{
    QSqlQuery query(db);
    if (query.exec(statement)) return true;
    error = Message(path, doing + " (" + DriverText(query.lastError()) + ")");
    return false;
}

}  // namespace

Result<long long> ExperimentDb::ClaimTrial(const ExperimentStart& start)
{
    using Outcome = Result<long long>;
    QSqlDatabase db = QSqlDatabase::database(Q(connection_), false);
    const QString user = "\"" + Q(start.UserID) + "\"";
    const QString doing = "cannot claim trial " + QString::number(start.Experiment) + " of User ID " + user;
    std::string error;
    // Nothing is read before the claim holds the lock on the counter, so a
    // second copy waits here instead of reading the same count.
    if (!Exec(db, dialect().beginClaim, path_, doing, error)) return Outcome::Fail(error);

    auto fail = [&](const std::string& why) {
        QSqlQuery rollback(db);
        rollback.exec(QStringLiteral("ROLLBACK"));
        return Outcome::Fail(why);
    };

    QSqlQuery& counter = Statement(QStringLiteral(
        "SELECT rowid, \"TrialNum\" FROM \"UserData\" WHERE \"UserID\" = ? ORDER BY rowid LIMIT 1") +
                                   dialect().lockForUpdate);
    counter.bindValue(0, Q(start.UserID));
    if (!Run(counter, path_, doing, error)) return fail(error);
    if (!counter.next()) return fail(Message(path_, doing + ": no row for that User ID in table \"UserData\""));
    const long long participantRow = counter.value(0).toLongLong();
    const QString countText = counter.value(1).toString().trimmed();
    counter.finish();
    bool numeric = countText.isEmpty();
    const long long done = numeric ? 0 : countText.toLongLong(&numeric);
    if (!numeric) return fail(Message(path_, doing + ": its trial count \"" + countText + "\" is not a number"));

    QSqlQuery& taken =
        Statement(QStringLiteral("SELECT count(*) FROM \"Experiments\" WHERE \"UserID\" = ? AND \"Experiment\" = ?"));
    taken.bindValue(0, Q(start.UserID));
    taken.bindValue(1, QVariant::fromValue<qlonglong>(start.Experiment));
    if (!Run(taken, path_, doing, error) || !taken.next()) return fail(error.empty() ? Message(path_, doing) : error);
    const bool rowExists = taken.value(0).toLongLong() > 0;
    taken.finish();
    if (done >= start.Experiment || rowExists) {
        return fail(Message(path_, doing + ": that trial number is already taken (the participant has " +
                                       QString::number(done) + " trials); is another copy of Kestu running?"));
    }

    QSqlQuery& save = Statement(QStringLiteral("UPDATE \"UserData\" SET \"TrialNum\" = ? WHERE rowid = ?"));
    save.bindValue(0, QString::number(start.Experiment));
    save.bindValue(1, participantRow);
    if (!Run(save, path_, doing, error)) return fail(error);

    auto added = AddExperiment(start);
    if (!added) return fail(added.error());
    if (!Exec(db, QStringLiteral("COMMIT"), path_, doing, error)) return fail(error);
    return added;
}

}  // namespace kestu
