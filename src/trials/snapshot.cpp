#include "trials/snapshot.h"

#include <cmath>
#include <sys/stat.h>
#include <fstream>
#include <sstream>
#include <vector>

#include "trials/file_sink.h"
#include "trials/message_text.h"
#include "trials/number_text.h"

namespace kestu {

Snapshot TakeSnapshot(const PlantState& plant, std::optional<ClockTime> nextArrival, long long missedTotal)
{
    Snapshot s;
    s.Clock = plant.Clock;
    s.PumpsAllocated = plant.PumpsAllocated;
    s.PumpsReleasing = plant.PumpsReleasing;
    s.NextArrival = nextArrival;
    s.MissedTotal = missedTotal;
    s.CleaningQueue = plant.CleaningQueue;
    for (int t = 0; t < TankCount; ++t) {
        const TankState& tank = plant.Tanks[t];
        s.Tanks[t] = {tank.Water, tank.OutCount, tank.OutTo, tank.OutShare};
    }
    s.PumpState = plant.PumpState;
    s.PumpHandover = plant.PumpHandover;
    return s;
}

std::string SnapshotText(const Snapshot& s)
{
    std::string out;
    auto line = [&](std::initializer_list<double> values) {
        bool first = true;
        for (double v : values) {
            if (!first) out += ',';
            first = false;
            AppendNumber(out, v);
        }
        out += "\r\n";
    };
    const ClockTime arrival = s.NextArrival.value_or(ClockTime{-1, -1});
    AppendInteger(out, s.Clock.Minutes);
    for (int v : {s.Clock.Seconds, s.PumpsAllocated, s.PumpsReleasing, arrival.Minutes, arrival.Seconds}) {
        out += ',';
        AppendInteger(out, v);
    }
    out += ",\"";
    AppendInteger(out, s.MissedTotal);
    out += "\"\r\n";
    for (int q : s.CleaningQueue) line({double(q)});
    for (const auto& tank : s.Tanks) {
        line({tank.Water, double(tank.OutCount), double(tank.OutTo[1]), tank.OutShare[1]});
        for (int k = 2; k <= MaxOutlets; ++k) line({double(tank.OutTo[k]), tank.OutShare[k]});
    }
    for (int i = 0; i < SwitchCount; ++i) line({double(s.PumpState[i]), double(s.PumpHandover[i])});
    return out;
}

namespace {

struct LineReader {
    std::vector<std::string> lines;
    std::optional<Fault> fault;  // the first fault found
    std::size_t current = 0;

