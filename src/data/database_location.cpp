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

std::string LowerAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool IsName(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), IsNameChar);
}

bool IsOptionValue(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return IsNameChar(c) || c == '/'; });
}

// The URL as a message may show it: control bytes are escaped, and nothing
// of a password put in by mistake is shown, whatever it holds. The user part
// ends at the last "@" (a password may hold "@" and "/"); without one, what
// follows a colon that is not a port may be a password too. A "password="
// option's value is hidden up to the next "&".
std::string Shown(const std::string& text)
{
    std::string shown = text;
    const std::size_t scheme = shown.find("://");
    const std::size_t start = scheme == std::string::npos ? 0 : scheme + 3;
    const std::size_t at = shown.rfind('@');
    const std::size_t colon = shown.find(':', start);
    if (at != std::string::npos && at > start && colon < at) {
        shown.replace(colon + 1, at - colon - 1, "***");
    } else if (at == std::string::npos && colon != std::string::npos) {
        const std::size_t end = std::min(shown.find('/', colon), shown.size());
        const std::string after = shown.substr(colon + 1, end - colon - 1);
        if (after.empty() || !std::all_of(after.begin(), after.end(), [](char c) { return c >= '0' && c <= '9'; }))
            shown.replace(colon + 1, end - colon - 1, "***");
    }
    for (std::size_t key = 0; (key = LowerAscii(shown).find("password=", key)) != std::string::npos;) {
        const std::size_t value = key + 9;
        const std::size_t end = std::min(shown.find('&', value), shown.size());
        shown.replace(value, end - value, "***");
        key = value + 3;
    }
    return ForMessage(shown, 300);
}

Result<DatabaseLocation> Refuse(const std::string& text, const std::string& why)
{
    return Result<DatabaseLocation>::Fail("The database URL " + Shown(text) + " " + why);
}

// The options of a URL's query, or what is wrong with them.
Result<std::vector<std::pair<std::string, std::string>>> ReadOptions(std::string_view query)
{
    using Outcome = Result<std::vector<std::pair<std::string, std::string>>>;
    std::vector<std::pair<std::string, std::string>> options;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view{} : query.substr(amp + 1);
        const std::size_t eq = pair.find('=');
        if (eq == std::string_view::npos)
            return Outcome::Fail("has an option without a value: \"" + std::string(pair) + "\"");
        const std::string key(pair.substr(0, eq));
        const std::string value(pair.substr(eq + 1));
        if (std::find(KnownOptions.begin(), KnownOptions.end(), key) == KnownOptions.end())
            return Outcome::Fail("has an option Kestu does not pass on: \"" + key + "\"");
        if (!IsOptionValue(value)) return Outcome::Fail("has an option with an unusable value: \"" + key + "\"");
        options.emplace_back(key, value);
    }
    return options;
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
        auto options = ReadOptions(rest.substr(question + 1));
        if (!options) return Refuse(text, options.error());
        server.options = std::move(options).value();
    }
    return DatabaseLocation{text, std::move(server)};
}

std::string LibpqQuoted(const std::string& value)
{
    std::string quoted = "'";
    for (const char c : value) {
        if (c == '\\' || c == '\'') quoted += '\\';
        quoted += c;
    }
    return quoted + "'";
}

std::string LibpqOptionsText(const std::vector<std::pair<std::string, std::string>>& options)
{
    std::string text;
    for (const auto& [key, value] : options) {
        if (!text.empty()) text += ';';
        text += key + "=" + LibpqQuoted(value);
    }
    return text;
}

std::string ConnectOptionsText(const ServerAddress& server) { return LibpqOptionsText(server.options); }

std::string ShownLocation(const std::string& text) { return Shown(text); }

}  // namespace kestu
