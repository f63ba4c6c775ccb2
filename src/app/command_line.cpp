#include "app/command_line.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string_view>

#include "app/study_settings.h"
#include "data/database_location.h"
#include "kestu_version.h"
#include "trials/file_sink.h"
#include "trials/message_text.h"

namespace kestu {

namespace {
CommandLine Answer(CommandLine::Action action, std::string message)
{
    CommandLine line;
    line.action = action;
    line.message = std::move(message);
    return line;
}

std::string HelpText(const std::string& userStudy)
{
    const std::string shown = userStudy.empty() ? std::string("Kestu in your home folder") : ForMessage(userStudy, 1000);
    return std::string(KestuUsage) +
           "\n"
           "Kestu runs a participant's trials of the water plant and records them in a\n"
           "study folder: the database KESTU.MDB (or a kestu.ini naming the lab's\n"
           "server), the trial logs and the snapshots.\n"
           "\n"
           "  --data STUDY_FOLDER  the study in STUDY_FOLDER, which must hold its database\n"
           "  --seat NAME          this seat's name on the lab page (default: kestu.ini's\n"
           "                       [seat] name=, else the computer's name)\n"
           "  --lsl                send the trials' markers on this seat's Lab Streaming\n"
           "                       Layer stream (kestu.ini's [markers] lsl=on does too)\n"
           "  --version            print the program's version\n"
           "  --help               print this help\n"
           "\n"
           "Without --data the study is the one beside the program, if that folder holds\n"
           "a KESTU.MDB or a kestu.ini; otherwise it is your own study folder\n"
           "  " + shown + "\n"
           "which the first start creates with the standard scenario. A lab's seats put\n"
           "their kestu.ini there.\n";
}
}  // namespace

CommandLine ReadCommandLine(int argc, const char* const* argv, const std::string& userStudy)
{
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") return Answer(CommandLine::Action::Help, HelpText(userStudy));
        if (arg == "--version")
            return Answer(CommandLine::Action::Version, std::string("kestu ") + KestuVersion + "\n");
        if (arg == "--data") {
            if (i + 1 >= argc)
                return Answer(CommandLine::Action::Wrong, std::string("kestu: --data needs the study folder after it\n") + KestuUsage);
            line.folder = argv[++i];
            if (line.folder.empty())
                return Answer(CommandLine::Action::Wrong, std::string("kestu: the study folder after --data is empty\n") + KestuUsage);
            continue;
        }
        if (arg == "--seat") {
            if (i + 1 >= argc)
                return Answer(CommandLine::Action::Wrong, std::string("kestu: --seat needs the seat's name after it\n") +
                                                            KestuUsage);
            line.seat = argv[++i];
            if (line.seat.empty() || line.seat.size() > 200)
                return Answer(CommandLine::Action::Wrong, std::string("kestu: the seat's name after --seat must be 1 to 200 bytes long\n") + KestuUsage);
            continue;
        }
        if (arg == "--lsl") {
            line.lsl = true;
            continue;
        }
        return Answer(CommandLine::Action::Wrong, "kestu: unknown argument \"" + ForMessage(arg) + "\"\n" + KestuUsage);
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

bool HoldsStudy(const std::string& folder)
{
    if (folder.empty()) return false;
    struct stat info {};
    return ::lstat((folder + "/KESTU.MDB").c_str(), &info) == 0 || ::lstat((folder + "/kestu.ini").c_str(), &info) == 0;
}

std::string UserStudyFolder()
{
    std::string home;
    if (const char* set = std::getenv("HOME"); set && *set) {
        home = set;
    } else if (const passwd* account = ::getpwuid(::getuid()); account && account->pw_dir && *account->pw_dir) {
        home = account->pw_dir;
    }
    if (home.empty()) return {};
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    return (home == "/" ? std::string() : home) + "/Kestu";
}

bool PrepareUserStudyFolder(const std::string& folder, bool& create, std::string& problem)
{
    create = false;
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        problem = "kestu: cannot create the study folder \"" + ForMessage(folder) + "\": " + SystemReason(errno);
        return false;
    }
    DIR* entries = ::opendir(folder.c_str());
    if (!entries) {
        problem = "kestu: cannot read the study folder \"" + ForMessage(folder) + "\": " + SystemReason(errno);
        return false;
    }
    bool empty = true;
    while (const dirent* entry = ::readdir(entries)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") empty = false;
    }
    ::closedir(entries);
    create = empty;
    return true;
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
