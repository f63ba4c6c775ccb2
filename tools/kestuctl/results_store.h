#pragma once

#include <optional>
#include <string>
#include <vector>

#include "data/db_result.h"
#include "kestuctl/sql_connection.h"

namespace kestu::ctl {

enum class ResultTable { Participants, Experiments };  // "UserData", "Experiments"

// Every column and row of the table, in stored order.
DbResult<CellTable> ReadResultTable(const std::string& dbPath, ResultTable table);

// What rescoring needs of one "Experiments" row. A cell that is empty (or
// holds no number) reads as nothing.
struct ExperimentRow {
    long long rowid = 0;
    std::optional<long long> Experiment;
    std::string EndTime;
    std::optional<double> MissedBuckets, BusyTime, SweepTime, IdleTime;
};

// The participant's rows of "Experiments" in stored order.
DbResult<std::vector<ExperimentRow>> ReadExperimentRows(const std::string& dbPath, const std::string& userId);

}  // namespace kestu::ctl
