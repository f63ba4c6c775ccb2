#include "analysis/logged_trial.h"

#include <filesystem>
#include <system_error>

#include "trials/file_sink.h"

namespace kestu::analysis {

Result<TrialLogText> ReadTrialLog(const std::string& path)
{
    std::error_code failed;
    const auto status = std::filesystem::status(path, failed);
    if (!std::filesystem::exists(status)) return Fault{path + ": the trial log does not exist", path, {}, {}};
    if (!std::filesystem::is_regular_file(status)) return Fault{path + ": is not a file", path, {}, {}};
    auto read = ReadWholeFile(path, MaxTrialLogBytes);
    if (!read) return Fault{path + ": the trial log cannot be opened (" + read.error() + ")", path, {}, {}};
    return TrialLogText{path, std::move(read).value()};
}

Result<std::vector<LoggedRecord>> ReadLoggedTrial(const TrialLogText& log)
{
    TrialLogReader reader;
    if (Status opened = reader.OpenText(log.name, log.text); !opened) return opened.fault();
    return reader.Records();
}

}  // namespace kestu::analysis
