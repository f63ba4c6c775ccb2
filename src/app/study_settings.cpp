#include "app/study_settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include "data/experiment_db.h"
#include "data/outbox.h"

namespace kestu {

std::string StudyDatabase(const std::string& studyFolder)
{
    const QString ini = QDir(QString::fromStdString(studyFolder)).filePath(QStringLiteral("kestu.ini"));
    if (QFileInfo(ini).isFile()) {
        const QSettings settings(ini, QSettings::IniFormat);
        const QString url = settings.value(QStringLiteral("database/url")).toString().trimmed();
        if (!url.isEmpty()) return url.toStdString();
    }
    return ExperimentDb::DefaultPath(studyFolder);
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
