#include "analysis/cell_text.h"

#include "analysis/csv.h"
#include "analysis/plain_number.h"

namespace kestu::analysis {

std::string CellText(const Cell& cell)
{
    if (const auto* whole = std::get_if<long long>(&cell)) return std::to_string(*whole);
    if (const auto* number = std::get_if<double>(&cell)) return PlainNumber(*number);
    if (const auto* text = std::get_if<std::string>(&cell)) return *text;
    return {};
}

std::string CellTableCsv(const CellTable& table)
{
    std::string text;
    AppendCsvRow(text, table.columns);
    for (const auto& row : table.rows) {
        std::vector<std::string> fields;
        for (const Cell& cell : row) fields.push_back(CellText(cell));
        AppendCsvRow(text, fields);
    }
    return text;
}

}  // namespace kestu::analysis
