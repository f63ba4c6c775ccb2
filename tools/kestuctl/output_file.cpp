#include "kestuctl/output_file.h"

#include <QSaveFile>

namespace kestu::ctl {

std::string WriteOutput(const std::optional<std::string>& file, const std::string& text, Console& console)
{
    if (!file || *file == "-") {
        console.out << text;
        console.out.flush();
        return console.out.good() ? std::string{} : "cannot write to the standard output";
    }
    // A half-written file would look like a short result; QSaveFile leaves
    // the old file (or none) unless everything was written.
    QSaveFile save(QString::fromStdString(*file));
    if (!save.open(QIODevice::WriteOnly)) return *file + ": cannot be written (" + save.errorString().toStdString() + ")";
    const qint64 written = save.write(text.data(), static_cast<qint64>(text.size()));
    if (written != static_cast<qint64>(text.size()) || !save.commit()) {
        return *file + ": cannot be written (" + save.errorString().toStdString() + ")";
    }
    return {};
}

}  // namespace kestu::ctl
