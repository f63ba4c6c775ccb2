// Runs a fuzz target's entry point over saved inputs without libFuzzer, so the
// normal build replays every input that once found a fault (and the seed
// corpus) under ctest. Arguments are files or folders; a folder's files run
// in name order, names starting with "." skipped. A failed property aborts,
// so each input runs in a child process of its own: one run names every
// input that fails, not just the first.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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
        std::vector<fs::path> found;
        if (fs::is_directory(argv[i])) {
            for (const auto& entry : fs::directory_iterator(argv[i])) {
                if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') found.push_back(entry.path());
            }
        } else if (fs::exists(argv[i])) {
            found.push_back(argv[i]);
        } else {
            std::printf("%s: not there, skipped\n", argv[i]);  // a target without regressions yet
        }
        std::sort(found.begin(), found.end());
        inputs.insert(inputs.end(), found.begin(), found.end());
    }
    // Targets make their files under TMPDIR; whatever an aborted input leaves
    // there goes with this folder.
    std::string scratch = (fs::temp_directory_path() / "kestu-fuzz-inputs-XXXXXX").string();
    if (!mkdtemp(scratch.data())) return std::perror("mkdtemp"), 2;
    setenv("TMPDIR", scratch.c_str(), 1);

    std::vector<fs::path> failed;
    for (const fs::path& path : inputs) {
        std::printf("%s\n", path.c_str());
        std::fflush(stdout);
        const pid_t child = fork();
        if (child == 0) {
            std::ifstream in(path, std::ios::binary);
            if (!in) std::_Exit(2);
            // A string's data is never null, as libFuzzer's never is, even for no bytes.
            const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
            std::exit(0);  // runs the target's own clean-up
        }
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            failed.push_back(path);
        }
    }
    std::error_code ignored;
    fs::remove_all(scratch, ignored);
    for (const fs::path& path : failed) std::printf("FAILED: %s\n", path.c_str());
    std::printf("%zu of %zu inputs passed\n", inputs.size() - failed.size(), inputs.size());
    return failed.empty() ? 0 : 1;
}
