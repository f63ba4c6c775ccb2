#include "app/study_settings.h"

#include <QDir>
#include <QFileInfo>
#include <sys/stat.h>

#include <cerrno>

#include "data/experiment_db.h"
#include "data/outbox.h"
#include "data/study_ini.h"
#include "trials/file_sink.h"

namespace kestu {

namespace {

// The folder's kestu.ini as read; none when the folder has none.
Result<std::optional<StudyIni>> FolderIni(const std::string& studyFolder)
{
    const std::string ini = studyFolder + "/kestu.ini";
    struct stat info {};
    if (::lstat(ini.c_str(), &info) != 0) {
        if (errno == ENOENT) return std::optional<StudyIni>();
        return Fault{"cannot be read: " + SystemReason(errno), ini};
    }
    // Anything of that name is read, and what is not a readable kestu.ini is
    // refused: the seat never runs on another database than the one meant.
    const auto text = ReadWholeFile(ini, 1 << 20);
    if (!text) return Fault{"cannot be read: " + text.error(), ini};
    auto settings = ReadStudyIni(text.value(), ini);
    if (!settings) return settings.fault();
    return std::optional<StudyIni>(std::move(settings).value());
}

}  // namespace

Result<std::string> StudyDatabase(const std::string& studyFolder)
{
    auto ini = FolderIni(studyFolder);
    if (!ini) return ini.fault();
    if (!ini.value()) return ExperimentDb::DefaultPath(studyFolder);
    return ini.value()->database.text;
}

Result<SeatSettings> StudySeat(const std::string& studyFolder)
{
    auto ini = FolderIni(studyFolder);
    if (!ini) return ini.fault();
    SeatSettings seat;
    if (ini.value()) {
        seat.name = ini.value()->seatName;
        seat.reports = ini.value()->seatReports.value_or(true);
        seat.lslMarkers = ini.value()->lslMarkers.value_or(false);
    }
    return seat;
}

std::string DeliverKeptResults(const std::string& studyFolder, const std::string& database)
{
    const std::string outbox = OutboxPath(studyFolder);
    // Only a folder with an outbox, or with what an earlier delivery set aside, has anything to say.
    if (!QFileInfo::exists(QString::fromStdString(outbox)) &&
        QDir(QString::fromStdString(studyFolder.empty() ? "." : studyFolder))
            .entryList({QStringLiteral("KESTU.OUTBOX.unread-*"), QStringLiteral("KESTU.OUTBOX.undelivered-*")},
                       QDir::Files)
            .isEmpty())
        return {};
    const auto delivery = DeliverOutbox(outbox, database);
    if (!delivery) return "Kestu: kept results not delivered: " + delivery.error();
    const Delivery& d = delivery.value();
    const bool nothingKept = d.delivered == 0 && d.Complete();
    if (nothingKept) return {};
    std::string text = "Kestu: " + outbox + ": " + d.Summary();
    for (const std::string& problem : d.problems) text += "\nKestu: " + problem;
    for (const std::string& file : d.waiting) text += "\nKestu: " + file + " holds results that were not delivered";
    return text;
}

}  // namespace kestu
