#include "data/outbox.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <unistd.h>

#include "data/experiment_db.h"
#include "data/outbox_file.h"

namespace kestu {

namespace {

using outboxfile::AsidePath;
using outboxfile::Lock;
using outboxfile::WriteNewFile;

std::string Header(int version) { return "KESTU OUTBOX " + std::to_string(version) + "\n"; }

std::string FileText(const std::vector<OutboxEntry>& entries)
{
    std::string text(OutboxHeader());
    for (const OutboxEntry& entry : entries) text += OutboxEntryText(entry);
    return text;
}

// The outbox holding exactly `entries`, or no outbox when there are none.
Status Rewrite(const std::string& path, const std::vector<OutboxEntry>& entries)
{
    if (entries.empty()) {
        if (!RemoveRegularFile(path) || !SyncParentFolder(path))
            return Fault{path + ": the delivered outbox cannot be removed (" + SystemReason(errno) + ")", path};
        return Ok();
    }
    const Status written = ReplaceFile(path, FileText(entries));
    if (!written) return Fault{path + ": cannot be rewritten (" + written.error() + ")", path};
    return Ok();
}

// Keeps what cannot be read of `text` beside the outbox: the whole file when
// it is no outbox at all, else its header and the bytes from `read.readTo`
// on. Returns where it went. Called with the lock held; the outbox itself is
// not yet changed.
Result<std::string> MoveUnreadAside(const std::string& path, std::string_view text, const OutboxText& read)
{
    const std::string aside = AsidePath(path, "unread");
    if (read.version == 0) {
        if (::rename(path.c_str(), aside.c_str()) != 0 || !SyncParentFolder(aside))
            return Fault{path + ": cannot be moved aside (" + SystemReason(errno) + ")", path};
        return aside;
    }
    const Status kept = WriteNewFile(aside, Header(read.version) + std::string(text.substr(read.readTo)));
    if (!kept) return kept.fault();
    return aside;
}

// Appends `added` to the outbox that held `existingSize` bytes (none: the
// file was `created` for it), synced; fails with the reason alone. Nothing
// half-written stays behind: on failure the file goes back to what it was.
Status AppendText(const std::string& path, FileSink& sink, bool created, std::size_t existingSize,
                  const std::string& added)
{
    Status written = outboxfile::SinkOutcome(sink, sink.Write(added) && sink.Sync());
    if (written && created && !SyncParentFolder(path)) written = Status::Fail(SystemReason(errno));
    if (!written) {
        if (created)
            ::unlink(path.c_str());
        else if (sink.Truncate(static_cast<long long>(existingSize)))
            sink.Sync();
        sink.Close();
        return written;
    }
    return outboxfile::SinkOutcome(sink, sink.Close());
}

Status AppendLocked(const std::string& path, const OutboxEntry& entry, const SinkWrapper& wrap)
{
    const auto fail = [&](const std::string& why) {
        return Status(Fault{path + ": cannot be written (" + why + ")", path});
    };
    bool created = true;
    int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EEXIST) {
        created = false;
        fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
    }
    if (fd < 0) return fail(SystemReason(errno));
    std::unique_ptr<FileSink> sink = std::make_unique<FdSink>(fd);

    std::string existing;
    if (!created) {
        auto text = ReadWholeFile(path);
        if (!text) return fail(text.error());
        existing = std::move(text).value();
    }
    std::string added;
    if (existing.empty()) {
        added = OutboxHeader();
    } else {
        const OutboxText read = ParseOutbox(existing);
        if (!read.problem.empty()) {
            auto aside = MoveUnreadAside(path, existing, read);
            if (!aside) return aside.fault();
            if (read.version == 0) {  // a new outbox in its place
                sink.reset();
                return AppendLocked(path, entry, wrap);
            }
            const Status cut = outboxfile::SinkOutcome(
                *sink, sink->Truncate(static_cast<long long>(read.readTo)) && sink->Sync());
            if (!cut) return fail(cut.error());
            existing.resize(read.readTo);
        }
        if (read.version != 2) {  // an older outbox is converted first
            std::vector<OutboxEntry> entries = read.entries;
            entries.push_back(entry);
            const Status written = ReplaceFile(path, FileText(entries), wrap);
            return written ? written : fail(written.error());
        }
    }
    added += OutboxEntryText(entry);

