#pragma once

#include <string>

#include "data/db_values.h"

namespace kestu::ctl {

// A cell as CSV text: "" for NULL, whole numbers in decimal, other numbers
// as plain decimals that read back exactly, text as stored.
std::string CellText(const Cell& cell);

}  // namespace kestu::ctl
