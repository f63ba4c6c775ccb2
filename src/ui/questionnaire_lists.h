#pragma once

#include <QString>
#include <QStringList>

namespace kestu::ui {

// The questionnaire's drop-down entries, in the order they are offered.
QStringList ClassStatusEntries();  // ends with "Other"
QStringList MajorEntries();        // 25 majors grouped by faculty, then "Other"
QStringList SexEntries();

inline const QString OtherEntry = QStringLiteral("Other");

// The number a text starts with, as the age check reads it: leading blanks
// skipped, an optional sign, digits with an optional decimal part; 0 when the
// text does not start with a number ("20 years" gives 20, "abc" gives 0).
double LeadingNumber(const QString& text);

}  // namespace kestu::ui
