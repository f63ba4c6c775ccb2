#include "ui/questionnaire_lists.h"

#include <QRegularExpression>

namespace kestu::ui {

QStringList ClassStatusEntries()
{
    return {QStringLiteral("Freshmen"), QStringLiteral("Sophomore"), QStringLiteral("Junior"),
            QStringLiteral("Senior"),   QStringLiteral("Graduate"),  OtherEntry};
}

QStringList MajorEntries()
{
    return {
        // Business
        QStringLiteral("Accounting"), QStringLiteral("Finance"), QStringLiteral("Management"),
        QStringLiteral("Marketing"), QStringLiteral("Management Information Systems"),
        // Engineering
        QStringLiteral("Civil Engineering"), QStringLiteral("Computer Engineering"),
        QStringLiteral("Electrical Engineering"), QStringLiteral("Industrial Engineering"),
        QStringLiteral("Mechanical Engineering"),
        // Arts and Sciences
        QStringLiteral("Biology"), QStringLiteral("Chemistry"), QStringLiteral("Computer Science"),
        QStringLiteral("Economics"), QStringLiteral("English"), QStringLiteral("History"),
        QStringLiteral("Mathematics"), QStringLiteral("Physics"), QStringLiteral("Political Science"),
        QStringLiteral("Psychology"), QStringLiteral("Sociology"),
        // Education
        QStringLiteral("Elementary Education"), QStringLiteral("Secondary Education"),
        // Health Sciences
        QStringLiteral("Nursing"), QStringLiteral("Kinesiology"),
        OtherEntry,
    };
}

QStringList SexEntries()
{
    return {QStringLiteral("Male"), QStringLiteral("Female")};
}

double LeadingNumber(const QString& text)
{
    static const QRegularExpression number(QStringLiteral("\\A\\s*([+-]?(\\d+(\\.\\d*)?|\\.\\d+))"));
    const QRegularExpressionMatch match = number.match(text);
    return match.hasMatch() ? match.captured(1).toDouble() : 0.0;
}

}  // namespace kestu::ui
