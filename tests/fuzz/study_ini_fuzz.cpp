// A study folder's kestu.ini and the database URL it names. The input is read
// both as a whole kestu.ini and as a URL on its own. The properties are in
// README.md.
#include <cstdint>
#include <algorithm>
#include <string>
#include <string_view>

#include "data/database_location.h"
#include "data/study_ini.h"
#include "fuzz_check.h"

namespace {

using namespace kestu::fuzz;

const std::string IniName = "/study/kestu.ini";

std::size_t Lines(std::string_view text)
{
    std::size_t lines = 1;
    for (const char c : text) lines += c == '\n';
    return lines;
}

// The URL written again from its parts.
std::string Written(const kestu::ServerAddress& server)
{
    std::string url = "postgresql://" + server.user + "@" + server.host + ":" + std::to_string(server.port) + "/" +
                      server.database;
    for (std::size_t i = 0; i < server.options.size(); ++i)
        url += (i ? "&" : "?") + server.options[i].first + "=" + server.options[i].second;
    return url;
}

bool SameServer(const kestu::ServerAddress& a, const kestu::ServerAddress& b)
{
    return a.user == b.user && a.host == b.host && a.port == b.port && a.database == b.database &&
           a.options == b.options;
}

// A server URL that is accepted has sound parts, reads the same written again
// from them, and is accepted in a kestu.ini as the same server.
void CheckUrl(const std::string& text)
{
    const auto location = kestu::ParseDatabaseLocation(text);
    if (!location) {
        FUZZ_CHECK(!location.error().empty(), "ParseDatabaseLocation(" + Quote(text) + ") refused it without a reason");
        return;
    }
    FUZZ_CHECK(location.value().text == text, "ParseDatabaseLocation(" + Quote(text) + ") changed the text");
    FUZZ_CHECK(location.value().IsServer() == kestu::LooksLikeServerUrl(text),
               Quote(text) + " read as a server: " + std::to_string(location.value().IsServer()));
    if (!location.value().IsServer()) return;
    const kestu::ServerAddress& server = *location.value().server;
    FUZZ_CHECK(!server.user.empty() && !server.host.empty() && !server.database.empty(),
               Quote(text) + " accepted with an empty user, host or database");
    FUZZ_CHECK(server.port >= 1 && server.port <= 65535, Quote(text) + " port " + std::to_string(server.port));
    const std::string options = kestu::ConnectOptionsText(server);
    // Each option is key='value' with nothing in the value that could end it
    // early or start another option in libpq's text.
    for (std::size_t at = 0; at < options.size();) {
        const std::size_t end = std::min(options.find(';', at), options.size());
        const std::string option = options.substr(at, end - at);
        const std::size_t eq = option.find("='");
        FUZZ_CHECK(eq != std::string::npos && eq > 0 && option.size() >= eq + 3 && option.back() == '\'' &&
                       option.substr(eq + 2, option.size() - eq - 3).find_first_of("'\\ ;") == std::string::npos,
                   Quote(text) + " gives options " + Quote(options));
        at = end + 1;
    }
    const std::string again = Written(server);
    const auto reread = kestu::ParseDatabaseLocation(again);
    FUZZ_CHECK(reread && reread.value().IsServer() && SameServer(*reread.value().server, server),
               Quote(text) + " written again as " + Quote(again) + " reads otherwise: " + reread.error());

    const auto ini = kestu::ReadStudyIni("[database]\nurl=" + text + "\n", IniName);
    FUZZ_CHECK(ini && ini.value().database.text == text,
               "the server URL " + Quote(text) + " is refused in a kestu.ini: " + ini.error());
}

// Any kestu.ini: a refusal names the file and a line that exists, in one line
// of text; an acceptance names a server that the URL reader accepts alone,
// and the same file written plainly reads the same.
void CheckIni(std::string_view text)
{
    const auto ini = kestu::ReadStudyIni(text, IniName);
    if (!ini) {
        const kestu::Fault& fault = ini.fault();
        FUZZ_CHECK(fault.file == IniName, "the fault names " + Quote(fault.file));
        FUZZ_CHECK(!fault.message.empty(), "a refusal without a reason");
        FUZZ_CHECK(!fault.line || (*fault.line >= 1 && *fault.line <= Lines(text)),
                   "line " + std::to_string(*fault.line) + " of a file of " + std::to_string(Lines(text)) + " lines");
        const std::string problem = kestu::StudyIniProblem(fault);
        for (const char c : problem)
            FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F, "the problem " + Quote(problem) +
                                                                                " is not one line of text");
        return;
    }
    const kestu::DatabaseLocation& database = ini.value().database;
    FUZZ_CHECK(database.IsServer(), "a kestu.ini accepted naming the file " + Quote(database.text));
    FUZZ_CHECK(text.find("url") != std::string_view::npos && text.find(database.text) != std::string_view::npos,
               "the url " + Quote(database.text) + " is not in the file");
    const auto alone = kestu::ParseDatabaseLocation(database.text);
    FUZZ_CHECK(alone && alone.value().IsServer() && SameServer(*alone.value().server, *database.server),
               Quote(database.text) + " reads otherwise alone: " + alone.error());
    std::string plain = "[database]\nurl=" + database.text + "\n";
    if (ini.value().lslMarkers) plain += std::string("[markers]\nlsl=") + (*ini.value().lslMarkers ? "on" : "off") + "\n";
    if (ini.value().seatName || ini.value().seatReports) plain += "[seat]\n";
    if (ini.value().seatName) plain += "name=" + *ini.value().seatName + "\n";
    if (ini.value().seatReports) plain += std::string("report=") + (*ini.value().seatReports ? "on" : "off") + "\n";
    const auto again = kestu::ReadStudyIni(plain, IniName);
    FUZZ_CHECK(again && again.value().database.text == database.text &&
                   again.value().lslMarkers == ini.value().lslMarkers &&
                   again.value().seatName == ini.value().seatName && again.value().seatReports == ini.value().seatReports,
               "written plainly as " + Quote(plain) + " it reads otherwise: " + again.error());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckIni(text);
    CheckUrl(text);
    return 0;
}
