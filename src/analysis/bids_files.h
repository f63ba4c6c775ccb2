#pragma once

// The files of a BIDS dataset made from its facts (bids_events.h): tab-
// separated tables and JSON sidecars, as bytes with the path each goes to
// inside the dataset's folder. Nothing here touches the disk.

#include <string>
#include <string_view>
#include <vector>

#include "analysis/bids_events.h"
#include "engine/result.h"

namespace kestu::analysis {

// The BIDS version the files follow.
inline constexpr const char* BidsVersion = "1.9.0";

struct BidsFile {
    std::string path;  // relative to the dataset's folder, "/" between folders
    std::string bytes;
};

// A TSV cell: "n/a" for nothing. A cell cannot hold a tab or a line break,
// nor bytes that are not UTF-8: such text is refused, the fault saying which
// (`where` names the cell for the message).
Result<std::string> TsvCell(const std::optional<std::string>& text, const std::string& where);

// The path of a run's events file, without the suffix:
// "sub-<label>/beh/sub-<label>_task-<task>_run-<N>_events".
std::string EventsStem(const std::string& label, const std::string& task, long long run);

// Every file of the dataset: dataset_description.json, README,
// participants.tsv and .json, and per run its events .tsv and .json. `name`
// is the dataset's name, `version` the program's.
Result<std::vector<BidsFile>> BidsFiles(const BidsDataset& dataset, const std::string& name,
                                        const std::string& version);

// The events file of one run (its header and one row per event).
std::string EventsTsv(const BidsRun& run);
// Its sidecar: every column and level described, with the run's speed.
std::string EventsJson(const BidsRun& run);

// True for a task label BIDS takes: ASCII letters and digits, at least one.
bool IsBidsLabel(std::string_view text);

}  // namespace kestu::analysis
