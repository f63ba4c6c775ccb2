#pragma once

#include <QTemporaryDir>

#include <cstdlib>
#include <string>

#include "data/experiment_db.h"

// The standard scenario as a new database holds it, read once per program.
inline const kestu::ScenarioTables& StandardScenario()
{
    static const kestu::ScenarioTables tables = [] {
        QTemporaryDir dir;
        const std::string path = dir.filePath("KESTU.MDB").toStdString();
        if (!kestu::ExperimentDb::Create(path, kestu::NewDbContent::StandardScenario)) std::abort();
        auto db = kestu::ExperimentDb::Open(path, kestu::OpenMode::ReadOnly);
        auto read = db.value()->ReadScenario();
        if (!read) std::abort();
        return std::move(read).value();
    }();
    return tables;
}
