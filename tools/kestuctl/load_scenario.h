#pragma once

#include <optional>
#include <string>

#include "engine/result.h"
#include "scenario/scenario_tables.h"

namespace kestu::ctl {

// The scenario of the database file as the program reads it, checked cell by cell.
Result<ScenarioTables> LoadScenario(const std::string& dbPath);

// The database a trial log is replayed with: `db` when given, else the
// KESTU.MDB the log was written beside; empty when there is neither.
std::string DatabaseForLog(const std::string& logPath, const std::optional<std::string>& db);

// What a command that replays a log says when DatabaseForLog finds none.
inline constexpr const char* NoDatabaseForLog =
    "no scenario to replay the log with: give --db DB (a database file or a postgresql:// URL), "
    "or keep the log beside its KESTU.MDB";

}  // namespace kestu::ctl
