#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/result.h"

namespace kestu::analysis {

// Writes one CSV row (RFC 4180): fields joined by commas, a field holding a
// comma, a double quote, CR or LF quoted with its quotes doubled; CR LF at the end.
void AppendCsvRow(std::string& out, const std::vector<std::string>& fields);

// One row read from a CSV file and the line it starts on (1-based).
struct CsvRow {
    int line = 0;
    std::vector<std::string> fields;
};

// Reads CSV as spreadsheets write it: CR LF or LF line ends, quoted fields
// that may hold commas, doubled quotes and line breaks, a UTF-8 byte-order mark
// at the start. Blank lines are skipped. Where the text stops being valid CSV
// the fault says what is wrong, with the line (its `line`) and no file name.
Result<std::vector<CsvRow>> ReadCsv(std::string_view text);

}  // namespace kestu::analysis
