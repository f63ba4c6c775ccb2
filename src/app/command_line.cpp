#include "app/command_line.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string_view>

#include "app/study_settings.h"
#include "data/database_location.h"
#include "trials/message_text.h"

namespace kestu {

CommandLine ReadCommandLine(int argc, const char* const* argv)
{
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") return {CommandLine::Action::Help, {}, KestuUsage};
        if (arg == "--data") {
            if (i + 1 >= argc)
                return {CommandLine::Action::Wrong, {},
                        std::string("kestu: --data needs the study folder after it\n") + KestuUsage};
            line.folder = argv[++i];
            if (line.folder.empty())
                return {CommandLine::Action::Wrong, {},
                        std::string("kestu: the study folder after --data is empty\n") + KestuUsage};
            continue;
        }
        if (arg == "--seat") {
            if (i + 1 >= argc)
                return {CommandLine::Action::Wrong, {}, std::string("kestu: --seat needs the seat's name after it\n") +
                                                            KestuUsage};
            line.seat = argv[++i];
            if (line.seat.empty() || line.seat.size() > 200)
                return {CommandLine::Action::Wrong, {},
                        std::string("kestu: the seat's name after --seat must be 1 to 200 bytes long\n") + KestuUsage};
            continue;
        }
        if (arg == "--lsl") {
            line.lsl = true;
            continue;
        }
        return {CommandLine::Action::Wrong, {},
                "kestu: unknown argument \"" + ForMessage(arg) + "\"\n" + KestuUsage};
    }
    return line;
}

std::string ProgramFolder()
{
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return {};
    const std::string exe(path, static_cast<std::size_t>(length));
    const auto slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash == 0 ? 1 : slash);
}

bool ResolveStudyFolder(std::string& folder, std::string& problem)
{
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        problem = "kestu: the study folder \"" + ForMessage(folder) + "\" does not exist";
        return false;
    }
    if (char* absolute = ::realpath(folder.c_str(), nullptr)) {
        folder = absolute;
        std::free(absolute);
    }
    return true;
}

std::string MissingDatabaseProblem(const std::string& studyFolder, const std::string& programFolder)
{
    const auto database = StudyDatabase(studyFolder);
    if (!database || LooksLikeServerUrl(database.value())) return {};
    struct stat info {};
    if (::stat(database.value().c_str(), &info) == 0 || errno != ENOENT) return {};
    const std::string beside = programFolder.empty() ? std::string() : programFolder + "/kestu-initdb";
    const std::string initdb = !beside.empty() && ::access(beside.c_str(), X_OK) == 0 ? beside : "kestu-initdb";
    return "kestu: there is no database " + ForMessage(database.value(), 1000) +
           "; nothing was written. Create one with the standard scenario with:\n  " +
           ForMessage(ShellWord(initdb), 1000) + " " + ForMessage(ShellWord(database.value()), 1000);
}

void PrepareRuntimeFolder()
{
    const char* set = std::getenv("XDG_RUNTIME_DIR");
    if (set && *set) return;
    const uid_t uid = ::getuid();
    const std::string folder = "/tmp/runtime-" + std::to_string(uid);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return;
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != uid) return;
    // A folder this user made with another mode (or under a wider umask) is made private.
    if ((info.st_mode & 07777) != 0700 && ::chmod(folder.c_str(), 0700) != 0) return;
    ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
}

std::string ShellWord(const std::string& text)
{
    constexpr std::string_view plain = "_-./+:@%,=";
    bool quote = text.empty();
    for (const char c : text) {
        const bool letterOrDigit = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!letterOrDigit && plain.find(c) == std::string_view::npos) quote = true;
    }
    if (!quote) return text;
    std::string word = "'";
    for (const char c : text) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
}

}  // namespace kestu
