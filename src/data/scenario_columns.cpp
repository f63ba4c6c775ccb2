// The scenario tables' columns, named in one place for writing them and for
// reading them unchecked: the scenario rules' own column lists.

#include "data/db_internal.h"
#include "scenario/scenario_rules.h"

namespace kestu::dbdetail {

std::vector<QString> ScenarioColumns(ScenarioTable table)
{
    const TableRule& rule = table == ScenarioTable::Exogenous  ? ArrivalTableRule()
                            : table == ScenarioTable::Deadline ? DeadlineTableRule()
                                                               : OutletTableRule();
    std::vector<QString> columns;
    for (const ColumnRule& column : rule.columns) columns.push_back(Q(column.name));
    return columns;
}

}  // namespace kestu::dbdetail
