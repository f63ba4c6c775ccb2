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
    if (!QFileInfo::exists(QString::fromStdString(outbox))) return {};
    const auto delivery = DeliverOutbox(outbox, database);
    if (!delivery) return "Kestu: kept results not delivered: " + delivery.error();
    const Delivery& d = delivery.value();
    std::string line = "Kestu: " + std::to_string(d.delivered) + " kept results delivered";
    if (d.left > 0) line += ", " + std::to_string(d.left) + " still kept (" + d.problem + ")";
    return line;
}

}  // namespace kestu
