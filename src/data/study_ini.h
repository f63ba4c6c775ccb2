#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "data/database_location.h"
#include "engine/result.h"

namespace kestu {

// What a study folder's "kestu.ini" says: the study's server, and whether
// the trial's events go out as markers.
struct StudyIni {
    DatabaseLocation database;        // always a server
    std::optional<bool> lslMarkers;   // [markers] lsl=on|off, when given
    std::optional<std::string> seatName;  // [seat] name=NAME: the seat's name on the lab page
    std::optional<bool> seatReports;      // [seat] report=on|off: whether the seat reports its status
};

// Reads the text of a kestu.ini. The file is UTF-8 (a byte-order mark at the
// start is allowed), lines end in LF or CR LF, blank lines and lines starting
// with ';' or '#' are skipped. It holds exactly one section [database] with
// exactly one line url=postgresql://USER@HOST[:PORT]/DBNAME[?...], and may
// hold a section [markers] with a line lsl=on or lsl=off, and a section
// [seat] with a line name=NAME (1 to 200 characters, no control characters)
// and a line report=on or report=off, each at most once. Section and key
// names are written in lower case as shown; anything else is refused, so a
// mistyped file never lets the program run on another database. The fault
// names `file` and, where a line is at fault, its number counted from 1.
Result<StudyIni> ReadStudyIni(std::string_view text, const std::string& file);

// A fault as one line: "FILE:LINE: reason" (without LINE when none is known).
std::string StudyIniProblem(const Fault& fault);

}  // namespace kestu
