#include "kestuctl/logged_trial.h"

namespace kestu::ctl {

LoggedTrial ReadLoggedTrial(const std::string& path)
{
    LoggedTrial trial;
    TrialLogReader reader;
    if (const Status opened = reader.Open(path); !opened) {
        trial.error = opened.error();
        return trial;
    }
    trial.records.reserve(reader.RecordCount());
    while (auto record = reader.ReadRecordWithState()) trial.records.push_back(*record);
    if (!reader.Error().empty()) return {{}, reader.Error()};
    return trial;
}

}  // namespace kestu::ctl
