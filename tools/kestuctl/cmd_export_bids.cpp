#include <fcntl.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <regex>
#include <system_error>

#include "analysis/bids_events.h"
#include "analysis/bids_files.h"
#include "kestu_version.h"
#include "kestuctl/command.h"
#include "kestuctl/commands.h"
#include "kestuctl/load_scenario.h"
#include "kestuctl/output_file.h"
#include "trials/message_text.h"
#include "trials/utc_stamp.h"

namespace kestu::ctl {

using namespace analysis;
namespace fs = std::filesystem;

namespace {

constexpr const char* DefaultTask = "kestu";
constexpr const char* GeneratorName = "kestuctl export-bids";

std::string Shown(const fs::path& path) { return ForMessage(path.string()); }

// What stands at OUTDIR before the export.
enum class OutFolder { Missing, Empty, EarlierExport };

// True when `description` is a dataset_description.json this command wrote.
bool WrittenByUs(const fs::path& description)
{
    QFile file(QString::fromStdString(description.string()));
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
    const QJsonArray generated = doc.object().value("GeneratedBy").toArray();
    return !generated.isEmpty() && generated.first().toObject().value("Name").toString() == GeneratorName;
}

// The first entry of an earlier export that this command would not have
// written, as a path inside it; nothing when there is none.
std::optional<std::string> Stranger(const fs::path& folder)
{
    static const std::regex topFile(R"((dataset_description\.json|README|participants\.(tsv|json)))");
    static const std::regex subject(R"(sub-[A-Za-z0-9]+)");
    static const std::regex events(R"(sub-([A-Za-z0-9]+)_task-[A-Za-z0-9]+_run-[0-9]+_events\.(tsv|json))");
    std::error_code failed;
    for (const fs::directory_entry& top : fs::directory_iterator(folder, failed)) {
        const std::string name = top.path().filename().string();
        if (top.is_regular_file(failed) && !top.is_symlink(failed) && std::regex_match(name, topFile)) continue;
        if (!top.is_directory(failed) || top.is_symlink(failed) || !std::regex_match(name, subject)) return name;
        for (const fs::directory_entry& kind : fs::directory_iterator(top.path(), failed)) {
            const std::string inner = name + "/" + kind.path().filename().string();
            if (kind.path().filename() != "beh" || !kind.is_directory(failed) || kind.is_symlink(failed)) return inner;
            for (const fs::directory_entry& file : fs::directory_iterator(kind.path(), failed)) {
                const std::string leaf = file.path().filename().string();
                std::smatch match;
                if (!file.is_regular_file(failed) || file.is_symlink(failed) || !std::regex_match(leaf, match, events) ||
                    "sub-" + match[1].str() != name)
                    return inner + "/" + leaf;
            }
        }
    }
    if (failed) return "(" + failed.message() + ")";
    return std::nullopt;
}

Result<OutFolder> LookAt(const fs::path& out)
{
    using Found = Result<OutFolder>;
    std::error_code failed;
    const fs::file_status status = fs::symlink_status(out, failed);
    if (status.type() == fs::file_type::not_found) return OutFolder::Missing;
    if (failed) return Found::Fail(Shown(out) + ": cannot be looked at (" + failed.message() + ")");
    if (status.type() != fs::file_type::directory) return Found::Fail(Shown(out) + ": is there and is not a folder");
    if (fs::is_empty(out, failed) && !failed) return OutFolder::Empty;
    if (failed) return Found::Fail(Shown(out) + ": cannot be read (" + failed.message() + ")");
    if (!WrittenByUs(out / "dataset_description.json"))
        return Found::Fail(Shown(out) +
                           ": the folder is not empty and holds no earlier export of this command; name a new or "
                           "empty folder");
    if (const auto stranger = Stranger(out))
        return Found::Fail(Shown(out) + ": it holds an earlier export, but also " + ForMessage(*stranger) +
                           ", which the export did not write; move that away or name another folder");
    return OutFolder::EarlierExport;
}

// Writes the folder's entries to the disk.
Status SyncFolder(const fs::path& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Status::Fail(Shown(folder) + ": cannot be opened to sync it (" + std::strerror(errno) + ")");
    const bool synced = ::fsync(fd) == 0;
    const int why = errno;
    ::close(fd);
    if (!synced) return Status::Fail(Shown(folder) + ": cannot be synced (" + std::strerror(why) + ")");
    return Ok();
}

Status WriteDataset(const fs::path& staging, const std::vector<BidsFile>& files, Console& console)
{
    for (const BidsFile& file : files) {
        const fs::path target = staging / file.path;
        std::error_code failed;
        fs::create_directories(target.parent_path(), failed);
        if (failed)
            return Status::Fail(Shown(target.parent_path()) + ": the folder cannot be made (" + failed.message() + ")");
        if (Status written = WriteFile(target.string(), file.bytes, console); !written) return written;
    }
    // Each file was synced; the folders that name them are synced too.
    std::vector<fs::path> folders{staging};
    for (const BidsFile& file : files) {
        for (fs::path p = (staging / file.path).parent_path(); p != staging; p = p.parent_path()) folders.push_back(p);
    }
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    for (const fs::path& folder : folders)
        if (Status synced = SyncFolder(folder); !synced) return synced;
    return Ok();
}

// Puts the whole staged dataset at `out`, where nothing, an empty folder or
// an earlier export stands. An earlier export is moved aside first and
// removed once the new one is in place; on a failure it is put back.
Status PutInPlace(const fs::path& staging, const fs::path& out, OutFolder before, const std::string& stamp)
{
    std::error_code failed;
    if (before != OutFolder::EarlierExport) {
        fs::rename(staging, out, failed);  // an empty folder is replaced
        if (failed) return Status::Fail(Shown(out) + ": the export cannot be put there (" + failed.message() + ")");
        return SyncFolder(out.parent_path());
    }
    const fs::path aside = out.string() + ".replaced-" + stamp;
    fs::rename(out, aside, failed);
    if (failed)
        return Status::Fail(Shown(out) + ": the earlier export cannot be moved aside (" + failed.message() + ")");
    fs::rename(staging, out, failed);
    if (failed) {
        std::error_code back;
        fs::rename(aside, out, back);
        return Status::Fail(Shown(out) + ": the export cannot be put there (" + failed.message() + ")" +
                            (back ? "; the earlier export is in " + Shown(aside) : ""));
    }
    if (Status synced = SyncFolder(out.parent_path()); !synced) return synced;
    fs::remove_all(aside, failed);
    if (failed)
        return Status::Fail(Shown(out) + ": the new export is in place, but the earlier one, moved to " + Shown(aside) +
                            ", cannot be removed (" + failed.message() + ")");
    return Ok();
}

int RunExportBids(const ParsedArgs& args, Console& console)
{
    const std::string task = args.Value("--task").value_or(DefaultTask);
    if (!IsBidsLabel(task)) return UsageError(args, console, "--task is letters and digits only, not \"" + task + "\"");
    const std::string outText = args.Positional(1);
    if (outText.empty()) return UsageError(args, console, "OUTDIR names the folder the dataset goes to");
    std::error_code failed;
    fs::path out = fs::absolute(fs::path(outText), failed).lexically_normal();
    if (!out.has_filename()) out = out.parent_path();  // "bids/" names the folder bids
    if (failed || !out.has_filename())
        return UsageError(args, console, "OUTDIR \"" + outText + "\" names no folder the dataset can go to");

    const std::string location = args.Positional(0);
    auto db = OpenDatabase(location, OpenMode::ReadOnly, console);
    if (!db) return Failure(args, console, db.error());
    auto tables = db.value()->ReadScenario();
    if (!tables) return Failure(args, console, tables.error());
    auto dataset = ReadBidsDataset(*db.value(), location, tables.value(), task);
    if (!dataset) return Failure(args, console, dataset.error());
    for (const LeftOut& left : dataset.value().leftOut) {
        console.err << "kestuctl export-bids: left out " << ForMessage(left.userId)
                    << (left.trial ? ", trial " + std::to_string(*left.trial) : std::string()) << ": " << left.why << "\n";
    }
    if (dataset.value().participants.empty())
        return Failure(args, console, "no trial of the study could be exported, so nothing was written");
    const auto studyId = db.value()->StudyId();
    const std::string name = studyId && !studyId.value().empty() ? "Kestu study " + studyId.value() : "Kestu study";
    auto files = BidsFiles(dataset.value(), name, KestuVersion);
    if (!files) return Failure(args, console, files.error() + "; nothing was written");

    auto before = LookAt(out);
    if (!before) return Failure(args, console, before.error());
    if (before.value() == OutFolder::Missing) {
        fs::create_directories(out.parent_path(), failed);
        if (failed)
            return Failure(args, console, Shown(out.parent_path()) + ": the folder cannot be made (" + failed.message() + ")");
    }
    // The dataset is made whole beside OUTDIR and then put in its place, so
    // that OUTDIR never holds half an export.
    const std::string stamp = UtcStamp();
    const fs::path staging = out.string() + ".partial-" + stamp;
    if (!fs::create_directory(staging, failed) || failed)
        return Failure(args, console,
                       Shown(staging) + ": the folder cannot be made" + (failed ? " (" + failed.message() + ")" : " (it is there)"));
    Status done = WriteDataset(staging, files.value(), console);
    if (done) done = PutInPlace(staging, out, before.value(), stamp);
    if (!done) {
        fs::remove_all(staging, failed);
        return Failure(args, console, done.error());
    }
    std::size_t runs = 0;
    for (const BidsParticipant& p : dataset.value().participants) runs += p.runs.size();
    const std::size_t people = dataset.value().participants.size(), left = dataset.value().leftOut.size();
    console.out << Shown(out) << ": " << people << (people == 1 ? " participant, " : " participants, ") << runs
                << (runs == 1 ? " run" : " runs") << " of task " << task;
    if (left) console.out << "; " << left << (left == 1 ? " trial or log" : " trials or logs") << " left out";
    console.out << "\n";
    return ExitOk;
}

}  // namespace

const Command ExportBidsCommand{
    "export-bids",
    "export-bids DB OUTDIR [--task NAME]",
    "Write the study's behaviour as a BIDS dataset.",
    "Replays every trial log of DB (beside an SQLite file, or the copies in\n"
    "table TrialLogs) and writes a BIDS dataset into OUTDIR:\n"
    "  dataset_description.json, README,\n"
    "  participants.tsv and .json: each participant with the questionnaire's\n"
    "    answers (age, sex, school year, major; never names),\n"
    "  sub-LABEL/beh/sub-LABEL_task-NAME_run-N_events.tsv and .json: one per\n"
    "    trial N, with onset, duration, trial_type, tick, clock, switch, tank,\n"
    "    status, owed, missed, missed_total and restored_to.\n"
    "LABEL is the User ID with only its letters and digits; where that changes\n"
    "any User ID, participants.tsv keeps the original in column user_id, and\n"
    "User IDs that would share a label get \"x2\", \"x3\", ... after it. Onsets\n"
    "are the ticks since the trial's start times its milliseconds per tick,\n"
    "found from its row (each sidecar says how). NAME (letters and digits)\n"
    "defaults to kestu.\n"
    "OUTDIR must be missing, empty, or an earlier export of this command, which\n"
    "is replaced whole; the new dataset is made beside it and put in its place\n"
    "only once every file is written. Trials that cannot be exported (no log,\n"
    "a log that cannot be replayed, no speed) are listed on standard error.\n\n"
    "Example:\n"
    "  kestuctl export-bids KESTU.MDB bids/\n",
    {{"DB", "OUTDIR"}, 2, {"--task"}, {}},
    RunExportBids,
};

}  // namespace kestu::ctl
