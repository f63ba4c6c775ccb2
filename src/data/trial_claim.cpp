// Claiming a trial: the participant's counter and the trial's row change in
// one transaction, so two copies of the program can never record the same
// trial number, and a crash leaves either both or neither.

#include <QVariant>

#include <algorithm>

#include "data/db_internal.h"
#include "data/dialect.h"
#include "data/experiment_db.h"

namespace kestu {

using namespace dbdetail;

// What is wrong with a trial's start, or nothing (experiment_db.cpp).
std::optional<QString> StartFault(const ExperimentStart& start);

// On a server the owner's function does the whole claim in one statement.
Result<long long> ExperimentDb::ClaimOnServer(const ExperimentStart& start)
{
    using Outcome = Result<long long>;
    const QString doing =
        "cannot claim trial " + QString::number(start.Experiment) + " of User ID \"" + Q(start.UserID) + "\"";
    std::string error;
    QSqlQuery* call = Statement(QStringLiteral("SELECT kestu_claim_trial(?, ?, ?, ?, ?, ?)"), doing, error);
    if (!call) return Outcome::Fail(error);
    call->bindValue(0, Q(start.UserID).isNull() ? QStringLiteral("") : Q(start.UserID));
    call->bindValue(1, start.Experiment);
    call->bindValue(2, Q(start.Date));
    call->bindValue(3, Q(start.StartTime));
    call->bindValue(4, Q(start.Scenario).isNull() ? QStringLiteral("") : Q(start.Scenario));
    call->bindValue(5, start.SimRate);
    if (!Run(*call, path_, doing, error)) return Outcome::Fail(error);
    if (!call->next()) return Outcome::Fail(Message(path_, doing + ": the new row's id did not come back"));
    const long long row = call->value(0).toLongLong();
    call->finish();
    return Outcome::Ok(row);
}

Result<long long> ExperimentDb::ClaimTrial(const ExperimentStart& start)
{
    using Outcome = Result<long long>;
    auto functions = ThroughFunctions();
    if (!functions) return functions.fault();
    if (functions.value()) {
        // The start is checked here too, so that its faults read as they do on a file.
        if (const auto fault = StartFault(start))
            return Outcome::Fail(Message(path_, "cannot add trial " + QString::number(start.Experiment) +
                                                    " of User ID \"" + Q(start.UserID) +
                                                    "\" to table \"Experiments\": " + *fault));
        return ClaimOnServer(start);
    }

    QSqlDatabase db = QSqlDatabase::database(Q(connection_), false);
    const QString user = "\"" + Q(start.UserID) + "\"";
    const QString doing = "cannot claim trial " + QString::number(start.Experiment) + " of User ID " + user;
    std::string error;
    // Nothing is read before the claim holds the lock on the counter, so a
    // second copy waits here instead of reading the same count.
    if (!ExecPlain(db, dialect().beginClaim, path_, doing, error)) return Outcome::Fail(error);

    auto fail = [&](const std::string& why) {
        QSqlQuery rollback(db);
        rollback.exec(QStringLiteral("ROLLBACK"));
        return Outcome::Fail(why);
    };

    QSqlQuery* counter = Statement(QStringLiteral(
        "SELECT rowid, \"TrialNum\" FROM \"UserData\" WHERE \"UserID\" = ? ORDER BY rowid LIMIT 1") +
                                   dialect().lockForUpdate, doing, error);
    if (!counter) return fail(error);
    counter->bindValue(0, Q(start.UserID));
    if (!Run(*counter, path_, doing, error)) return fail(error);
    if (!counter->next()) return fail(Message(path_, doing + ": no row for that User ID in table \"UserData\""));
    const long long participantRow = counter->value(0).toLongLong();
    const QString countText = counter->value(1).toString();
    counter->finish();
    const auto counted = ParseTrialCount(countText);
    if (!counted)
        return fail(Message(path_, doing + ": its trial count \"" + countText.trimmed() + "\" is not a number"));
    const long long done = *counted;

    // The largest trial recorded counts too: a count written back by an
    // older copy never makes a recorded number free again.
    QSqlQuery* taken = Statement(QStringLiteral(
        "SELECT max(CAST(\"Experiment\" AS INTEGER)) FROM \"Experiments\" WHERE \"UserID\" = ?"), doing, error);
    if (!taken) return fail(error);
    taken->bindValue(0, Q(start.UserID));
    if (!Run(*taken, path_, doing, error) || !taken->next()) return fail(error.empty() ? Message(path_, doing) : error);
    const long long recorded = taken->value(0).isNull() ? 0 : taken->value(0).toLongLong();
    taken->finish();
    if (done >= start.Experiment || recorded >= start.Experiment) {
        return fail(Message(path_, doing + ": that trial number is already taken (the participant has " +
                                       QString::number(std::max(done, recorded)) +
                                       " trials); is another copy of Kestu running?"));
    }

    QSqlQuery* save = Statement(QStringLiteral("UPDATE \"UserData\" SET \"TrialNum\" = ? WHERE rowid = ?"), doing, error);
    if (!save) return fail(error);
    save->bindValue(0, QString::number(start.Experiment));
    save->bindValue(1, participantRow);
    if (!Run(*save, path_, doing, error)) return fail(error);

    auto added = AddExperiment(start);
    if (!added) return fail(added.error());
    if (!ExecPlain(db, QStringLiteral("COMMIT"), path_, doing, error)) return fail(error);
    return added;
}

}  // namespace kestu
