#pragma once

#include <string>

#include "data/db_values.h"

namespace kestu::analysis {

// A cell as CSV text: "" for NULL, whole numbers in decimal, other numbers
// as plain decimals that read back exactly, text as stored.
std::string CellText(const Cell& cell);

// A whole table as CSV: a header row with the column names, then its rows.
std::string CellTableCsv(const CellTable& table);

}  // namespace kestu::analysis