    if (wrap) sink = wrap(std::move(sink));
    const Status written = AppendText(path, *sink, created, existing.size(), added);
    return written ? written : fail(written.error());
}

bool SameResults(const ExperimentRow& row, const ExperimentResult& r)
{
    return row.EndTime == r.EndTime && row.MissedBuckets == r.MissedBuckets && row.BusyTime == r.BusyTime &&
           row.SweepTime == r.SweepTime && row.IdleTime == r.IdleTime;
}

// Delivers one entry; a completion whose row already holds exactly its
// results was delivered before.
Status Deliver(ExperimentDb& db, const OutboxEntry& entry)
{
    if (const auto* log = entry.log()) return db.StoreTrialLog(*log);
    const OutboxCompletion& done = *entry.completion();
    const Status completed = db.CompleteTrial(done.trial, done.result);
    if (completed) return completed;
    const auto rows = db.ReadExperimentRows(done.trial.UserID);
    if (!rows) return completed;
    for (const ExperimentRow& row : rows.value()) {
        if (row.Experiment != done.trial.Experiment) continue;
        if (SameResults(row, done.result)) return Ok();
        if (row.MissedBuckets)
            return Status::Fail("trial " + std::to_string(done.trial.Experiment) + " of User ID " + done.trial.UserID +
                                " already holds other results in the database");
    }
    return completed;
}

// An older outbox names a completion's row only by its number: its trial is
// found among the rows of the participants whose logs the outbox holds.
void FindOlderCompletionsTrials(ExperimentDb& db, std::vector<OutboxEntry>& entries)
{
    std::set<std::string> users;
    for (const OutboxEntry& e : entries)
        if (e.log()) users.insert(e.log()->UserID);
    std::map<long long, TrialId> byRow;
    for (const std::string& user : users) {
        const auto rows = db.ReadExperimentRows(user);
        if (!rows) continue;
        for (const ExperimentRow& row : rows.value())
            if (row.Experiment) byRow[row.rowid] = {user, *row.Experiment};
    }
    for (OutboxEntry& e : entries) {
        auto* done = std::get_if<OutboxCompletion>(&e.item);
        if (!done || !done->trial.UserID.empty()) continue;
        if (const auto found = byRow.find(done->rowId); found != byRow.end()) done->trial = found->second;
    }
}

std::string TrialKey(const OutboxEntry& e)
{
    const TrialId t = e.trial();
    return e.study + '\n' + t.UserID + '\n' + std::to_string(t.Experiment);
}

std::string Described(const OutboxEntry& e)
{
    const TrialId t = e.trial();
    if (t.UserID.empty()) return "the results of row " + std::to_string(e.completion()->rowId);
    return std::string(e.log() ? "the log" : "the results") + " of trial " + std::to_string(t.Experiment) +
           " of User ID " + t.UserID;
}

}  // namespace

std::string OutboxPath(const std::string& studyFolder)
{
    return (std::filesystem::path(studyFolder.empty() ? "." : studyFolder) / "KESTU.OUTBOX").string();
}

Status AppendToOutbox(const std::string& path, const OutboxEntry& entry, const SinkWrapper& wrap)
{
    if (const Status keepable = CheckOutboxEntry(entry); !keepable)
        return Fault{path + ": " + Described(entry) + " cannot be kept: " + keepable.error(), path};
    auto lock = Lock::Take(path);
    if (!lock) return lock.fault();
    return AppendLocked(path, entry, wrap);
}

Result<OutboxContent> ReadOutbox(const std::string& path)
{
    std::error_code missing;
    if (!std::filesystem::exists(path, missing)) return OutboxContent{};
    auto lock = Lock::Take(path);
    if (!lock) return lock.fault();
    if (!std::filesystem::exists(path, missing)) return OutboxContent{};
    auto text = ReadWholeFile(path);
    if (!text) return Fault{path + ": cannot be read (" + text.error() + ")", path};
    OutboxText read = ParseOutbox(text.value());
    return OutboxContent{std::move(read.entries), std::move(read.problem)};
}

std::string Delivery::Summary() const
{
    std::string line = std::to_string(delivered) + " delivered, " + std::to_string(left) + " still kept, " +
                       std::to_string(setAside) + " set aside";
    if (!unreadIn.empty()) line += ", a part that cannot be read kept in " + unreadIn;
    return line;
}

