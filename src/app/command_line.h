#pragma once

#include <string>

namespace kestu {

// What `kestu [--data STUDY_FOLDER] [--seat NAME] [--lsl]` asks for. Read before any part of Qt
// that needs a display, so that --help and a wrong command line work on any
// terminal.
struct CommandLine {
    enum class Action { Run, Help, Wrong };
    Action action = Action::Run;
    std::string folder;   // the study folder as given; empty: the program's own folder
    std::string message;  // Help: the usage; Wrong: what is wrong, then the usage
    std::string seat;     // the seat's name on the lab page; empty: kestu.ini's, or this computer's
    bool lsl = false;     // send the trials' markers on the seat's LSL stream (kestu.ini may say so too)
};

inline constexpr const char* KestuUsage = "usage: kestu [--data STUDY_FOLDER] [--seat NAME] [--lsl]\n";

CommandLine ReadCommandLine(int argc, const char* const* argv);

// The folder that holds the running program, or empty when it cannot be told.
std::string ProgramFolder();

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
