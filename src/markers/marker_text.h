#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/result.h"
#include "scenario/scenario_tables.h"
#include "trials/log_reader.h"
#include "trials/trial_event.h"

namespace kestu::markers {

// The trial events that become markers: the setup, the start, each click,
// each snapshot saved and restored, each deadline judged, the end and a stop
// before it.
TrialEventKinds MarkerKinds();

// One marker: a compact JSON object on one line, its keys always in this
// order, numbers as plain decimals whatever the locale, no spaces:
//   {"event":"setup","user":"ab12","trial":3,"tick":0,"clock":"00:00","end":"08:00"}
//   {"event":"start","user":"ab12","trial":3,"tick":0,"clock":"00:00"}
//   {"event":"click","user":"ab12","trial":3,"tick":12,"clock":"00:12","switch":5,"tank":2,"status":"on"}
//   {"event":"save","user":"ab12","trial":3,"tick":60,"clock":"01:00","missed_total":4}
//   {"event":"restore","user":"ab12","trial":3,"tick":95,"clock":"01:35","to":"01:00","missed_total":4}
//   {"event":"deadline","user":"ab12","trial":3,"tick":120,"clock":"02:00","tank":7,"owed":3,"missed":3,"missed_total":7}
//   {"event":"end","user":"ab12","trial":3,"tick":480,"clock":"08:00","missed_total":21}
//   {"event":"stop","user":"ab12","trial":3,"tick":200,"clock":"03:20","missed_total":9}
// "trial" is 0 in Training. "tick" counts the seconds since the setup and
// never goes back, not even across a restore, whose "clock" does. "status"
// is the switch's status after the click: "on", "off", "clean" or
// "queued". "missed_total" is the score so far: after a restore, the total
// the snapshot put back. A "stop" is a trial closed before its end time.
// Nothing for an event that is no marker.
std::optional<std::string> MarkerText(const TrialEvent& event);

// The markers a trial log implies, in the order the trial sent them: the
// log is replayed with the scenario, and each event of the replay is told
// as the recorded trial (userId's trial trialNum, in Experiment) told it;
// each click as its record has it. A log cut off before its end time (the
// program died, or a record could not be written) gives no marker after
// its last record's: the trial sent none. The fault says why the log
// cannot be replayed.
//
// A replay applies a tick's records at the end of the tick. A click made
// there or between two ticks (every click of the Random method, of
// `kestuctl run-trial`, and of a participant whose click is not handled
// while a tick is under way) is replayed exactly, so these are the very
// markers the trial sent. A click the window handled in the middle of a
// tick keeps its own marker, but the deadlines judged in that tick and
// later may owe other amounts than the trial's, as its replay shows them;
// and clicks at the start's own clock all come before the start marker, as
// the log does not tell which came after it.
Result<std::vector<std::string>> MarkersOfLog(const ScenarioTables& tables, const TrialLogText& log,
                                              const std::string& userId, int trialNum);

}  // namespace kestu::markers
