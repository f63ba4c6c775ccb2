#include "data/database_location.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>

#include "trials/message_text.h"

namespace kestu {

namespace {

constexpr std::array<std::string_view, 2> Schemes = {"postgresql://", "postgres://"};

// The libpq options a study URL may carry; anything else (a host or a
// password slipped in as an option) is refused.
constexpr std::array<std::string_view, 7> KnownOptions = {"sslmode",  "sslrootcert",     "sslcert",
                                                          "sslkey",   "connect_timeout", "application_name",
                                                          "target_session_attrs"};

bool IsNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '.';
}

bool IsName(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), IsNameChar);
}

bool IsOptionValue(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return IsNameChar(c) || c == '/'; });
}

// The URL as a message may show it: a password put in by mistake is hidden,
// control bytes are escaped.
std::string Shown(const std::string& text)
{
    std::string shown = text;
    const std::size_t start = shown.find("://") + 3;
    const std::size_t at = shown.find('@', start);
    const std::size_t colon = shown.find(':', start);
    if (at != std::string::npos && colon < at) shown.replace(colon + 1, at - colon - 1, "***");
    return ForMessage(shown, 300);
}

Result<DatabaseLocation> Refuse(const std::string& text, const std::string& why)
{
    return Result<DatabaseLocation>::Fail("The database URL " + Shown(text) + " " + why);
}

std::optional<std::string> ReadOptions(std::string_view query, ServerAddress& server)
{
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view{} : query.substr(amp + 1);
        const std::size_t eq = pair.find('=');
        if (eq == std::string_view::npos) return "has an option without a value: \"" + std::string(pair) + "\"";
        const std::string key(pair.substr(0, eq));
        const std::string value(pair.substr(eq + 1));
        if (std::find(KnownOptions.begin(), KnownOptions.end(), key) == KnownOptions.end())
            return "has an option Kestu does not pass on: \"" + key + "\"";
        if (!IsOptionValue(value)) return "has an option with an unusable value: \"" + key + "\"";
        server.options.emplace_back(key, value);
    }
    return std::nullopt;
}

}  // namespace

bool LooksLikeServerUrl(const std::string& text)
{
    return std::any_of(Schemes.begin(), Schemes.end(), [&](std::string_view s) { return text.rfind(s, 0) == 0; });
}

Result<DatabaseLocation> ParseDatabaseLocation(const std::string& text)
{
    if (!LooksLikeServerUrl(text)) {
        if (text.empty()) return Result<DatabaseLocation>::Fail("No database is named.");
        return DatabaseLocation{text, std::nullopt};
    }
    std::string_view rest(text);
    rest.remove_prefix(rest.find("://") + 3);

    ServerAddress server;
    const std::size_t at = rest.find('@');
    if (at == std::string_view::npos) return Refuse(text, "names no user (postgresql://USER@HOST/DBNAME)");
    const std::string_view user = rest.substr(0, at);
    if (user.find(':') != std::string_view::npos)
        return Refuse(text, "holds a password; Kestu never takes one there: put it in ~/.pgpass");
    if (!IsName(user)) return Refuse(text, "has no usable user name");
    server.user = std::string(user);
    rest.remove_prefix(at + 1);

    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return Refuse(text, "names no database (postgresql://USER@HOST/DBNAME)");
    std::string_view hostPort = rest.substr(0, slash);
    rest.remove_prefix(slash + 1);
    if (const std::size_t colon = hostPort.rfind(':'); colon != std::string_view::npos) {
        const std::string_view port = hostPort.substr(colon + 1);
        int value = 0;
        const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (ec != std::errc() || end != port.data() + port.size() || value < 1 || value > 65535)
            return Refuse(text, "has a port that is not a number 1..65535");
        server.port = value;
        hostPort = hostPort.substr(0, colon);
    }
    if (!IsName(hostPort)) return Refuse(text, "has no usable host name");
    server.host = std::string(hostPort);

    const std::size_t question = rest.find('?');
    const std::string_view database = rest.substr(0, question);
    if (!IsName(database)) return Refuse(text, "has no usable database name");
    server.database = std::string(database);
    if (question != std::string_view::npos) {
        if (auto problem = ReadOptions(rest.substr(question + 1), server)) return Refuse(text, *problem);
    }
    return DatabaseLocation{text, std::move(server)};
}

std::string ConnectOptionsText(const ServerAddress& server)
{
    std::string text;
    for (const auto& [key, value] : server.options) {
        if (!text.empty()) text += ';';
        text += key + "=" + value;
    }
    return text;
}

}  // namespace kestu
