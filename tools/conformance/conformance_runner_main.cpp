// conformance-runner CASE_DIR OUT_DIR: runs one reference trial through the
// core and writes U.1, U.DAT (when the feedforward button was pressed),
// results.json and replay_results.json into OUT_DIR.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <unistd.h>

#include "conformance/case_runner.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: conformance-runner CASE_DIR OUT_DIR\n";
        return 2;
    }
    namespace fs = std::filesystem;
    const fs::path out = argv[2];
    kestu::ScenarioTables tables;
    std::vector<kestu::conformance::ScriptEvent> script;
    if (const std::string error = kestu::conformance::LoadCase(argv[1], tables, script); !error.empty()) {
        std::cerr << "conformance-runner: " << error << "\n";
        return 1;
    }
    fs::create_directories(out);
    const auto work = fs::temp_directory_path() / ("kestu-conformance-" + std::to_string(::getpid()));
    const auto result = kestu::conformance::RunCase(tables, script, work.string());
    fs::remove_all(work);

    auto write = [&](const char* name, const std::string& text) {
        std::ofstream(out / name, std::ios::binary) << text;
    };
    write("U.1", result.trialLog);
    if (result.snapshot) write("U.DAT", *result.snapshot);
    write("results.json", result.resultsJson);
    write("replay_results.json", result.replayResultsJson);
    return 0;
}
