#pragma once

#include <string>

namespace kestu {

// What `kestu [--data STUDY_FOLDER] [--seat NAME] [--lsl] [--version]` asks for. Read before any part of Qt
// that needs a display, so that --help and a wrong command line work on any
// terminal.
struct CommandLine {
    enum class Action { Run, Help, Version, Wrong };
    Action action = Action::Run;
    std::string folder;   // the study folder as given; empty: the study beside the program, else the user's
    std::string message;  // Help: the usage and where the study is; Version: the version line;
                          // Wrong: what is wrong, then the usage
    std::string seat;     // the seat's name on the lab page; empty: kestu.ini's, or this computer's
    bool lsl = false;     // send the trials' markers on the seat's LSL stream (kestu.ini may say so too)
};

inline constexpr const char* KestuUsage = "usage: kestu [--data STUDY_FOLDER] [--seat NAME] [--lsl] [--version]\n";

// `userStudy` is the per-user study folder that --help names (UserStudyFolder()).
CommandLine ReadCommandLine(int argc, const char* const* argv, const std::string& userStudy);

// The folder that holds the running program, or empty when it cannot be told.
std::string ProgramFolder();

// True when the folder holds a study: its database file KESTU.MDB or a
// kestu.ini naming a server (even one that cannot be read: the start-up
// then says what is wrong with it rather than going elsewhere).
bool HoldsStudy(const std::string& folder);

// The study folder of the user running the program when neither --data nor
// a study beside the program names one: "Kestu" in the home folder ($HOME,
// else the account's). Empty when the user has no home folder.
std::string UserStudyFolder();

// Makes the per-user study folder ready: creates it (mode 0700: the
// questionnaire holds names) when missing. True in `create` when the folder
// holds nothing at all, so the database with the standard scenario is to be
// made in it; a folder that holds anything is used as it stands (a missing
// database there is refused as for --data). False with a sentence in
// `problem` when the folder cannot be made.
bool PrepareUserStudyFolder(const std::string& folder, bool& create, std::string& problem);

// The study folder as an absolute path; a folder that does not exist is
// refused with a sentence saying so.
bool ResolveStudyFolder(std::string& folder, std::string& problem);

// When the study folder names no server and its database file does not
// exist: a sentence saying so, with the command that creates one (the
// kestu-initdb beside this program when there is one). Empty otherwise,
// also when the folder's kestu.ini cannot be read: the start-up reports that.
std::string MissingDatabaseProblem(const std::string& studyFolder, const std::string& programFolder);

// Qt keeps its per-session files in XDG_RUNTIME_DIR and complains on the
// console when it is not set. When it is not, this sets it to a private
// folder /tmp/runtime-UID (made with mode 0700 when missing), the folder Qt
// would fall back to itself. A folder of that name that is not this user's
// private folder is left alone, and then Qt says what is wrong with it.
void PrepareRuntimeFolder();

// The text as one word a POSIX shell reads back as the same bytes: in single
// quotes when it holds anything but letters, digits and "_-./+:@%,=".
std::string ShellWord(const std::string& text);

}  // namespace kestu
