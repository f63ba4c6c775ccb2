#pragma once

#include <optional>
#include <string>

#include "engine/result.h"

namespace kestu {

// The study's database as the study folder names it: the url of section
// [database] of "kestu.ini" in the folder (a lab's seats name their server
// there once), or, when the folder holds no kestu.ini, the file "KESTU.MDB"
// in the folder. A kestu.ini that cannot be read, or that does not name one
// server as ReadStudyIni demands, is refused with its file, line and reason;
// it never falls back to KESTU.MDB.
Result<std::string> StudyDatabase(const std::string& studyFolder);

// What the study folder's kestu.ini says about this seat (section [seat]):
// its name on the lab page, and whether it reports its status there (yes
// unless report=off). No kestu.ini, or no [seat], leaves both to the program.
struct SeatSettings {
    std::optional<std::string> name;
    bool reports = true;
    bool lslMarkers = false;  // [markers] lsl=on: the trials' markers go out on the seat's LSL stream
};
Result<SeatSettings> StudySeat(const std::string& studyFolder);

// Hands what an earlier run kept in the study folder's outbox to the study's
// database; what cannot be delivered stays for the next start. Returns a
// line for the console, empty when there was nothing to do.
std::string DeliverKeptResults(const std::string& studyFolder, const std::string& database);

}  // namespace kestu
