// Runs a fuzz target's entry point over saved inputs without libFuzzer, so the
// normal build replays every input that once found a fault (and the seed
// corpus) under ctest. Arguments are files or folders; a folder's files run
// in name order, names starting with "." skipped. A failed property aborts,
// so each input runs in a child process of its own: one run names every
// input that fails, not just the first.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

bool Hidden(const fs::path& path) { return path.filename().string().rfind('.', 0) == 0; }

}  // namespace

int main(int argc, char** argv)
{
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const fs::path arg(argv[i]);
        std::error_code error;
        if (fs::is_directory(arg, error)) {
            std::vector<fs::path> found;
            for (const auto& entry : fs::directory_iterator(arg))
                if (entry.is_regular_file() && !Hidden(entry.path())) found.push_back(entry.path());
            std::sort(found.begin(), found.end());
            inputs.insert(inputs.end(), found.begin(), found.end());
        } else if (fs::is_regular_file(arg, error)) {
            inputs.push_back(arg);
        } else if (!fs::exists(arg, error)) {
            // A target without regressions has no folder for them yet.
            std::printf("%s: not there, skipped\n", argv[i]);
        } else {
            std::fprintf(stderr, "%s: neither a file nor a folder\n", argv[i]);
            return 2;
        }
    }
    // Targets that need files of their own make them under TMPDIR; whatever
    // an aborted input leaves there goes with this folder.
    std::string scratch = (fs::temp_directory_path() / "kestu-fuzz-inputs-XXXXXX").string();
    if (!mkdtemp(scratch.data())) {
        std::perror("mkdtemp");
        return 2;
    }
    setenv("TMPDIR", scratch.c_str(), 1);
    struct RemoveScratch {
        std::string dir;
        ~RemoveScratch()
        {
            std::error_code ignored;
            fs::remove_all(dir, ignored);
        }
    } removeScratch{scratch};

    std::vector<fs::path> failed;
    for (const fs::path& path : inputs) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "%s: cannot be read\n", path.c_str());
            return 2;
        }
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::printf("%s (%zu bytes)\n", path.c_str(), bytes.size());
        std::fflush(stdout);
        std::fflush(stderr);
        const pid_t child = fork();
        if (child < 0) {
            std::perror("fork");
            return 2;
        }
        if (child == 0) {
            // An empty vector may hand out a null pointer; libFuzzer never does.
            static const std::uint8_t none = 0;
            const auto* data = bytes.empty() ? &none : reinterpret_cast<const std::uint8_t*>(bytes.data());
            LLVMFuzzerTestOneInput(data, bytes.size());
            std::exit(0);  // runs the target's own clean-up
        }
        int status = 0;
        if (waitpid(child, &status, 0) != child) {
            std::perror("waitpid");
            return 2;
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) failed.push_back(path);
    }
    for (const fs::path& path : failed) std::printf("FAILED: %s\n", path.c_str());
    std::printf("%zu of %zu inputs passed\n", inputs.size() - failed.size(), inputs.size());
    return failed.empty() ? 0 : 1;
}
