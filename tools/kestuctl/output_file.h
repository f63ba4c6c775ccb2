#pragma once

#include <optional>
#include <string>

#include "kestuctl/command_line.h"

namespace kestu::ctl {

// Writes a command's text output to FILE (replaced only once it is complete)
// or, without a file, to the console's output. Empty on success, otherwise
// the reason with the file's name.
std::string WriteOutput(const std::optional<std::string>& file, const std::string& text, Console& console);

}  // namespace kestu::ctl
