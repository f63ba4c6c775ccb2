// Runs a fuzz target's entry point over saved inputs (files, or folders whose
// files run in name order) without libFuzzer, under ctest. Each input is
// named before it runs: when a property aborts the run, the last name is at fault.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        if (!fs::is_directory(argv[i])) {
            if (fs::exists(argv[i])) inputs.push_back(argv[i]);  // a target without regressions has no folder for them
            continue;
        }
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(argv[i])) {
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') found.push_back(entry.path());
        }
        std::sort(found.begin(), found.end());
        inputs.insert(inputs.end(), found.begin(), found.end());
    }
    for (const fs::path& path : inputs) {
        std::fprintf(stderr, "%s\n", path.c_str());  // unbuffered: named before it runs
        std::ifstream in(path, std::ios::binary);
        // A string's data is never null, as libFuzzer's never is, even for no bytes.
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (!in) return std::fprintf(stderr, "%s: cannot be read\n", path.c_str()), 2;
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("%zu inputs passed\n", inputs.size());
    return 0;
}