    std::vector<std::string> Fields(std::size_t index, std::size_t count)
    {
        current = index + 1;
        std::vector<std::string> fields;
        std::string field;
        std::istringstream in(lines[index]);
        while (std::getline(in, field, ',')) fields.push_back(field);
        if (!lines[index].empty() && lines[index].back() == ',') fields.emplace_back();
        if (fields.size() != count) {
            Fail("expected " + std::to_string(count) + " fields, found " + std::to_string(fields.size()));
            fields.clear();
        }
        return fields;
    }
    // Water and shares are bounded where they enter the plant; a snapshot
    // holding more than that was not written by it.
    bool Number(const std::string& text, double limit, double& out)
    {
        const auto v = ParseNumber(text);
        if (!v) return Fail("\"" + ForMessage(text, 40) + "\" is not a number");
        if (!(std::fabs(*v) <= limit)) return Fail("\"" + text + "\" is outside -" + FormatNumber(limit) + ".." + FormatNumber(limit));
        out = *v;
        return true;
    }
    bool Whole(const std::string& text, int low, int high, int& out)
    {
        const auto v = ParseInteger(text);
        if (!v || *v < low || *v > high) return Fail("\"" + ForMessage(text, 40) + "\" is not a whole number in " +
                                                     std::to_string(low) + ".." + std::to_string(high));
        out = static_cast<int>(*v);
        return true;
    }
    bool Fail(const std::string& what)
    {
        if (!fault) fault = Fault{"line " + std::to_string(current) + ": " + what, {}, current, {}};
        return false;
    }
};

}  // namespace

namespace {

constexpr int Big = 1000000000;

// The first line: clock, pump counts, next arrival and the missed-bucket caption.
bool ReadHead(LineReader& in, Snapshot& s)
{
    auto head = in.Fields(0, 7);
    if (head.empty()) return false;
    const std::string& caption = head[6];
    if (caption.size() < 2 || caption.front() != '"' || caption.back() != '"')
        return in.Fail("the missed-bucket caption is not quoted");
    const auto total = ParseInteger(std::string_view(caption).substr(1, caption.size() - 2));
    if (!total) return in.Fail("the missed-bucket caption is not a whole number");
    s.MissedTotal = *total;
    ClockTime arrival;
    if (!in.Whole(head[0], 0, Big, s.Clock.Minutes) || !in.Whole(head[1], 0, 59, s.Clock.Seconds) ||
        !in.Whole(head[2], 0, SwitchCount, s.PumpsAllocated) || !in.Whole(head[3], 0, SwitchCount, s.PumpsReleasing) ||
        !in.Whole(head[4], -1, Big, arrival.Minutes) || !in.Whole(head[5], -1, 59, arrival.Seconds))
        return false;
    // A minute of -1 marks a schedule that has run out.
    if (arrival.Minutes != -1) s.NextArrival = arrival;
    return true;
}

// Ten lines a tank: its water, its outlets and their shares.
bool ReadTanks(LineReader& in, Snapshot& s)
{
    for (int t = 0; t < TankCount; ++t) {
        Snapshot::Tank& tank = s.Tanks[t];
        const std::size_t base = 11 + 10 * t;
        auto f = in.Fields(base, 4);
        if (f.empty() || !in.Number(f[0], MaxWater, tank.Water) || !in.Whole(f[1], 0, MaxOutlets, tank.OutCount) ||
            !in.Whole(f[2], -Big, TankRecords - 1, tank.OutTo[1]) || !in.Number(f[3], 1, tank.OutShare[1]))
            return false;
        for (int k = 2; k <= MaxOutlets; ++k) {
            auto g = in.Fields(base + k - 1, 2);
            if (g.empty() || !in.Whole(g[0], -Big, TankRecords - 1, tank.OutTo[k]) || !in.Number(g[1], 1, tank.OutShare[k]))
                return false;
        }
    }
    return true;
}

// The cleaning queue's slots, one a line.
bool ReadQueue(LineReader& in, Snapshot& s)
{
    for (int q = 0; q < QueueSlots; ++q) {
        auto f = in.Fields(1 + q, 1);
        if (f.empty() || !in.Whole(f[0], -1, SwitchCount - 1, s.CleaningQueue[q])) return false;
    }
    return true;
}

// Each switch's pump state and handover.
bool ReadPumps(LineReader& in, Snapshot& s)
{
    for (int i = 0; i < SwitchCount; ++i) {
        auto f = in.Fields(241 + i, 2);
        if (f.empty() || !in.Whole(f[0], -Big, Big, s.PumpState[i]) ||
            !in.Whole(f[1], -1, SwitchCount - 1, s.PumpHandover[i]))
            return false;
    }
    return true;
}

}  // namespace

Result<Snapshot> ParseSnapshot(const std::string& text)
{
    LineReader in;
    for (std::size_t start = 0; start < text.size();) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::size_t stop = end;
        if (stop > start && text[stop - 1] == '\r') --stop;
        in.lines.emplace_back(text, start, stop - start);
        start = end + 1;
    }
    if (in.lines.size() != SnapshotLines)
        return Fault{"the file has " + std::to_string(in.lines.size()) + " lines instead of 287", {}, {}, {}};
    Snapshot s;
    if (!ReadHead(in, s) || !ReadQueue(in, s) || !ReadTanks(in, s) || !ReadPumps(in, s)) return *in.fault;
    return s;
}

std::string SnapshotFileName(const std::string& userId)
{
    return userId + ".DAT";
}

Result<std::string> ReadSnapshotText(const std::string& path)
{
    // A snapshot is a few kilobytes; anything far larger is not one.
    auto text = ReadWholeFile(path, 1 << 20);
    if (!text) return Fault{"cannot be opened", path, {}, {}};
    return text;
}

Result<Snapshot> LoadSnapshotText(const std::string& path, const std::string& text)
{
    auto snapshot = ParseSnapshot(text);
    if (snapshot) return snapshot;
    const Fault& fault = snapshot.fault();
    return Fault{"cannot be read: " + fault.message, path, fault.line, {}};
}

}  // namespace kestu