namespace {

// The whole entries of the locked outbox. A part that cannot be read is
// first moved aside, and the outbox then holds the rest.
Result<std::vector<OutboxEntry>> ReadForDelivery(const std::string& path, Delivery& delivery)
{
    auto text = ReadWholeFile(path);
    if (!text) return Fault{path + ": cannot be read (" + text.error() + ")", path};
    OutboxText read = ParseOutbox(text.value());
    if (!read.problem.empty()) {
        auto aside = MoveUnreadAside(path, text.value(), read);
        if (!aside) return aside.fault();
        delivery.unreadIn = aside.value();
        delivery.problems.push_back(path + ": a part cannot be read (" + read.problem + "); it is kept in " +
                                    aside.value());
        if (read.version != 0) {
            const Status rest = Rewrite(path, read.entries);
            if (!rest) return rest.fault();
        }
    }
    return std::move(read.entries);
}

// Where a delivery's entries end up besides the database.
struct Sorted {
    std::vector<OutboxEntry> left;   // stay in the outbox
    std::vector<OutboxEntry> aside;  // refused, each with its reason
    std::vector<std::string> reasons;
};

// Delivers the entries of `study` in their order through `db`; a trial whose
// entry stays or is set aside keeps its later entries with it.
Sorted SendEntries(const std::string& path, const std::string& location, std::unique_ptr<ExperimentDb> db,
                   const std::string& study, const std::vector<OutboxEntry>& entries, Delivery& delivery)
{
    Sorted sorted;
    std::set<std::string> heldTrials, asideTrials, foreignStudies;
    bool serverAway = false;
    for (const OutboxEntry& entry : entries) {
        const std::string key = TrialKey(entry);
        const auto setAside = [&](const std::string& why) {
            sorted.aside.push_back(entry);
            sorted.reasons.push_back(Described(entry) + ": " + why);
            asideTrials.insert(key);
        };
        const auto stay = [&] {
            sorted.left.push_back(entry);
            heldTrials.insert(key);
        };
        if (!entry.study.empty() && entry.study != study) {
            stay();
            if (foreignStudies.insert(entry.study).second)
                delivery.problems.push_back(path + " holds entries kept for the study " + entry.study +
                                            ", but the database delivered to is the study " +
                                            (study.empty() ? "without an ID" : study) + "; they stay in the outbox");
        } else if (serverAway || heldTrials.count(key)) {
            stay();
        } else if (asideTrials.count(key)) {
            setAside("an earlier entry of its trial was set aside");
        } else if (entry.completion() && entry.trial().UserID.empty()) {
            setAside("it names only row " + std::to_string(entry.completion()->rowId) +
                     ", whose trial cannot be told, so it is not written into any row");
        } else if (Status sent = Deliver(*db, entry); sent) {
            ++delivery.delivered;
        } else if (auto fresh = ExperimentDb::Open(location, OpenMode::ReadWrite); !fresh) {
            // Refused, or the connection was lost: a fresh connection tells which.
            serverAway = true;
            stay();
            delivery.problems.push_back("The study's database cannot be reached; what was not delivered stays in " +
                                        path + ": " + fresh.error());
        } else {
            db = std::move(fresh).value();
            sent = Deliver(*db, entry);
            if (sent)
                ++delivery.delivered;
            else
                setAside(sent.error());
        }
    }
    return sorted;
}

// Writes the refused entries, with their reasons, into a file of their own;
// when that fails they stay in the outbox.
void KeepRefused(const std::string& path, Sorted& sorted, Delivery& delivery)
{
    if (sorted.aside.empty()) return;
    std::string text(OutboxHeader());
    for (std::size_t i = 0; i < sorted.aside.size(); ++i)
        text += OutboxNoteText(sorted.reasons[i]) + OutboxEntryText(sorted.aside[i]);
    const std::string file = AsidePath(path, "undelivered");
    const Status kept = WriteNewFile(file, text);
    if (kept) {
        delivery.setAside = sorted.aside.size();
        delivery.setAsideIn = file;
        for (const std::string& why : sorted.reasons)
            delivery.problems.push_back("Set aside in " + file + ", refused by the database: " + why);
        return;
    }
    // Nowhere else to keep them: they stay where they were.
    delivery.problems.push_back(kept.error());
    for (const std::string& why : sorted.reasons) delivery.problems.push_back("Refused: " + why);
    sorted.left.insert(sorted.left.end(), sorted.aside.begin(), sorted.aside.end());
}

}  // namespace

Result<Delivery> DeliverOutbox(const std::string& path, const std::string& location)
{
    Delivery delivery;
    std::vector<OutboxEntry> entries;
    std::error_code missing;
    // No outbox, nothing to lock: an entry appended meanwhile waits for the next delivery.
    std::optional<Lock> lock;
    if (std::filesystem::exists(path, missing)) {
        auto taken = Lock::Take(path);
        if (!taken) return taken.fault();
        lock.emplace(std::move(taken).value());
    }
    // Another delivery may have emptied and removed it while this one waited.
    if (lock && std::filesystem::exists(path, missing)) {
        auto read = ReadForDelivery(path, delivery);
        if (!read) return read.fault();
        entries = std::move(read).value();
    }
    const auto finish = [&]() -> Result<Delivery> {
        delivery.waiting = outboxfile::WaitingFiles(path);
        return delivery;
    };
    if (entries.empty()) return finish();

    const auto unreachable = [&](const std::string& why) {
        delivery.left = entries.size();
        delivery.problems.push_back("The study's database cannot be reached; everything stays in " + path + ": " +
                                    why);
        return finish();
    };
    auto opened = ExperimentDb::Open(location, OpenMode::ReadWrite);
    if (!opened) return unreachable(opened.error());
    const auto study = opened.value()->StudyId();
    if (!study) return unreachable(study.error());
    FindOlderCompletionsTrials(*opened.value(), entries);

    Sorted sorted = SendEntries(path, location, std::move(opened).value(), study.value(), entries, delivery);
    KeepRefused(path, sorted, delivery);
    delivery.left = sorted.left.size();
    if (delivery.delivered > 0 || delivery.setAside > 0) {
        const Status rewritten = Rewrite(path, sorted.left);
        if (!rewritten) return rewritten.fault();
    }
    return finish();
}

}  // namespace kestu
