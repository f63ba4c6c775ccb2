#include "kestuctl/command_line.h"

#include <algorithm>

#include "kestuctl/command.h"
#include "trials/message_text.h"

namespace kestu::ctl {

namespace {

bool Contains(const std::vector<std::string>& list, const std::string& word)
{
    return std::find(list.begin(), list.end(), word) != list.end();
}

}  // namespace

std::optional<std::string> ParsedArgs::Value(const std::string& option) const
{
    const auto found = values.find(option);
    if (found == values.end()) return std::nullopt;
    return found->second;
}

std::string ParsedArgs::Positional(std::size_t i, const std::string& fallback) const
{
    return i < positionals.size() ? positionals[i] : fallback;
}

std::optional<ParsedArgs> ParseArgs(const Command& command, const std::vector<std::string>& words, std::string& error)
{
    ParsedArgs parsed;
    parsed.command = command.name;
    parsed.synopsis = command.synopsis;
    const ArgRules& rules = command.args;
    bool optionsEnded = false;  // after "--" every word is a positional (a file named "-x")

    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            parsed.positionals.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        if (word == "--help" || word == "-h") {
            parsed.help = true;
            continue;
        }
        const auto equals = word.find('=');
        const std::string name = word.substr(0, equals);
        if (Contains(rules.flags, name)) {
            if (equals != std::string::npos) {
                error = name + " takes no value";
                return std::nullopt;
            }
            parsed.flags.insert(name);
        } else if (Contains(rules.valueOptions, name)) {
            std::string value;
            if (equals != std::string::npos) {
                value = word.substr(equals + 1);
            } else if (i + 1 < words.size()) {
                value = words[++i];
            } else {
                error = name + " needs a value";
                return std::nullopt;
            }
            if (parsed.values.count(name)) {
                error = name + " is given twice";
                return std::nullopt;
            }
            parsed.values[name] = value;
        } else {
            error = "unknown option " + name;
            return std::nullopt;
        }
    }
    if (parsed.help) return parsed;  // --help wins over anything missing

    if (parsed.positionals.size() < rules.requiredPositionals) {
        error = "missing " + rules.positionals[parsed.positionals.size()];
        return std::nullopt;
    }
    if (parsed.positionals.size() > rules.positionals.size()) {
        error = "unexpected argument \"" + parsed.positionals[rules.positionals.size()] + "\"";
        return std::nullopt;
    }
    return parsed;
}

int UsageError(const ParsedArgs& args, Console& console, const std::string& what)
{
    console.err << "kestuctl " << args.command << ": " << ForMessage(what, MessageLimit) << "\n"
                << "usage: kestuctl " << args.synopsis << "\n"
                << "(kestuctl " << args.command << " --help tells more)\n";
    return ExitUsage;
}

int Failure(const ParsedArgs& args, Console& console, const std::string& what)
{
    console.err << "kestuctl " << args.command << ": " << ForMessage(what, MessageLimit) << "\n";
    return ExitFailure;
}

}  // namespace kestu::ctl
