#pragma once

#include <string>
#include <variant>
#include <vector>

#include "engine/result.h"
#include "trials/experiment_store.h"

namespace kestu {

// What a seat could not deliver to the study's server: a trial's results
// for its row, or its log. Kept, in the order they happened, in a file in
// the study folder until they are delivered.
struct OutboxCompletion {
    TrialId trial;
    long long rowId = 0;
    ExperimentResult result;
};
using OutboxEntry = std::variant<TrialLogCopy, OutboxCompletion>;

// The outbox file of a study folder.
std::string OutboxPath(const std::string& studyFolder);

// Adds an entry at the end of the file, synced to the disk before it returns.
Status AppendToOutbox(const std::string& path, const OutboxEntry& entry);

// Every whole entry of the file, in order; no file is no entries. An entry
// cut short at the end (a crash while it was written) is left out.
Result<std::vector<OutboxEntry>> ReadOutbox(const std::string& path);

// What a delivery did.
struct Delivery {
    std::size_t delivered = 0;
    std::size_t left = 0;     // still in the outbox
    std::string problem;      // why the first of those could not be delivered
};

// Delivers the entries to the database at `location` in their order, and
// keeps in the file only those that could not be delivered (all after the
// first failure, so a trial's log always reaches the server before its
// results). Delivering twice stores nothing twice: a log already there is
// not added again, and a row's results are the same results.
Result<Delivery> DeliverOutbox(const std::string& path, const std::string& location);

}  // namespace kestu
