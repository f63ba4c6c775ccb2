// kestuctl-docs: kestuctl's manual page and bash completion, written from
// the command table, so that every command (and every option it takes)
// appears in both as soon as it is in the table.
//
//   kestuctl-docs man FILE               the manual page kestuctl(1), in roff
//   kestuctl-docs bash-completion FILE   the bash completion of kestuctl
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "kestu_version.h"
#include "kestuctl/command.h"
#include "kestuctl/commands.h"

namespace {

using kestu::ctl::AllCommands;
using kestu::ctl::Command;

// Text as roff prints it: backslashes and minus signs escaped, and a line
// that would start with a control character kept as text.
std::string Roff(const std::string& text)
{
    std::string out;
    bool lineStart = true;
    for (const char c : text) {
        if (lineStart && (c == '.' || c == '\'')) out += "\\&";
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
        lineStart = c == '\n';
    }
    return out;
}

std::vector<std::string> Paragraphs(const std::string& text)
{
    std::vector<std::string> paragraphs;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\n\n", start);
        if (end == std::string::npos) end = text.size();
        std::string paragraph = text.substr(start, end - start);
        while (!paragraph.empty() && paragraph.back() == '\n') paragraph.pop_back();
        if (!paragraph.empty()) paragraphs.push_back(paragraph);
        start = end + 2;
    }
    return paragraphs;
}

bool StartsWith(const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; }

// The value an option takes as the synopsis shows it ("--out FILE" gives FILE).
std::string ValueName(const Command& command, const std::string& option)
{
    std::istringstream words(command.synopsis);
    std::string word;
    while (words >> word) {
        while (!word.empty() && word.front() == '[') word.erase(0, 1);
        if (word != option) continue;
        std::string value;
        if (!(words >> value)) break;
        while (!value.empty() && (value.back() == ']' || value.back() == '.')) value.pop_back();
        if (!value.empty() && !StartsWith(value, "--")) return value;
        break;
    }
    return "VALUE";
}

// One command's part of the page: its usage, what it does, its options and its example.
void ManCommand(const Command& command, std::ostream& out)
{
    out << ".SS \"" << Roff(command.name) << "\"\n"
        << ".B kestuctl\n" << Roff(command.synopsis) << "\n"
        << ".PP\n" << Roff(command.summary) << "\n";
    // Lines indented in the help (examples, tables) keep their lines and spaces.
    for (const std::string& paragraph : Paragraphs(command.details)) {
        out << ".PP\n";
        bool kept = false;
        std::istringstream lines(paragraph);
        std::string line;
        while (std::getline(lines, line)) {
            const bool indented = StartsWith(line, " ");
            if (indented != kept) out << (indented ? ".nf\n" : ".fi\n");
            kept = indented;
            out << Roff(line) << "\n";
        }
        if (kept) out << ".fi\n";
    }
    const auto& args = command.args;
    out << ".PP\nOptions:\n";
    for (const std::string& option : args.valueOptions)
        out << ".TP\n.BI \"" << Roff(option) << " \" " << Roff(ValueName(command, option)) << "\n"
            << "takes a value, as \\fB" << Roff(option) << "\\~" << Roff(ValueName(command, option))
            << "\\fR or \\fB" << Roff(option) << "=" << Roff(ValueName(command, option)) << "\\fR.\n";
    for (const std::string& flag : args.flags) out << ".TP\n.B " << Roff(flag) << "\n" << "a switch; takes no value.\n";
    out << ".TP\n.B \\-\\-help\nprints this command's help.\n";
}

void WriteMan(std::ostream& out)
{
    out << ".\\\" kestuctl(1), written by kestuctl-docs from kestuctl's command table.\n"
        << ".TH KESTUCTL 1 \"\" \"Kestu " << Roff(kestu::KestuVersionNumber) << "\" \"Kestu\"\n"
        << ".SH NAME\nkestuctl \\- the experimenter's tool for Kestu's studies\n"
        << ".SH SYNOPSIS\n.B kestuctl\n.I COMMAND\n[\\fIARGUMENTS\\fR]\n.br\n"
        << ".B kestuctl\n.I COMMAND\n\\-\\-help\n.br\n.B kestuctl\n\\-\\-help | \\-\\-version\n"
        << ".SH DESCRIPTION\n"
        << "\\fBkestuctl\\fR works on a Kestu study's experiment database (an SQLite file\n"
        << "such as \\fIKESTU.MDB\\fR, or a \\fIpostgresql://USER@HOST[:PORT]/DBNAME\\fR URL of a\n"
        << "lab's server) and on its trial logs, without any window. Every command that\n"
        << "takes a database takes either. A password never goes into a URL: libpq reads\n"
        << "it from \\fI~/.pgpass\\fR.\n"
        << ".PP\nAn option that takes a value is given as \\fB\\-\\-out FILE\\fR or \\fB\\-\\-out=FILE\\fR.\n"
        << ".SH COMMANDS\n";
    for (const Command* command : AllCommands()) ManCommand(*command, out);
    out << ".SH EXIT STATUS\n"
        << ".TP\n.B 0\nthe whole job was done.\n"
        << ".TP\n.B 1\na file, a database or a check said no (\\fBrescore\\fR: a trial disagrees).\n"
        << ".TP\n.B 2\nthe command line is wrong.\n"
        << ".SH SEE ALSO\n.BR kestu (1),\n.BR kestu\\-initdb (1)\n";
}

