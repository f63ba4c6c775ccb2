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

namespace {

// Takes the option `words[i]` (moving i past its value when it has one) into `parsed`.
Status TakeOption(const ArgRules& rules, const std::vector<std::string>& words, std::size_t& i, ParsedArgs& parsed)
{
    const std::string& word = words[i];
    const auto equals = word.find('=');
    const std::string name = word.substr(0, equals);
    if (Contains(rules.flags, name)) {
        if (equals != std::string::npos) return Status::Fail(name + " takes no value");
        parsed.flags.insert(name);
        return Ok();
    }
    if (!Contains(rules.valueOptions, name)) return Status::Fail("unknown option " + name);
    std::string value;
    if (equals != std::string::npos) {
        value = word.substr(equals + 1);
    } else if (i + 1 < words.size()) {
        value = words[++i];
    } else {
        return Status::Fail(name + " needs a value");
    }
    if (parsed.values.count(name)) return Status::Fail(name + " is given twice");
    parsed.values[name] = value;
    return Ok();
}

}  // namespace

Result<ParsedArgs> ParseArgs(const Command& command, const std::vector<std::string>& words)
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
        } else if (word == "--") {
            optionsEnded = true;
        } else if (word == "--help" || word == "-h") {
            parsed.help = true;
        } else if (Status taken = TakeOption(rules, words, i, parsed); !taken) {
            return taken.fault();
        }
    }
    if (parsed.help) return parsed;  // --help wins over anything missing

    if (parsed.positionals.size() < rules.requiredPositionals)
        return Result<ParsedArgs>::Fail("missing " + rules.positionals[parsed.positionals.size()]);
    if (parsed.positionals.size() > rules.positionals.size())
        return Result<ParsedArgs>::Fail("unexpected argument \"" + parsed.positionals[rules.positionals.size()] + "\"");
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
