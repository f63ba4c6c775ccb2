#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace kestu::ctl {

struct Console;

// Exit statuses of every command: 0 only when the whole job was done.
enum ExitStatus : int {
    ExitOk = 0,
    ExitFailure = 1,  // a file, a database or a check said no (rescore: a trial disagrees)
    ExitUsage = 2,    // the command line itself is wrong
};

// Runs one kestuctl command line (the words after the program name). Results
// go to `out`, messages to `err`; a progress bar is drawn on `err` only when
// showProgress is set (the program sets it when standard error is a terminal).
// When `out` fails, even after the command succeeded, the status is 1.
int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool showProgress = false);
int RunCommand(const std::vector<std::string>& args, Console& console);

}  // namespace kestu::ctl
