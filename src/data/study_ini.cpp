#include "data/study_ini.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "trials/message_text.h"

namespace kestu {

namespace {

constexpr std::string_view Bom = "\xEF\xBB\xBF";
constexpr std::size_t MaxBytes = 64 * 1024;
constexpr std::string_view UrlForm = "url=postgresql://USER@HOST/DBNAME";
constexpr std::size_t MaxSeatName = 200;  // as long as a seat's row takes

// The length of the UTF-8 sequence starting at text[at], or 0 when the bytes
// there are not one (overlong forms, surrogates and code points past U+10FFFF
// included).
std::size_t Utf8Length(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(at);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    std::uint32_t code = 0;
    std::uint32_t least = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, code = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, code = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, code = lead & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - at < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

std::string_view Trimmed(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

std::string Lower(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return lower;
}

std::string Quoted(std::string_view text) { return "\"" + ForMessage(text, 120) + "\""; }

class Reader {
public:
    explicit Reader(const std::string& file) : file_(file) {}

    Result<StudyIni> Read(std::string_view text)
    {
        if (text.size() > MaxBytes)
            return Refuse({}, "is larger than " + std::to_string(MaxBytes) + " bytes; it is not a kestu.ini");
        if (text.substr(0, 2) == "\xFF\xFE" || text.substr(0, 2) == "\xFE\xFF")
            return Refuse(1, "is UTF-16 text; save it as UTF-8");
        if (text.substr(0, Bom.size()) == Bom) text.remove_prefix(Bom.size());
        if (auto fault = CheckBytes(text)) return *fault;

        std::size_t number = 0;
        while (!text.empty()) {
            ++number;
            const std::size_t end = text.find('\n');
            std::string_view line = text.substr(0, end);
            text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (auto fault = ReadLine(Trimmed(line), number)) return *fault;
        }
        if (!urlLine_) {
            if (!databaseLine_)
                return Refuse({}, "names no database: it needs a section [database] with a line " +
                                      std::string(UrlForm));
            return Refuse(databaseLine_, "section [database] names no database: it needs a line " +
                                             std::string(UrlForm));
        }
        return ini_;
    }

private:
    Fault Refuse(std::optional<std::size_t> line, std::string reason) const
    {
        return Fault{std::move(reason), file_, line, {}};
    }

    // Bytes that no line of the file may hold, found before anything is read
    // so that the reason is the real one (UTF-16 shows as NUL bytes).
    std::optional<Fault> CheckBytes(std::string_view text) const
    {
        std::size_t line = 1;
        for (std::size_t at = 0; at < text.size();) {
            const char c = text[at];
            if (c == '\0') {
                const bool wide = (at + 1 < text.size() && text[at + 1] != '\0') || (at > 0 && text[at - 1] != '\0');
                return Refuse(line, wide ? "holds NUL bytes: is it UTF-16 text? save it as UTF-8"
                                         : "holds a NUL byte");
            }
            const std::size_t length = Utf8Length(text, at);
            if (length == 0) return Refuse(line, "is not UTF-8 text; save it as UTF-8");
            if (c == '\n') ++line;
            at += length;
        }
        return std::nullopt;
    }

    std::optional<Fault> ReadLine(std::string_view line, std::size_t number)
    {
        if (line.empty() || line.front() == ';' || line.front() == '#') return std::nullopt;
        if (line.front() == '[') return ReadSection(line, number);
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            return Refuse(number, Quoted(line) + " is neither a [section] nor a line key=value");
        const std::string_view key = Trimmed(line.substr(0, eq));
        const std::string_view value = Trimmed(line.substr(eq + 1));
        switch (section_) {
        case Section::None:
            return Refuse(number, "the line " + Quoted(line) + " comes before any section; it belongs under [database]");
        case Section::Database: return ReadDatabaseKey(key, value, number);
        case Section::Markers: return ReadMarkersKey(key, value, number);
        case Section::Seat: return ReadSeatKey(key, value, number);
        }
        return std::nullopt;
    }

    std::optional<Fault> ReadSection(std::string_view line, std::size_t number)
    {
        if (line.back() != ']') return Refuse(number, "the section " + Quoted(line) + " has no closing ]");
        const std::string_view name = line.substr(1, line.size() - 2);
        std::size_t* seen = nullptr;
        if (name == "database") {
            section_ = Section::Database;
            seen = &databaseLine_;
        } else if (name == "markers") {
            section_ = Section::Markers;
            seen = &markersLine_;
        } else if (name == "seat") {
            section_ = Section::Seat;
            seen = &seatLine_;
        } else if (const std::string lower = Lower(Trimmed(name));
                   lower == "database" || lower == "markers" || lower == "seat") {
            return Refuse(number, "the section " + Quoted(line) + " must be written [" + lower + "]");
        } else {
            return Refuse(number,
                          "the section " + Quoted(line) + " is not one Kestu knows ([database], [markers], [seat])");
        }
        if (*seen)
            return Refuse(number, "the section " + Quoted(line) + " appears twice (first on line " +
                                      std::to_string(*seen) + ")");
        *seen = number;
        return std::nullopt;
    }

    std::optional<Fault> ReadDatabaseKey(std::string_view key, std::string_view value, std::size_t number)
    {
        if (key != "url") {
            if (Lower(key) == "url") return Refuse(number, "the key " + Quoted(key) + " must be written url");
            return Refuse(number, "the key " + Quoted(key) + " is not one [database] takes (only url)");
        }
        if (urlLine_)
            return Refuse(number, "a second url (the first is on line " + std::to_string(urlLine_) +
                                      "); the database must be named once");
        if (value.empty()) return Refuse(number, "the url is empty; it must read " + std::string(UrlForm));
        if (value.back() == ',') return Refuse(number, "the url " + Quoted(value) + " ends with a comma");
        if (value.front() == '"' || value.front() == '\'')
            return Refuse(number, "the url " + Quoted(value) + " is written in quotes; write it without them");
        const std::string url(value);
        if (!LooksLikeServerUrl(url))
            return Refuse(number, "the url " + Quoted(value) + " names no server; it must read " + std::string(UrlForm) +
                                      " (without kestu.ini the study folder's KESTU.MDB is used)");
        auto location = ParseDatabaseLocation(url);
        // The refusal quotes parts of the url; whatever they hold, it stays one line.
        if (!location) return Refuse(number, ForMessage(location.error(), 600));
        ini_.database = std::move(location).value();
        urlLine_ = number;
        return std::nullopt;
    }

    std::optional<Fault> ReadMarkersKey(std::string_view key, std::string_view value, std::size_t number)
    {
        if (key != "lsl") return Refuse(number, "the key " + Quoted(key) + " is not one [markers] takes (only lsl)");
        if (ini_.lslMarkers)
            return Refuse(number, "a second lsl line; it must be given once");
        if (value != "on" && value != "off")
            return Refuse(number, "lsl is " + Quoted(value) + "; it must be on or off");
        ini_.lslMarkers = value == "on";
        return std::nullopt;
    }

    std::optional<Fault> ReadSeatKey(std::string_view key, std::string_view value, std::size_t number)
    {
        if (key == "report") {
            if (ini_.seatReports) return Refuse(number, "a second report line; it must be given once");
            if (value != "on" && value != "off")
                return Refuse(number, "report is " + Quoted(value) + "; it must be on or off");
            ini_.seatReports = value == "on";
            return std::nullopt;
        }
        if (key != "name")
            return Refuse(number, "the key " + Quoted(key) + " is not one [seat] takes (name, report)");
        if (ini_.seatName) return Refuse(number, "a second name line; the seat must be named once");
        if (value.empty() || value.size() > MaxSeatName)
            return Refuse(number, "the seat's name must be 1 to " + std::to_string(MaxSeatName) + " bytes long");
        for (const char c : value)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                return Refuse(number, "the seat's name " + Quoted(value) + " holds a control character");
        ini_.seatName = std::string(value);
        return std::nullopt;
    }

    enum class Section { None, Database, Markers, Seat };

    const std::string& file_;
    Section section_ = Section::None;
    std::size_t databaseLine_ = 0;
    std::size_t markersLine_ = 0;
    std::size_t seatLine_ = 0;
    std::size_t urlLine_ = 0;
    StudyIni ini_;
};

}  // namespace

Result<StudyIni> ReadStudyIni(std::string_view text, const std::string& file) { return Reader(file).Read(text); }

std::string StudyIniProblem(const Fault& fault)
{
    std::string text = ForMessage(fault.file, 300);
    if (fault.line) text += ":" + std::to_string(*fault.line);
    return text + ": " + fault.message;
}

}  // namespace kestu
