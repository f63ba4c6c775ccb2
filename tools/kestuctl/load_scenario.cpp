#include "kestuctl/load_scenario.h"

#include <filesystem>
#include <system_error>

#include "data/experiment_db.h"

namespace kestu::ctl {

Result<ScenarioTables> LoadScenario(const std::string& dbPath)
{
    auto db = ExperimentDb::Open(dbPath, OpenMode::ReadOnly);
    if (!db) return Result<ScenarioTables>::Fail(db.error());
    return db.value()->ReadScenario();
}

std::string DatabaseForLog(const std::string& logPath, const std::optional<std::string>& db)
{
    if (db && !db->empty()) return *db;
    const std::filesystem::path beside = std::filesystem::path(logPath).parent_path() / "KESTU.MDB";
    std::error_code ignored;
    return std::filesystem::is_regular_file(beside, ignored) ? beside.string() : std::string();
}

}  // namespace kestu::ctl
