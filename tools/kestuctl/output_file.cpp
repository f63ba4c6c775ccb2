#include "kestuctl/output_file.h"

#include <ostream>

#include "trials/file_sink.h"

namespace kestu::ctl {

std::string WriteFile(const std::string& path, std::string_view bytes, Console& console)
{
    const Status written = ReplaceFile(path, bytes, console.outputSink);
    return written ? std::string() : path + ": cannot be written (" + written.error() + ")";
}

std::string WriteOutput(const std::optional<std::string>& file, std::string_view text, Console& console)
{
    if (file && *file != "-") return WriteFile(*file, text, console);
    console.out << text;
    return {};
}

}  // namespace kestu::ctl
