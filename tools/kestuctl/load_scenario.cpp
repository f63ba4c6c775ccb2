#include "kestuctl/load_scenario.h"

#include "data/experiment_db.h"

namespace kestu::ctl {

Result<ScenarioTables> LoadScenario(const std::string& dbPath)
{
    auto db = ExperimentDb::Open(dbPath, OpenMode::ReadOnly);
    if (!db) return Result<ScenarioTables>::Fail(db.error());
    return db.value()->ReadScenario();
}

}  // namespace kestu::ctl
