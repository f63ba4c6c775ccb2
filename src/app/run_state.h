#pragma once

#include <string>

#include "engine/constants.h"
#include "trials/participant.h"

namespace kestu {

// The state of one run of the program: who is logged in and how, where the
// experiment database lies, and the engine's timing constants.
struct RunState {
    ParticipantState participant;
    std::string ProgramFolder;
    std::string DatabasePath;
    EngineConstants constants;
};

}  // namespace kestu
