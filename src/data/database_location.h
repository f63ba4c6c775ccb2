#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/result.h"

namespace kestu {

// A PostgreSQL server and database, as a URL names them:
// postgresql://USER@HOST[:PORT]/DBNAME[?key=value&...]. The options go to
// libpq as they are (sslmode=require, connect_timeout=5, ...). A password is
// never part of it: libpq finds one in ~/.pgpass or a service file.
struct ServerAddress {
    std::string user;
    std::string host;
    int port = 5432;
    std::string database;
    std::vector<std::pair<std::string, std::string>> options;
};

// Where a study's database is: an SQLite file (the path as given) or a server.
struct DatabaseLocation {
    std::string text;                     // as the user gave it
    std::optional<ServerAddress> server;  // none: an SQLite file at `text`

    bool IsServer() const { return server.has_value(); }
};

// True when the text is meant as a server URL (it starts with "postgresql://"
// or "postgres://"), whether or not it is a sound one.
bool LooksLikeServerUrl(const std::string& text);

// Reads a location. Anything that does not look like a server URL is a file
// path; a URL that is malformed, or that carries a password, is refused with
// a message saying what is wrong.
Result<DatabaseLocation> ParseDatabaseLocation(const std::string& text);

// A value as libpq's connection string takes it: in single quotes, with a
// backslash before every quote and backslash, so that no value (a computer
// named "pc dbname=other") can add or change a setting.
std::string LibpqQuoted(const std::string& value);

// Options as Qt's PostgreSQL driver takes them: "key='value';...". The
// driver turns each ';' into a space and appends the text to its own
// connection string; a ';' inside a quoted value becomes a space there too,
// which changes that value but never adds a setting.
std::string LibpqOptionsText(const std::vector<std::pair<std::string, std::string>>& options);

// The URL's own libpq options, as LibpqOptionsText writes them.
std::string ConnectOptionsText(const ServerAddress& server);

// A location as messages show it: nothing of a password, control bytes escaped.
std::string ShownLocation(const std::string& text);

}  // namespace kestu
