// A marker recorder for the round-trip test, on the same library the seat
// loads (KESTU_LSL_LIBRARY): resolves the stream whose source ID is given,
// writes its description's XML to INFO, then each marker it receives to
// MARKERS as "TIMESTAMP<TAB>TEXT", until the trial's last marker (its end or
// its stop) or until no marker has come for the given seconds.
// Run it only inside a network namespace of its own: LSL's discovery multicasts.
// Usage: marker_inlet SOURCE_ID INFO MARKERS [SECONDS]
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <string>

#include "markers/lsl_library.h"

int main(int argc, char** argv)
{
    using kestu::markers::LslApi;
    if (argc < 4) {
        std::cerr << "usage: marker_inlet SOURCE_ID INFO MARKERS [SECONDS]\n";
        return 2;
    }
    const std::string sourceId = argv[1];
    const double patience = argc > 4 ? std::atof(argv[4]) : 30.0;
    std::string problem;
    if (!kestu::markers::OnlyLoopbackNetwork(problem)) {
        std::cerr << "marker_inlet: refused: " << problem << "; run it in a namespace of its own (unshare -n)\n";
        return 1;
    }
    const auto library = kestu::markers::LslLibrary::Load(problem);
    if (!library) {
        std::cerr << "marker_inlet: " << problem << "\n";
        return 1;
    }
    const LslApi& lsl = library->api();
    LslApi::StreamInfo found = nullptr;
    if (lsl.resolve_byprop(&found, 1, "source_id", sourceId.c_str(), 1, patience) < 1 || !found) {
        std::cerr << "marker_inlet: no stream with source ID " << sourceId << " within " << patience << " s\n";
        return 1;
    }
    LslApi::Inlet inlet = lsl.create_inlet(found, 360, 0, 1);
    std::int32_t error = 0;
    lsl.open_stream(inlet, patience, &error);
    if (error != 0) {
        std::cerr << "marker_inlet: the stream " << sourceId << " did not open (error " << error << ")\n";
        return 1;
    }
    LslApi::StreamInfo full = lsl.get_fullinfo(inlet, patience, &error);
    if (error != 0 || !full) {
        std::cerr << "marker_inlet: the stream's description did not come (error " << error << ")\n";
        return 1;
    }
    char* xml = lsl.get_xml(full);
    std::ofstream(argv[2]) << xml;
    lsl.destroy_string(xml);
    std::ofstream markers(argv[3]);
    markers << std::setprecision(17);
    std::cerr << "marker_inlet: receiving from " << sourceId << "\n";
    for (;;) {
        char* sample[1] = {nullptr};
        const double stamp = lsl.pull_sample_str(inlet, sample, 1, patience, &error);
        if (error != 0) {
            std::cerr << "marker_inlet: the stream failed (error " << error << ")\n";
            return 1;
        }
        if (stamp == 0.0 || !sample[0]) {
            std::cerr << "marker_inlet: no marker for " << patience << " s\n";
            return 1;
        }
        const std::string text = sample[0];
        lsl.destroy_string(sample[0]);
        markers << stamp << '\t' << text << '\n' << std::flush;
        if (text.starts_with("{\"event\":\"end\"") || text.starts_with("{\"event\":\"stop\"")) break;
    }
    lsl.destroy_inlet(inlet);
    return 0;
}
