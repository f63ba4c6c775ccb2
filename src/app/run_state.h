#pragma once

#include <memory>
#include <string>

#include "data/participant_lock.h"
#include "engine/constants.h"
#include "trials/participant.h"

namespace kestu {

// The state of one run of the program: who is logged in and how, where the
// experiment database lies, and the engine's timing constants.
struct RunState {
    ParticipantState participant;
    std::string ProgramFolder;  // the study folder: database, logs and snapshots
    std::unique_ptr<ParticipantLock> participantLock;  // held until the program ends
    std::string DatabasePath;
    EngineConstants constants;
    bool LslMarkers = false;  // the command line switched the LSL markers on
    std::string SeatName;  // the seat's name on the lab page as the command line gives it; empty: not given
};

}  // namespace kestu
