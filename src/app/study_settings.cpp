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

Result<std::string> StudyDatabase(const std::string& studyFolder)
{
    const std::string ini = studyFolder + "/kestu.ini";
    struct stat info {};
    if (::lstat(ini.c_str(), &info) != 0) {
        if (errno == ENOENT) return ExperimentDb::DefaultPath(studyFolder);
        return Fault{"cannot be read: " + SystemReason(errno), ini};
    }
    // Anything of that name is read, and what is not a readable kestu.ini is
    // refused: the seat never runs on another database than the one meant.
    const auto text = ReadWholeFile(ini, 1 << 20);
    if (!text) return Fault{"cannot be read: " + text.error(), ini};
    auto settings = ReadStudyIni(text.value(), ini);
    if (!settings) return settings.fault();
    return settings.value().database.text;
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
