#pragma once

#include <string>
#include <vector>

#include "trials/trial_event.h"

namespace kestu {

// The sentence a participant or experimenter reads for a trial's fault: the
// window shows it in a message box, kestuctl prints it. Plain C++, so the
// tools word faults exactly as the window does.
std::string FaultSentence(const TrialFault& fault);

// The sentences of a run's faults, in order.
inline std::vector<std::string> FaultSentences(const std::vector<TrialFault>& faults)
{
    std::vector<std::string> sentences;
    for (const TrialFault& fault : faults) sentences.push_back(FaultSentence(fault));
    return sentences;
}

// The title of the simulation window's messages.
inline constexpr const char* SimulationMessageTitle = "Kestu Simulation";

}  // namespace kestu
