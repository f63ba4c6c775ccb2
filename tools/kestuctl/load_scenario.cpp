#include "kestuctl/load_scenario.h"

#include "kestuctl/database_file.h"

namespace kestu::ctl {

DbResult<ScenarioTables> LoadScenario(const std::string& dbPath)
{
    auto db = OpenDatabase(dbPath, OpenMode::ReadOnly);
    if (!db) return DbResult<ScenarioTables>::Fail(db.error());
    return db.value()->ReadScenario();
}

}  // namespace kestu::ctl
