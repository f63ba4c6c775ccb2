#include "analysis/trial_pairing.h"

#include <algorithm>
#include <set>
#include <system_error>

namespace kestu::analysis {

std::string TrialLogName(const std::string& userId, long long trial) { return userId + "." + std::to_string(trial); }

std::map<long long, std::vector<long long>> SharedTrialNumbers(const std::vector<ExperimentRow>& rows)
{
    std::map<long long, std::vector<long long>> byTrial;
    for (const ExperimentRow& row : rows) {
        if (row.Experiment) byTrial[*row.Experiment].push_back(row.rowid);
    }
    std::erase_if(byTrial, [](const auto& entry) { return entry.second.size() < 2; });
    return byTrial;
}

std::vector<std::string> LogsWithoutRow(const std::filesystem::path& folder, const std::string& userId,
                                        const std::vector<ExperimentRow>& rows)
{
    std::set<std::string> named;
    for (const ExperimentRow& row : rows) {
        if (row.Experiment) named.insert(TrialLogName(userId, *row.Experiment));
    }
    const std::string prefix = userId + ".";
    std::vector<std::string> orphans;
    std::error_code failed;
    // A folder that cannot be listed holds no log this check could name.
    for (const auto& entry : std::filesystem::directory_iterator(folder, failed)) {
        const std::string name = entry.path().filename().string();  // the bytes as stored
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        const bool digits = std::all_of(name.begin() + prefix.size(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
        std::error_code notFile;
        if (digits && !named.count(name) && entry.is_regular_file(notFile)) orphans.push_back(name);
    }
    std::sort(orphans.begin(), orphans.end());
    return orphans;
}

std::vector<std::string> LogsWithoutRow(const std::vector<long long>& trials, const std::string& userId,
                                        const std::vector<ExperimentRow>& rows)
{
    std::set<long long> named;
    for (const ExperimentRow& row : rows) {
        if (row.Experiment) named.insert(*row.Experiment);
    }
    std::set<std::string> orphans;
    for (long long trial : trials) {
        if (!named.count(trial)) orphans.insert(TrialLogName(userId, trial));
    }
    return {orphans.begin(), orphans.end()};
}

}  // namespace kestu::analysis
