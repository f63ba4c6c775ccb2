// The scenario tables' columns, named in one place for writing them and for
// reading them unchecked.

#include "data/db_internal.h"
#include "engine/constants.h"

namespace kestu::dbdetail {

std::vector<QString> ScenarioColumns(ScenarioTable table)
{
    switch (table) {
    case ScenarioTable::Exogenous: {
        std::vector<QString> columns{QStringLiteral("Hr"), QStringLiteral("Min")};
        for (int tank = 0; tank < TankCount; ++tank) columns.push_back(QString::number(tank));
        return columns;
    }
    case ScenarioTable::Deadline:
        return {QStringLiteral("TankNum"), QStringLiteral("Hr"), QStringLiteral("Min"), QStringLiteral("ExpectAmt")};
    case ScenarioTable::Sorttable:
        return {QStringLiteral("head"), QStringLiteral("tail"), QStringLiteral("sorta")};
    }
    return {};
}

}  // namespace kestu::dbdetail
