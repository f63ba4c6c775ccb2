#pragma once

#include <string>

#include "kestuctl/command_line.h"

namespace kestu::ctl {

// A one-line progress bar on standard error for long jobs, redrawn in place;
// draws nothing unless the console asks for progress.
class ProgressBar {
public:
    ProgressBar(Console& console, std::string what, long long total);
    ~ProgressBar() { Finish(); }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void Update(long long done);
    // Ends the line so later messages start on a fresh one.
    void Finish();

private:
    Console& console_;
    std::string what_;
    long long total_;
    int shownPercent_ = -1;
    bool finished_ = false;
};

}  // namespace kestu::ctl
