#pragma once

#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "engine/result.h"
#include "trials/file_sink.h"

namespace kestu::ctl {

// What a command accepts besides --help.
struct ArgRules {
    std::vector<std::string> positionals;  // names as the usage line shows them, e.g. "DB"
    std::size_t requiredPositionals = 0;   // the first ones are required, the rest optional
    std::vector<std::string> valueOptions;  // "--out": takes a value ("--out F" or "--out=F")
    std::vector<std::string> flags;         // "--json": takes none
};

struct ParsedArgs {
    std::string command;   // the command's name, for messages
    std::string synopsis;  // its usage line, for messages
    std::vector<std::string> positionals;
    std::map<std::string, std::string> values;
    std::set<std::string> flags;
    bool help = false;

    bool Has(const std::string& flag) const { return flags.count(flag) > 0; }
    std::optional<std::string> Value(const std::string& option) const;
    // The i-th positional, or `fallback` when it was not given.
    std::string Positional(std::size_t i, const std::string& fallback = {}) const;
};

// Where a command writes: results to out, messages (and the progress bar) to err.
struct Console {
    std::ostream& out;
    std::ostream& err;
    bool showProgress = false;
    // Put in front of every output file's sink; tests use it to fail like a full disk.
    SinkWrapper outputSink;
};

struct Command {
    std::string name;
    std::string synopsis;  // after "usage: kestuctl "
    std::string summary;   // one line for the list of commands
    std::string details;   // the rest of --help, with an example
    ArgRules args;
    int (*run)(const ParsedArgs&, Console&);
};

// Splits the words after the command name by the command's ArgRules; the
// fault of a usage error says what is wrong.
Result<ParsedArgs> ParseArgs(const Command& command, const std::vector<std::string>& words);

// Messages are cut only where no path or line could still be going on.
inline constexpr std::size_t MessageLimit = 8192;

// Both print `what` with control bytes, byte-order marks and bytes that are
// not UTF-8 escaped as \xNN, as it may echo a file's text or an argument.
// Prints "kestuctl CMD: what" and the usage line; returns ExitUsage.
int UsageError(const ParsedArgs& args, Console& console, const std::string& what);
// Prints "kestuctl CMD: what"; returns ExitFailure.
int Failure(const ParsedArgs& args, Console& console, const std::string& what);

}  // namespace kestu::ctl
