#include "data/outbox_format.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <sstream>

namespace kestu {

namespace {

constexpr std::string_view HeaderV1 = "KESTU OUTBOX 1\n";
constexpr std::string_view HeaderV2 = "KESTU OUTBOX 2\n";

// A text field is one word: "~" for no text, otherwise the text with every
// byte but letters, digits and _ . : + - written as %XX.
bool PlainByte(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
           c == ':' || c == '+' || c == '-';
}

std::string Field(std::string_view text)
{
    if (text.empty()) return "~";
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (PlainByte(c)) {
            out += ch;
        } else {
            out += '%';
            out += Hex[c >> 4];
            out += Hex[c & 15];
        }
    }
    return out;
}

std::optional<std::string> ReadField(std::string_view word)
{
    if (word == "~") return std::string();
    if (word.empty()) return std::nullopt;
    std::string out;
    for (std::size_t i = 0; i < word.size(); ++i) {
        const auto c = static_cast<unsigned char>(word[i]);
        if (PlainByte(c)) {
            out += word[i];
            continue;
        }
        if (c != '%' || word.size() - i < 3) return std::nullopt;
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(word.data() + i + 1, word.data() + i + 3, value, 16);
        if (ec != std::errc() || end != word.data() + i + 3) return std::nullopt;
        out += static_cast<char>(value);
        i += 2;
    }
    return out;
}

// Doubles in their shortest text that reads back exactly, whatever the locale.
std::string Exact(double value)
{
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
}
std::string Share(const std::optional<double>& share) { return share ? Exact(*share) : "-"; }

template <typename T>
bool ReadNumber(std::string_view text, T& out)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

bool ReadCount(std::string_view text, long long& out) { return ReadNumber(text, out) && out >= 0; }

bool ReadFinite(std::string_view text, double& out) { return ReadNumber(text, out) && std::isfinite(out); }

bool ReadShare(std::string_view text, std::optional<double>& out)
{
    if (text == "-") {
        out.reset();
        return true;
    }
    double value = 0;
    if (!ReadFinite(text, value)) return false;
    out = value;
    return true;
}

std::vector<std::string_view> SplitSpaces(std::string_view line)
{
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (true) {
        const std::size_t space = line.find(' ', at);
        words.push_back(line.substr(at, space == std::string_view::npos ? std::string_view::npos : space - at));
        if (space == std::string_view::npos) break;
        at = space + 1;
    }
    return words;
}

// The words of an older outbox's line, split at any white space.
std::vector<std::string> Words(std::string_view line)
{
    std::vector<std::string> words;
    std::istringstream in{std::string(line)};
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

bool SameResult(const ExperimentResult& a, const ExperimentResult& b)
{
    return a.EndTime == b.EndTime && a.MissedBuckets == b.MissedBuckets && a.BusyTime == b.BusyTime &&
           a.SweepTime == b.SweepTime && a.IdleTime == b.IdleTime;
}

// The log bytes that follow a log line ending at `at`: `size` bytes and a
// line feed, every bit of it inside the text.
Result<std::string> LogBytes(std::string_view text, std::size_t& at, unsigned long long size)
{
    using Outcome = Result<std::string>;
    const std::size_t left = text.size() - at;
    if (size >= left)
        return Outcome::Fail("a log of " + std::to_string(size) + " bytes runs past the end of the file (" +
                             std::to_string(left) + " bytes are left)");
    if (text[at + size] != '\n')
        return Outcome::Fail("a log of " + std::to_string(size) + " bytes is not followed by the end of its line");
    std::string bytes(text.substr(at, size));
    at += size + 1;
    return bytes;
}

const char* const NotAnEntry = "a line that is not an entry";

// One entry of an older outbox from `at` on.
Result<OutboxEntry> ReadEntryV1(std::string_view text, std::size_t& at, std::string_view line)
{
    const std::vector<std::string> w = Words(line);
    if (w.size() == 7 && w[0] == "completion") {
        OutboxCompletion done;
        ExperimentResult& r = done.result;
        r.EndTime = w[2];
        if (ReadCount(w[1], done.rowId) && ReadFinite(w[3], r.MissedBuckets) && ReadShare(w[4], r.BusyTime) &&
            ReadShare(w[5], r.SweepTime) && ReadShare(w[6], r.IdleTime))
            return OutboxEntry({}, done);
    } else if (w.size() == 7 && w[0] == "log") {
        TrialLogCopy log{w[1], 0, w[3], {}, w[4] + " " + w[5]};
        unsigned long long size = 0;
        if (ReadCount(w[2], log.Experiment) && ReadNumber(std::string_view(w[6]), size)) {
            auto bytes = LogBytes(text, at, size);
            if (!bytes) return bytes.fault();
            log.Bytes = std::move(bytes).value();
            return OutboxEntry({}, std::move(log));
        }
    }
    return Result<OutboxEntry>::Fail(NotAnEntry);
}

Result<OutboxEntry> ReadEntryV2(std::string_view text, std::size_t& at, std::string_view line)
{
    const std::vector<std::string_view> w = SplitSpaces(line);
    const auto field = [&](std::size_t i, std::string& out) {
        auto read = ReadField(w[i]);
        if (read) out = std::move(*read);
        return read.has_value();
    };
    std::string study;
    if (w.size() == 7 && w[0] == "log") {
        TrialLogCopy log;
        unsigned long long size = 0;
        if (field(1, study) && field(2, log.UserID) && ReadCount(w[3], log.Experiment) && field(4, log.Host) &&
            field(5, log.WrittenAt) && ReadNumber(w[6], size)) {
            auto bytes = LogBytes(text, at, size);
            if (!bytes) return bytes.fault();
            log.Bytes = std::move(bytes).value();
            return OutboxEntry(std::move(study), std::move(log));
        }
    } else if (w.size() == 10 && w[0] == "completion") {
        OutboxCompletion done;
        ExperimentResult& r = done.result;
        if (field(1, study) && field(2, done.trial.UserID) && ReadCount(w[3], done.trial.Experiment) &&
            ReadCount(w[4], done.rowId) && field(5, r.EndTime) && ReadFinite(w[6], r.MissedBuckets) &&
            ReadShare(w[7], r.BusyTime) && ReadShare(w[8], r.SweepTime) && ReadShare(w[9], r.IdleTime))
            return OutboxEntry(std::move(study), std::move(done));
    }
    return Result<OutboxEntry>::Fail(NotAnEntry);
}

// The start of a line for a message, its odd bytes left out.
std::string LineStart(std::string_view line)
{
    std::string shown;
    for (const char c : line.substr(0, 40)) shown += (c >= ' ' && c <= '~') ? c : '?';
    return "\"" + shown + (line.size() > 40 ? "...\"" : "\"");
}

}  // namespace

TrialId OutboxEntry::trial() const
{
    if (const auto* l = log()) return {l->UserID, l->Experiment};
    return completion()->trial;
}

bool operator==(const OutboxEntry& a, const OutboxEntry& b)
{
    if (a.study != b.study || a.item.index() != b.item.index()) return false;
    if (const auto* x = a.log()) {
        const auto* y = b.log();
        return x->UserID == y->UserID && x->Experiment == y->Experiment && x->Host == y->Host &&
               x->Bytes == y->Bytes && x->WrittenAt == y->WrittenAt;
    }
    const auto *x = a.completion(), *y = b.completion();
    return x->trial.UserID == y->trial.UserID && x->trial.Experiment == y->trial.Experiment && x->rowId == y->rowId &&
           SameResult(x->result, y->result);
}

std::string_view OutboxHeader() { return HeaderV2; }

Status CheckOutboxEntry(const OutboxEntry& entry)
{
    const TrialId trial = entry.trial();
    if (trial.Experiment < 0)
        return Status::Fail("its trial number " + std::to_string(trial.Experiment) + " is below 0");
    const auto* done = entry.completion();
    if (!done) return Ok();
    if (done->rowId < 0) return Status::Fail("its row number is below 0");
    const ExperimentResult& r = done->result;
    const auto finite = [](const std::optional<double>& v) { return !v || std::isfinite(*v); };
    if (!std::isfinite(r.MissedBuckets) || !finite(r.BusyTime) || !finite(r.SweepTime) || !finite(r.IdleTime))
        return Status::Fail("its results are not all finite numbers (missed buckets " + Exact(r.MissedBuckets) +
                            ", shares " + Share(r.BusyTime) + " " + Share(r.SweepTime) + " " + Share(r.IdleTime) + ")");
    return Ok();
}

std::string OutboxEntryText(const OutboxEntry& entry)
{
    const std::string study = Field(entry.study);
    if (const auto* log = entry.log()) {
        return "log " + study + ' ' + Field(log->UserID) + ' ' + std::to_string(log->Experiment) + ' ' +
               Field(log->Host) + ' ' + Field(log->WrittenAt) + ' ' + std::to_string(log->Bytes.size()) + '\n' +
               log->Bytes + '\n';
    }
    const OutboxCompletion& done = *entry.completion();
    const ExperimentResult& r = done.result;
    return "completion " + study + ' ' + Field(done.trial.UserID) + ' ' + std::to_string(done.trial.Experiment) + ' ' +
           std::to_string(done.rowId) + ' ' + Field(r.EndTime) + ' ' + Exact(r.MissedBuckets) + ' ' +
           Share(r.BusyTime) + ' ' + Share(r.SweepTime) + ' ' + Share(r.IdleTime) + '\n';
}

std::string OutboxNoteText(std::string_view note)
{
    std::string line = "# ";
    for (const char c : note) line += (c == '\n' || c == '\r') ? ' ' : c;
    return line + '\n';
}

OutboxText ParseOutbox(std::string_view text)
{
    OutboxText read;
    if (text.substr(0, HeaderV2.size()) == HeaderV2) {
        read.version = 2;
    } else if (text.substr(0, HeaderV1.size()) == HeaderV1) {
        read.version = 1;
    } else {
        read.problem = "it is not a Kestu outbox (its first line is " + LineStart(text.substr(0, text.find('\n'))) + ")";
        return read;
    }
    std::size_t at = HeaderV2.size();
    read.readTo = at;
    while (at < text.size()) {
        const std::size_t eol = text.find('\n', at);
        if (eol == std::string_view::npos) {
            read.problem = "its last entry is cut short, " + LineStart(text.substr(at));
            return read;
        }
        const std::string_view line = text.substr(at, eol - at);
        std::size_t next = eol + 1;
        if (read.version == 2 && line.substr(0, 2) == "# ") {
            at = read.readTo = next;
            continue;
        }
        auto entry = read.version == 1 ? ReadEntryV1(text, next, line) : ReadEntryV2(text, next, line);
        if (!entry) {
            read.problem = entry.error() + ", " + LineStart(line) + ", at byte " + std::to_string(at);
            return read;
        }
        read.entries.push_back(std::move(entry).value());
        at = read.readTo = next;
    }
    return read;
}

}  // namespace kestu
