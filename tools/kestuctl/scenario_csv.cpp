// Reading and checking the scenario's CSV files against the scenario rules
// (scenario/scenario_rules.h), the same rules and words as the database read,
// so an import never leaves the database with a scenario the program would
// refuse. All problems are collected so the experimenter can mend the files
// in one go.
#include "kestuctl/scenario_csv.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "analysis/csv.h"
#include "scenario/scenario_rules.h"
#include "trials/file_sink.h"
#include "trials/message_text.h"

namespace kestu::ctl {

using namespace analysis;

namespace {

const TableRule& RuleOf(ScenarioTable table)
{
    switch (table) {
    case ScenarioTable::Exogenous:
        return ArrivalTableRule();
    case ScenarioTable::Deadline:
        return DeadlineTableRule();
    case ScenarioTable::Sorttable:
        break;
    }
    return OutletTableRule();
}

// The rows whose every cell passed: their numbers in the column order of the
// table's rule, and the line each came from.
struct NumberRows {
    std::vector<std::vector<double>> numbers;
    std::vector<int> lines;
};

struct Reporter {
    std::string file;
    std::vector<std::string>& problems;
    void At(int line, const std::string& what) const { problems.push_back(file + ":" + std::to_string(line) + ": " + what); }
    void Whole(const std::string& what) const { problems.push_back(file + ": " + what); }
};

// A cell or a header as the message shows it: quoted, with control bytes
// and a byte-order mark escaped, and a long one cut.
std::string Shown(std::string_view text) { return ForMessage(text, ShownCellBytes); }
std::string Quoted(const std::string& text) { return "\"" + Shown(text) + "\""; }
std::string Column(const std::string& name) { return "column " + Quoted(name) + ": "; }

// Where each of the table's columns stands in the header (which must name
// exactly the table's columns, in any order); nothing when the header is wrong.
std::optional<std::map<std::string, std::size_t>> HeaderPositions(const CsvRow& header,
                                                                  const std::vector<ColumnRule>& rules,
                                                                  const Reporter& report)
{
    std::map<std::string, std::size_t> position;  // column name -> field index
    bool headerOk = true;
    for (std::size_t f = 0; f < header.fields.size(); ++f) {
        std::string name = header.fields[f];
        name.erase(0, name.find_first_not_of(" \t"));
        name.erase(name.find_last_not_of(" \t") + 1);
        const bool known = std::any_of(rules.begin(), rules.end(), [&](const ColumnRule& r) { return r.name == name; });
        if (!known) {
            report.At(header.line, "unknown column " + Quoted(name));
            headerOk = false;
        } else if (!position.emplace(name, f).second) {
            report.At(header.line, "column " + Quoted(name) + " appears twice");
            headerOk = false;
        }
    }
    for (const ColumnRule& rule : rules) {
        if (!position.count(rule.name)) {
            report.At(header.line, "column " + Quoted(rule.name) + " is missing");
            headerOk = false;
        }
    }
    if (!headerOk) return std::nullopt;
    return position;
}

// Reads one file: a header, then rows whose cells are checked against their
// column's rule; every fault is reported.
NumberRows ReadTableFile(const std::string& path, const TableRule& table, const Reporter& report)
{
    const auto content = ReadWholeFile(path);
    if (!content) {
        report.Whole("cannot be read");
        return {};
    }
    const auto read = ReadCsv(content.value());
    if (!read) {
        report.At(static_cast<int>(read.fault().line.value_or(0)), read.error());
        return {};
    }
    const std::vector<CsvRow>& csvRows = read.value();
    if (csvRows.empty()) {
        report.Whole("is empty; it needs a header row and at least one row below it");
        return {};
    }
    const std::vector<ColumnRule>& rules = table.columns;
    const CsvRow& header = csvRows.front();
    auto position = HeaderPositions(header, rules, report);
    if (!position) return {};
    if (auto empty = EmptyTableFault(table, csvRows.size() - 1)) {
        report.Whole(empty->what);
        return {};
    }

    NumberRows rows;
    for (std::size_t r = 1; r < csvRows.size(); ++r) {
        const CsvRow& row = csvRows[r];
        if (row.fields.size() != header.fields.size()) {
            report.At(row.line, std::to_string(row.fields.size()) + " fields where the header has " +
                                    std::to_string(header.fields.size()));
            continue;
        }
        std::vector<double> numbers(rules.size());
        bool rowOk = true;
        for (std::size_t c = 0; c < rules.size(); ++c) {
            const std::string& text = row.fields[(*position)[rules[c].name]];
            if (auto what = TextCellFault(rules[c], text, Shown, numbers[c])) {
                report.At(row.line, Column(rules[c].name) + *what);
                rowOk = false;
            }
        }
        if (rowOk) {
            rows.numbers.push_back(std::move(numbers));
            rows.lines.push_back(row.line);
        }
    }
    return rows;
}

// Turns the rows into the table's typed rows and reports every fault of the
// rules over rows at the line of its row.
template <typename Row, typename FromNumbers, typename CheckRows>
void TakeRows(const NumberRows& rows, const Reporter& report, FromNumbers fromNumbers, CheckRows checkRows,
              std::vector<Row>& out)
{
    std::vector<Row> taken;
    for (const std::vector<double>& numbers : rows.numbers) taken.push_back(fromNumbers(numbers));
    std::vector<ScenarioFault> faults;
    checkRows(taken, faults);
    for (const ScenarioFault& fault : faults) {
        const int line = rows.lines.at(fault.row.value());
        report.At(line, (fault.column.empty() ? std::string() : Column(fault.column)) + fault.what);
    }
    out = std::move(taken);
}

}  // namespace

std::string ScenarioCsvName(ScenarioTable table) { return RuleOf(table).name + ".csv"; }

ScenarioCsv ReadScenarioCsv(const std::string& dir)
{
    ScenarioCsv result;
    for (ScenarioTable table : AllScenarioTables) {
        const std::string path = (std::filesystem::path(dir) / ScenarioCsvName(table)).string();
        const Reporter report{path, result.problems};
        const NumberRows rows = ReadTableFile(path, RuleOf(table), report);
        ScenarioTables& t = result.tables;
        switch (table) {
        case ScenarioTable::Exogenous:
            TakeRows(rows, report, ArrivalFromNumbers, CheckArrivalRows, t.exogenous);
            for (const ScenarioFault& note : ArrivalOrderNotes(t.exogenous))
                Reporter{path, result.notes}.At(rows.lines.at(note.row.value()), note.what);
            break;
        case ScenarioTable::Deadline:
            TakeRows(rows, report, DeadlineFromNumbers, CheckDeadlineRows, t.deadline);
            break;
        case ScenarioTable::Sorttable:
            TakeRows(rows, report, OutletFromNumbers, CheckOutletRows, t.sorttable);
            break;
        }
    }
    return result;
}

}  // namespace kestu::ctl
