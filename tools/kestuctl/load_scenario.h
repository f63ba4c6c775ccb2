#pragma once

#include <optional>
#include <string>

#include <memory>

#include "data/experiment_db.h"
#include "engine/result.h"
#include "kestuctl/command_line.h"
#include "scenario/scenario_tables.h"

namespace kestu::ctl {

// How a database is named to the experimenter: an SQLite file by its full
// path, a server by user, host, port and database only (never a password or
// a connection option). Nothing for a location that cannot be read.
std::optional<std::string> DatabaseShown(const std::string& location);

// Says on the console's error stream which database the command uses:
// "kestuctl: database <location>", so that standard output and output files
// stay as they are. A location that cannot be read is not echoed (it may
// hold a password); opening it then says what is wrong.
void SayDatabase(Console& console, const std::string& location);

// Opens the database after saying which it is.
Result<std::unique_ptr<ExperimentDb>> OpenDatabase(const std::string& location, OpenMode mode, Console& console);

// The scenario of the database as the program reads it, checked cell by cell.
Result<ScenarioTables> LoadScenario(const std::string& dbPath, Console& console);

// The database a trial log is replayed with: `db` when given, else the
// KESTU.MDB the log was written beside; nothing when there is neither.
std::optional<std::string> DatabaseForLog(const std::string& logPath, const std::optional<std::string>& db);

// What a command that replays a log says when DatabaseForLog finds none.
inline constexpr const char* NoDatabaseForLog =
    "no scenario to replay the log with: give --db DB (a database file or a postgresql:// URL), "
    "or keep the log beside its KESTU.MDB";

}  // namespace kestu::ctl
