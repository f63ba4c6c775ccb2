#pragma once

#include <string>
#include <vector>

#include "data/outbox_format.h"
#include "engine/result.h"
#include "trials/file_sink.h"

namespace kestu {

// What a seat could not deliver to the study's server is kept, in the order
// it happened, in the file KESTU.OUTBOX of the study folder until it is
// delivered. Every program that appends to, delivers or rewrites the file
// first takes the lock file beside it (KESTU.OUTBOX.lock), so copies of the
// program sharing a study folder never lose each other's entries.

// The outbox file of a study folder.
std::string OutboxPath(const std::string& studyFolder);

// Adds an entry at the end of the file, written in place and synced to the
// disk (the folder too when the file is new) before it returns. Any write,
// sync or lock that fails is a failure, and the file is left as it was.
// An entry whose results are not finite numbers is refused. An older
// outbox is first converted to this version's format; a part at its end that
// cannot be read is first moved aside (see DeliverOutbox).
Status AppendToOutbox(const std::string& path, const OutboxEntry& entry, const SinkWrapper& wrap = {});

// The whole entries of the file, in order, and why the rest (when there is a
// rest) cannot be read; no file is no entries.
struct OutboxContent {
    std::vector<OutboxEntry> entries;
    std::string unreadable;  // empty when the whole file was read
};
Result<OutboxContent> ReadOutbox(const std::string& path);

// What a delivery did.
struct Delivery {
    std::size_t delivered = 0;
    std::size_t left = 0;      // still in the outbox (the server could not be reached, or another study's)
    std::size_t setAside = 0;  // refused by the database, moved to setAsideIn
    std::string setAsideIn;
    std::string unreadIn;      // where a part that could not be read was moved this time
    std::vector<std::string> problems;  // a sentence for each thing not delivered
    // Files of entries that were set aside or could not be read, this time
    // or before, waiting in the study folder for someone to look at them.
    std::vector<std::string> waiting;

    // Everything there was to deliver reached the database.
    bool Complete() const { return left == 0 && setAside == 0 && unreadIn.empty() && waiting.empty(); }
    // "D delivered, K still kept, S set aside" and, when there is one, the unread part.
    std::string Summary() const;
};

// Delivers the entries to the database at `location` in their order.
// Delivering twice stores nothing twice: a log already there is not added
// again, and a row that already holds exactly these results counts as
// delivered. Entries for another study stay. An entry the database refuses
// is set aside, with the reason, in KESTU.OUTBOX.undelivered-<time>,
// together with the later entries of its trial (a trial's results never
// reach the database before its log); the other trials' entries go on. When
// the server cannot be reached, everything not yet delivered stays. A part
// of the file that cannot be read is moved to KESTU.OUTBOX.unread-<time>,
// and the whole entries before it are delivered. The outbox is removed once
// it holds nothing more.
Result<Delivery> DeliverOutbox(const std::string& path, const std::string& location);

}  // namespace kestu
