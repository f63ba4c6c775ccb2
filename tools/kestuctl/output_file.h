#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "kestuctl/command_line.h"

namespace kestu::ctl {

// Replaces the file `path` with `bytes`: written to a temporary file beside
// it, every write and the close checked, synced, then renamed over the old
// one, so on any failure the old file (or none) stays as it was. The name is
// used as the bytes given, never decoded. The fault gives the reason with
// the file's name.
Status WriteFile(const std::string& path, std::string_view bytes, Console& console);

// A command's text output: to FILE as WriteFile does or, without a file or
// with "-", to the console's output (which RunCommand checks at the end).
Status WriteOutput(const std::optional<std::string>& file, std::string_view text, Console& console);

}  // namespace kestu::ctl
