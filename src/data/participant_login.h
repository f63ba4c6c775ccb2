#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "data/experiment_db.h"
#include "data/participant_lock.h"
#include "engine/result.h"

namespace kestu {

// A participant logged in: the User ID, the trials done as the study holds
// them, and the lock that holds the participant for this copy of the program.
struct LoggedIn {
    std::string UserID;
    int TrialNum = 0;    // trials done; the next one is TrialNum + 1
    bool added = false;  // the login added the participant to the study
    std::unique_ptr<ParticipantLock> lock;
};

// Stores the answers of a User ID not yet in the study as its row (their
// UserID is the login's); may be called again after it failed.
using AddParticipantFn = std::function<Status(const Participant& answers)>;

// Asked when the User ID is not in the study: adds the participant through
// `add` and says whether it did (false: the participant was not added), or
// the fault that stopped it.
using Registration = std::function<Result<bool>(const AddParticipantFn& add)>;

// Adds a new participant with empty answers.
Registration AddWithEmptyAnswers();

// The largest trial count a participant may have.
inline constexpr int MaxTrialNum = 32767;

// Logs `userId` in to the study at `location`, in this order: takes the
// participant's lock, opens the study, looks the User ID up and, when it is
// not there, asks `registration` to add it; then reads the trial count of the
// participant's first row, which must be a whole number from 0 to
// MaxTrialNum. Nothing is written before the lock is held.
//
// Empty when the User ID is not in the study and `registration` did not add
// it (the lock is given back). A fault of the study (its database cannot be
// opened, read or written, or its trial count is not one) names the study's
// location as its file; a refusal of the lock names no file.
Result<std::optional<LoggedIn>> LogIn(const std::string& location, const std::string& userId,
                                      const Registration& registration);

}  // namespace kestu
