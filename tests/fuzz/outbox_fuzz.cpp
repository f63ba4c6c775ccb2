// The outbox reader fed arbitrary bytes: an outbox is a file any crash, full
// disk or hand may have cut short or spoilt, and its reader must never read
// past it nor pass off anything it cannot read. The properties are listed
// in README.md.

#include <cmath>

#include "data/outbox_format.h"
#include "fuzz_check.h"

using namespace kestu::fuzz;

namespace {

std::string FileText(const std::vector<kestu::OutboxEntry>& entries)
{
    std::string text(kestu::OutboxHeader());
    for (const kestu::OutboxEntry& entry : entries) text += kestu::OutboxEntryText(entry);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const kestu::OutboxText read = kestu::ParseOutbox(text);
    FUZZ_CHECK(read.readTo <= text.size(), "read up to byte " + std::to_string(read.readTo) + " of " +
                                               std::to_string(text.size()));
    FUZZ_CHECK(read.problem.empty() == (read.version != 0 && read.readTo == text.size()),
               "the problem \"" + read.problem + "\" does not match where reading stopped (byte " +
                   std::to_string(read.readTo) + " of " + std::to_string(text.size()) + ")");
    FUZZ_CHECK(read.version != 0 || read.entries.empty(), "entries read from a text that is no outbox");

    std::size_t logBytes = 0;
    for (const kestu::OutboxEntry& entry : read.entries) {
        FUZZ_CHECK(kestu::CheckOutboxEntry(entry).ok(),
                   "an entry read that could never be kept: " + kestu::CheckOutboxEntry(entry).error());
        if (entry.log()) logBytes += entry.log()->Bytes.size();
    }
    FUZZ_CHECK(logBytes <= read.readTo, "the logs read hold more bytes than were read");

    // The whole entries alone read the same, with nothing left over.
    if (read.version != 0) {
        const kestu::OutboxText prefix = kestu::ParseOutbox(std::string_view(text).substr(0, read.readTo));
        FUZZ_CHECK(prefix.problem.empty() && prefix.entries == read.entries,
                   "the part read, on its own, reads otherwise: " + prefix.problem);
    }

    // Written again in this version's form, the entries read back the same, and write the same text.
    const std::string written = FileText(read.entries);
    const kestu::OutboxText again = kestu::ParseOutbox(written);
    FUZZ_CHECK(again.version == 2 && again.problem.empty() && again.readTo == written.size(),
               "the entries as written cannot be read: " + again.problem + " in " + Quote(written.substr(0, 300)));
    FUZZ_CHECK(again.entries == read.entries, "an entry changes on its way through the file: " + Quote(written.substr(0, 300)));
    FUZZ_CHECK(FileText(again.entries) == written, "writing the entries read back gives another text");
    return 0;
}
