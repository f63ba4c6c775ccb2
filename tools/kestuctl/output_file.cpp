#include "kestuctl/output_file.h"

#include <ostream>

#include "trials/file_sink.h"

namespace kestu::ctl {

std::string WriteFile(const std::string& path, std::string_view bytes, Console& console)
{
    const std::string reason = ReplaceFile(path, bytes, console.outputSink);
    return reason.empty() ? reason : path + ": cannot be written (" + reason + ")";
}

std::string WriteOutput(const std::optional<std::string>& file, std::string_view text, Console& console)
{
    if (file && *file != "-") return WriteFile(*file, text, console);
    console.out << text;
    return {};
}

}  // namespace kestu::ctl
