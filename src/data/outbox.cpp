#include "data/outbox.h"

#include <charconv>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string_view>

#include "data/experiment_db.h"
#include "trials/file_sink.h"

namespace kestu {

namespace {

constexpr std::string_view Header = "KESTU OUTBOX 1\n";

// Doubles in their shortest text that reads back exactly, whatever the locale.
std::string Exact(double value)
{
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
}
std::string Share(const std::optional<double>& share) { return share ? Exact(*share) : "-"; }

std::string EntryText(const OutboxEntry& entry)
{
    std::ostringstream out;
    if (const auto* log = std::get_if<TrialLogCopy>(&entry)) {
        out << "log " << log->UserID << ' ' << log->Experiment << ' ' << log->Host << ' ' << log->WrittenAt << ' '
            << log->Bytes.size() << '\n'
            << log->Bytes << '\n';
    } else {
        const auto& done = std::get<OutboxCompletion>(entry);
        const ExperimentResult& r = done.result;
        out << "completion " << done.rowId << ' ' << r.EndTime << ' ' << Exact(r.MissedBuckets) << ' '
            << Share(r.BusyTime) << ' ' << Share(r.SweepTime) << ' ' << Share(r.IdleTime) << '\n';
    }
    return out.str();
}

std::vector<std::string> Words(std::string_view line)
{
    std::vector<std::string> words;
    std::istringstream in{std::string(line)};
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

template <typename T>
bool ReadNumber(const std::string& text, T& out)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

bool ReadShare(const std::string& text, std::optional<double>& out)
{
    if (text == "-") return true;
    double value = 0;
    if (!ReadNumber(text, value)) return false;
    out = value;
    return true;
}

// One entry from `at` on; nothing when the text there is cut short, a fault
// when it is not an entry at all.
Result<std::optional<OutboxEntry>> ReadEntry(std::string_view text, std::size_t& at)
{
    using Outcome = Result<std::optional<OutboxEntry>>;
    const std::size_t eol = text.find('\n', at);
    if (eol == std::string_view::npos) return std::optional<OutboxEntry>{};
    const std::vector<std::string> w = Words(text.substr(at, eol - at));
    at = eol + 1;
    if (w.size() == 7 && w[0] == "completion") {
        OutboxCompletion done;
        ExperimentResult& r = done.result;
        r.EndTime = w[2];
        if (ReadNumber(w[1], done.rowId) && ReadNumber(w[3], r.MissedBuckets) && ReadShare(w[4], r.BusyTime) &&
            ReadShare(w[5], r.SweepTime) && ReadShare(w[6], r.IdleTime))
            return std::optional<OutboxEntry>(done);
    } else if (w.size() == 7 && w[0] == "log") {
        TrialLogCopy log{w[1], 0, w[3], {}, w[4] + " " + w[5]};
        std::size_t size = 0;
        if (ReadNumber(w[2], log.Experiment) && ReadNumber(w[6], size)) {
            if (text.size() < at + size + 1) return std::optional<OutboxEntry>{};
            log.Bytes = std::string(text.substr(at, size));
            at += size + 1;
            return std::optional<OutboxEntry>(log);
        }
    }
    return Outcome::Fail("an entry that cannot be read: \"" + std::string(w.empty() ? "" : w[0]) + "\"");
}

Status Deliver(ExperimentDb& db, const OutboxEntry& entry)
{
    if (const auto* log = std::get_if<TrialLogCopy>(&entry)) return db.StoreTrialLog(*log);
    const auto& done = std::get<OutboxCompletion>(entry);
    if (!done.trial.UserID.empty()) return db.CompleteTrial(done.trial, done.result);
    return db.CompleteExperiment(done.rowId, done.result);
}

Status Rewrite(const std::string& path, const std::vector<OutboxEntry>& entries)
{
    if (entries.empty()) {
        if (!RemoveRegularFile(path)) return Status::Fail(path + ": the delivered outbox cannot be removed");
        return Ok();
    }
    std::string text(Header);
    for (const OutboxEntry& entry : entries) text += EntryText(entry);
    return ReplaceFile(path, text);
}

}  // namespace

std::string OutboxPath(const std::string& studyFolder)
{
    return (std::filesystem::path(studyFolder.empty() ? "." : studyFolder) / "KESTU.OUTBOX").string();
}

Status AppendToOutbox(const std::string& path, const OutboxEntry& entry)
{
    auto existing = ReadOutbox(path);
    if (!existing) return existing.fault();
    std::vector<OutboxEntry> entries = std::move(existing).value();
    entries.push_back(entry);
    const Status written = Rewrite(path, entries);
    if (!written) return Status::Fail(path + ": cannot be written (" + written.error() + ")");
    return Ok();
}

Result<std::vector<OutboxEntry>> ReadOutbox(const std::string& path)
{
    using Outcome = Result<std::vector<OutboxEntry>>;
    std::error_code missing;
    if (!std::filesystem::exists(path, missing)) return std::vector<OutboxEntry>{};
    auto text = ReadWholeFile(path);
    if (!text) return Outcome::Fail(path + ": cannot be read (" + text.error() + ")");
    const std::string_view all = text.value();
    if (all.substr(0, Header.size()) != Header) return Outcome::Fail(path + ": is not a Kestu outbox");
    std::vector<OutboxEntry> entries;
    for (std::size_t at = Header.size(); at < all.size();) {
        auto entry = ReadEntry(all, at);
        if (!entry) return Outcome::Fail(path + ": " + entry.error());
        if (!entry.value()) break;
        entries.push_back(std::move(*entry.value()));
    }
    return entries;
}

Result<Delivery> DeliverOutbox(const std::string& path, const std::string& location)
{
    auto entries = ReadOutbox(path);
    if (!entries) return entries.fault();
    Delivery delivery;
    if (entries.value().empty()) return delivery;
    auto db = ExperimentDb::Open(location, OpenMode::ReadWrite);
    std::vector<OutboxEntry> left;
    for (const OutboxEntry& entry : entries.value()) {
        const Status sent = !db ? Status(db.fault()) : left.empty() ? Deliver(*db.value(), entry) : Status::Fail("");
        if (sent) {
            ++delivery.delivered;
            continue;
        }
        if (delivery.problem.empty()) delivery.problem = sent.error();
        left.push_back(entry);
    }
    delivery.left = left.size();
    const Status kept = Rewrite(path, left);
    if (!kept) return kept.fault();
    return delivery;
}

}  // namespace kestu
