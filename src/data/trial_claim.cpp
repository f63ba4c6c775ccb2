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
    auto prepared = Statement(QStringLiteral("SELECT kestu_claim_trial(?, ?, ?, ?, ?, ?)"), doing);
    if (!prepared) return prepared.fault();
    QSqlQuery& call = *prepared.value();
    call.bindValue(0, Q(start.UserID).isNull() ? QStringLiteral("") : Q(start.UserID));
    call.bindValue(1, start.Experiment);
    call.bindValue(2, Q(start.Date));
    call.bindValue(3, Q(start.StartTime));
    call.bindValue(4, Q(start.Scenario).isNull() ? QStringLiteral("") : Q(start.Scenario));
    call.bindValue(5, start.SimRate);
    if (const Status ran = Run(call, path_, doing); !ran) return ran.fault();
    if (!call.next()) return Outcome::Fail(Message(path_, doing + ": the new row's id did not come back"));
    const long long row = call.value(0).toLongLong();
    call.finish();
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
    // Nothing is read before the claim holds the lock on the counter, so a
    // second copy waits here instead of reading the same count.
    if (const Status begun = ExecPlain(db, dialect().beginClaim, path_, doing); !begun) return begun.fault();
    Outcome claimed = ClaimInTransaction(start, doing);
    if (claimed) {
        const Status committed = ExecPlain(db, QStringLiteral("COMMIT"), path_, doing);
        if (committed) return claimed;
        claimed = committed.fault();
    }
    QSqlQuery rollback(db);
    rollback.exec(QStringLiteral("ROLLBACK"));
    return claimed;
}

// Inside ClaimTrial's transaction on a file: the participant's count raised
// to the trial's number and the trial's row added, unless the number is taken.
Result<long long> ExperimentDb::ClaimInTransaction(const ExperimentStart& start, const QString& doing)
{
    using Outcome = Result<long long>;
    auto prepared = Statement(QStringLiteral(
        "SELECT rowid, \"TrialNum\" FROM \"UserData\" WHERE \"UserID\" = ? ORDER BY rowid LIMIT 1") +
                                   dialect().lockForUpdate, doing);
    if (!prepared) return prepared.fault();
    QSqlQuery& counter = *prepared.value();
    counter.bindValue(0, Q(start.UserID));
    if (const Status ran = Run(counter, path_, doing); !ran) return ran.fault();
    if (!counter.next()) return Outcome::Fail(Message(path_, doing + ": no row for that User ID in table \"UserData\""));
    const long long participantRow = counter.value(0).toLongLong();
    const QString countText = counter.value(1).toString();
    counter.finish();
    const auto counted = ParseTrialCount(countText);
    if (!counted)
        return Outcome::Fail(Message(path_, doing + ": its trial count \"" + countText.trimmed() + "\" is not a number"));
    const auto recorded = LargestTrial(start.UserID, doing);
    if (!recorded) return recorded.fault();
    if (*counted >= start.Experiment || recorded.value() >= start.Experiment) {
        return Outcome::Fail(Message(path_, doing + ": that trial number is already taken (the participant has " +
                                                QString::number(std::max(*counted, recorded.value())) +
                                                " trials); is another copy of Kestu running?"));
    }

    auto save = Statement(QStringLiteral("UPDATE \"UserData\" SET \"TrialNum\" = ? WHERE rowid = ?"), doing);
    if (!save) return save.fault();
    save.value()->bindValue(0, QString::number(start.Experiment));
    save.value()->bindValue(1, participantRow);
    if (const Status ran = Run(*save.value(), path_, doing); !ran) return ran.fault();
    return AddExperiment(start);
}

// The largest trial recorded for the participant, 0 for none. It counts
// too: a count written back by an older copy never makes a recorded number
// free again.
Result<long long> ExperimentDb::LargestTrial(const std::string& userId, const QString& doing)
{
    auto prepared = Statement(QStringLiteral(
        "SELECT max(CAST(\"Experiment\" AS INTEGER)) FROM \"Experiments\" WHERE \"UserID\" = ?"), doing);
    if (!prepared) return prepared.fault();
    QSqlQuery& taken = *prepared.value();
    taken.bindValue(0, Q(userId));
    if (const Status ran = Run(taken, path_, doing); !ran) return ran.fault();
    if (!taken.next()) return Result<long long>::Fail(Message(path_, doing));
    const long long recorded = taken.value(0).isNull() ? 0 : taken.value(0).toLongLong();
    taken.finish();
    return recorded;
}

}  // namespace kestu
