#include "data/participant_login.h"

#include "trials/number_text.h"

namespace kestu {

namespace {

// The study's own fault, named by its location.
Fault OfStudy(const std::string& location, const Fault& fault)
{
    return Fault{fault.message, location, fault.line, fault.field};
}

// The trials done, read from the participant's row: a whole number from 0 to MaxTrialNum.
Result<int> TrialsDone(const std::string& location, const std::string& userId, const Participant& row)
{
    const auto count = ParseInteger(row.TrialNum);
    if (!count || *count < 0 || *count > MaxTrialNum)
        return Fault{location + ": table UserData, column TrialNum, row of User ID \"" + userId + "\": \"" +
                         row.TrialNum + "\" is not a trial count (a whole number from 0 to " +
                         std::to_string(MaxTrialNum) + ").",
                     location, std::nullopt, "TrialNum"};
    return static_cast<int>(*count);
}

// The participant's row, and whether the login added it.
struct Row {
    Participant stored;
    bool added = false;
};

// The participant's row, added through `registration` when the User ID is
// not there yet; empty when it was not added.
Result<std::optional<Row>> FindOrAdd(ExperimentDb& db, const std::string& userId, const Registration& registration)
{
    using Outcome = Result<std::optional<Row>>;
    auto found = db.FindParticipant(userId);
    if (!found) return found.fault();
    if (found.value()) return Outcome::Ok(Row{*found.value(), false});
    const AddParticipantFn add = [&db, &userId](const Participant& answers) {
        Participant row = answers;
        row.UserID = userId;
        return db.AddParticipant(row);
    };
    const Result<bool> registered = registration ? registration(add) : Result<bool>(false);
    if (!registered) return registered.fault();
    if (!registered.value()) return Outcome::Ok(std::nullopt);
    found = db.FindParticipant(userId);
    if (!found) return found.fault();
    if (!found.value())
        return Outcome::Fail(db.path() + ": User ID \"" + userId + "\" was added to table \"UserData\" but is not there");
    return Outcome::Ok(Row{*found.value(), true});
}

}  // namespace

Registration AddWithEmptyAnswers()
{
    return [](const AddParticipantFn& add) -> Result<bool> {
        const Status stored = add(Participant{});
        if (!stored) return stored.fault();
        return true;
    };
}

Result<std::optional<LoggedIn>> LogIn(const std::string& location, const std::string& userId,
                                      const Registration& registration)
{
    using Outcome = Result<std::optional<LoggedIn>>;
    auto lock = ParticipantLock::Take(location, userId);
    if (!lock) return Fault{lock.fault().message, {}, {}, {}};
    auto opened = ExperimentDb::Open(location, OpenMode::ReadWrite);
    if (!opened) return OfStudy(location, opened.fault());
    const auto row = FindOrAdd(*opened.value(), userId, registration);
    if (!row) return OfStudy(location, row.fault());
    if (!row.value()) return Outcome::Ok(std::nullopt);
    const auto done = TrialsDone(location, userId, row.value()->stored);
    if (!done) return done.fault();
    return Outcome::Ok(LoggedIn{userId, done.value(), row.value()->added, std::move(lock).value()});
}

}  // namespace kestu
