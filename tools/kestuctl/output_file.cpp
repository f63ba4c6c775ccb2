#include "kestuctl/output_file.h"

#include <ostream>

#include "trials/file_sink.h"

namespace kestu::ctl {

Status WriteFile(const std::string& path, std::string_view bytes, Console& console)
{
    const Status written = ReplaceFile(path, bytes, console.outputSink);
    if (written) return Ok();
    return Fault{path + ": cannot be written (" + written.error() + ")", path, {}, {}};
}

Status WriteOutput(const std::optional<std::string>& file, std::string_view text, Console& console)
{
    if (file && *file != "-") return WriteFile(*file, text, console);
    console.out << text;
    return Ok();
}

}  // namespace kestu::ctl
