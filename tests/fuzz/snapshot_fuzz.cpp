// The snapshot reader fed arbitrary text: a snapshot is saved by the program
// and read back at a restore. The properties are listed in README.md.

#include "fuzz_check.h"
#include "trials/snapshot.h"

using namespace kestu::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto read = kestu::ParseSnapshot(std::string(reinterpret_cast<const char*>(data), size));
    if (!read) {
        FUZZ_CHECK(!read.error().empty(), "a refused snapshot gives no reason");
        return 0;
    }

    const std::string written = kestu::SnapshotText(read.value());
    int lines = 0, bareLineFeeds = 0;
    for (std::size_t at = 0; (at = written.find('\n', at)) != std::string::npos; ++at, ++lines)
        bareLineFeeds += at == 0 || written[at - 1] != '\r';
    FUZZ_CHECK(lines == kestu::SnapshotLines && bareLineFeeds == 0 && written.back() == '\n',
               "the written snapshot is not 287 lines ended by CR LF: " + Quote(written.substr(0, 200)));
    const auto again = kestu::ParseSnapshot(written);
    FUZZ_CHECK(again.ok(), "the snapshot as written is refused: " + again.error());

    const kestu::Snapshot &a = read.value(), &b = again.value();
    FUZZ_CHECK(a.Clock == b.Clock && a.PumpsAllocated == b.PumpsAllocated && a.PumpsReleasing == b.PumpsReleasing &&
                   a.NextArrival == b.NextArrival && a.MissedTotal == b.MissedTotal &&
                   a.CleaningQueue == b.CleaningQueue && a.PumpState == b.PumpState && a.PumpHandover == b.PumpHandover,
               "the first line, the cleaning queue or the pump lines change on the way through the file");
    for (std::size_t t = 0; t < a.Tanks.size(); ++t) {
        const auto &x = a.Tanks[t], &y = b.Tanks[t];
        const std::string tank = "tank " + std::to_string(t);
        FUZZ_CHECK(SameToFifteenDigits(y.Water, x.Water), tank + " water " + Exact(x.Water) + " reads back as " + Exact(y.Water));
        FUZZ_CHECK(x.OutCount == y.OutCount && x.OutTo == y.OutTo, tank + ": its outlets change");
        for (std::size_t k = 1; k < x.OutShare.size(); ++k) {
            FUZZ_CHECK(SameToFifteenDigits(y.OutShare[k], x.OutShare[k]),
                       tank + " share " + std::to_string(k) + " " + Exact(x.OutShare[k]) + " reads back as " + Exact(y.OutShare[k]));
        }
    }
    FUZZ_CHECK(kestu::SnapshotText(b) == written, "writing the snapshot read back gives another text");
    return 0;
}