// A bash word list: the words separated by spaces, in single quotes.
std::string Words(const std::vector<std::string>& words)
{
    std::string text;
    for (const std::string& word : words) text += (text.empty() ? "" : " ") + word;
    return "'" + text + "'";
}

// The values an option takes when its synopsis lists them ("--table participants|experiments").
std::vector<std::string> Choices(const Command& command, const std::string& option)
{
    const std::string value = ValueName(command, option);
    std::vector<std::string> choices;
    if (value.find('|') == std::string::npos) return choices;
    std::istringstream parts(value);
    std::string part;
    while (std::getline(parts, part, '|')) choices.push_back(part);
    return choices;
}

void WriteCompletion(std::ostream& out)
{
    std::vector<std::string> names;
    for (const Command* command : AllCommands()) names.push_back(command->name);
    out << "# bash completion for kestuctl, written by kestuctl-docs from its command table.\n"
           "_kestuctl()\n"
           "{\n"
           "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
           "    local commands="
        << Words(names)
        << "\n"
           "    if [[ $COMP_CWORD -eq 1 ]]; then\n"
           "        COMPREPLY=($(compgen -W \"$commands help --help --version\" -- \"$cur\"))\n"
           "        return\n"
           "    fi\n"
           "    local options='' values=''\n"
           "    case ${COMP_WORDS[1]} in\n"
           "    help)\n"
           "        [[ $COMP_CWORD -eq 2 ]] && COMPREPLY=($(compgen -W \"$commands\" -- \"$cur\"))\n"
           "        return\n"
           "        ;;\n";
    for (const Command* command : AllCommands()) {
        std::vector<std::string> options = command->args.valueOptions;
        options.insert(options.end(), command->args.flags.begin(), command->args.flags.end());
        options.push_back("--help");
        out << "    " << command->name << ")\n"
            << "        options=" << Words(options) << "\n"
            << "        values=" << Words(command->args.valueOptions) << "\n";
        bool anyChoices = false;
        for (const std::string& option : command->args.valueOptions) {
            const auto choices = Choices(*command, option);
            if (choices.empty()) continue;
            if (!anyChoices) out << "        case $prev in\n";
            anyChoices = true;
            out << "        " << option << ") COMPREPLY=($(compgen -W " << Words(choices) << " -- \"$cur\")); return ;;\n";
        }
        if (anyChoices) out << "        esac\n";
        out << "        ;;\n";
    }
    out << "    *) return ;;\n"
           "    esac\n"
           "    # The value of an option: a file or folder name.\n"
           "    local value\n"
           "    for value in $values; do\n"
           "        if [[ $prev == \"$value\" ]]; then\n"
           "            COMPREPLY=($(compgen -f -- \"$cur\"))\n"
           "            return\n"
           "        fi\n"
           "    done\n"
           "    if [[ $cur == -* ]]; then\n"
           "        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
           "    else\n"
           "        COMPREPLY=($(compgen -f -- \"$cur\"))\n"
           "    fi\n"
           "}\n"
           "complete -o filenames -F _kestuctl kestuctl\n";
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string what = argc == 3 ? argv[1] : "";
    if (what != "man" && what != "bash-completion") {
        std::cerr << "usage: kestuctl-docs man|bash-completion FILE\n";
        return 2;
    }
    std::ostringstream text;
    if (what == "man")
        WriteMan(text);
    else
        WriteCompletion(text);
    std::ofstream file(argv[2], std::ios::binary | std::ios::trunc);
    file << text.str();
    file.close();
    if (!file) {
        std::cerr << "kestuctl-docs: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
