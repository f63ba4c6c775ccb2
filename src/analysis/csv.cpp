#include "analysis/csv.h"

namespace kestu::analysis {

void AppendCsvRow(std::string& out, const std::vector<std::string>& fields)
{
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) out += ',';
        const std::string& field = fields[i];
        if (field.find_first_of(",\"\r\n") == std::string::npos) {
            out += field;
            continue;
        }
        out += '"';
        for (char c : field) {
            if (c == '"') out += '"';
            out += c;
        }
        out += '"';
    }
    out += "\r\n";
}

namespace {

Fault CsvFault(int line, std::string what) { return Fault{std::move(what), {}, static_cast<std::size_t>(line), {}}; }

}  // namespace

Result<std::vector<CsvRow>> ReadCsv(std::string_view text)
{
    std::vector<CsvRow> rows;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);

    int line = 1;
    std::size_t i = 0;
    while (i < text.size()) {
        CsvRow row;
        row.line = line;
        std::string field;
        bool rowEnded = false;
        while (!rowEnded) {
            if (i < text.size() && text[i] == '"') {
                const int opened = line;
                ++i;
                for (;;) {
                    if (i >= text.size()) {
                        return CsvFault(opened, "a quoted field is never closed");
                    }
                    const char c = text[i++];
                    if (c == '"') {
                        if (i < text.size() && text[i] == '"') {
                            field += '"';
                            ++i;
                            continue;
                        }
                        break;
                    }
                    if (c == '\n') ++line;
                    field += c;
                }
                if (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') {
                    return CsvFault(line, "text after the closing quote of a field");
                }
            }
            while (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') field += text[i++];
            row.fields.push_back(std::move(field));
            field.clear();
            if (i < text.size() && text[i] == ',') {
                ++i;
                continue;
            }
            // End of the row: CR LF, LF, a lone CR, or the end of the text.
            if (i < text.size() && text[i] == '\r') ++i;
            if (i < text.size() && text[i] == '\n') ++i;
            ++line;
            rowEnded = true;
        }
        const bool blank = row.fields.size() == 1 && row.fields[0].empty();
        if (!blank) rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace kestu::analysis
