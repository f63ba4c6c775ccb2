#pragma once

// The text of an outbox file, without any file or database: what an entry
// looks like on the disk and how a file's text reads back. Kept apart so the
// reader can be tried on any bytes at all.

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "engine/result.h"
#include "trials/experiment_store.h"

namespace kestu {

// A trial's results for its row. An outbox written by an older Kestu named
// only the row's number (trial.UserID is then empty).
struct OutboxCompletion {
    TrialId trial;
    long long rowId = 0;
    ExperimentResult result;
};

// What a seat could not deliver to the study's server, and which study it
// was kept for (its ID; empty when an older outbox did not say).
struct OutboxEntry {
    OutboxEntry() = default;
    OutboxEntry(std::string study, TrialLogCopy log) : study(std::move(study)), item(std::move(log)) {}
    OutboxEntry(std::string study, OutboxCompletion done) : study(std::move(study)), item(std::move(done)) {}

    std::string study;
    std::variant<TrialLogCopy, OutboxCompletion> item;

    const TrialLogCopy* log() const { return std::get_if<TrialLogCopy>(&item); }
    const OutboxCompletion* completion() const { return std::get_if<OutboxCompletion>(&item); }
    // The participant and trial the entry belongs to; an empty User ID when
    // an older completion did not say.
    TrialId trial() const;
};

bool operator==(const OutboxEntry& a, const OutboxEntry& b);

// The first line of the file as this version writes it.
std::string_view OutboxHeader();

// Whether the entry can be kept; fails saying why not (a result that is
// not a finite number, a negative trial number).
Status CheckOutboxEntry(const OutboxEntry& entry);

// The entry as it is written into the file, ending with a line feed.
std::string OutboxEntryText(const OutboxEntry& entry);

// A line of text the reader passes over (why an entry was set aside, say).
std::string OutboxNoteText(std::string_view note);

// What the reader made of a file's text: the whole entries from its start,
// in order, up to `readTo` bytes; when that is not the end, `problem` says
// why the rest cannot be read. A text that is not an outbox at all has
// version 0 and no entries.
struct OutboxText {
    int version = 0;
    std::vector<OutboxEntry> entries;
    std::size_t readTo = 0;
    std::string problem;
};
OutboxText ParseOutbox(std::string_view text);

}  // namespace kestu
