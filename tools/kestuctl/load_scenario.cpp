#include "kestuctl/load_scenario.h"

#include <filesystem>
#include <system_error>

#include <ostream>

#include "data/database_location.h"
#include "trials/message_text.h"

namespace kestu::ctl {

std::optional<std::string> DatabaseShown(const std::string& location)
{
    const auto parsed = ParseDatabaseLocation(location);
    if (!parsed) return std::nullopt;
    if (const auto& server = parsed.value().server) {
        return "postgresql://" + server->user + (server->user.empty() ? "" : "@") + server->host + ":" +
               std::to_string(server->port) + "/" + server->database + " (server)";
    }
    std::error_code failed;
    const std::filesystem::path full = std::filesystem::absolute(location, failed).lexically_normal();
    return (failed ? location : full.string()) + " (SQLite file)";
}

void SayDatabase(Console& console, const std::string& location)
{
    if (const auto shown = DatabaseShown(location)) console.err << "kestuctl: database " << ForMessage(*shown, 1000) << "\n";
}

Result<std::unique_ptr<ExperimentDb>> OpenDatabase(const std::string& location, OpenMode mode, Console& console)
{
    SayDatabase(console, location);
    return ExperimentDb::Open(location, mode);
}

Result<ScenarioTables> LoadScenario(const std::string& dbPath, Console& console)
{
    auto db = OpenDatabase(dbPath, OpenMode::ReadOnly, console);
    if (!db) return Result<ScenarioTables>::Fail(db.error());
    return db.value()->ReadScenario();
}

std::optional<std::string> DatabaseForLog(const std::string& logPath, const std::optional<std::string>& db)
{
    if (db && !db->empty()) return *db;
    const std::filesystem::path beside = std::filesystem::path(logPath).parent_path() / "KESTU.MDB";
    std::error_code ignored;
    if (!std::filesystem::is_regular_file(beside, ignored)) return std::nullopt;
    return beside.string();
}

}  // namespace kestu::ctl
