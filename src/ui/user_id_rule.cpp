#include "ui/user_id_rule.h"

namespace kestu::ui {

bool IsValidUserId(const QString& id)
{
    return kestu::IsValidUserId(id.toStdString());
}

QString UserIdRuleText()
{
    // Non-breaking hyphens in the ranges, so a wrapped rule never splits "a-z".
    return QStringLiteral("A User ID may only hold letters (A\u2011Z, a\u2011z), digits, \"_\" and \"-\", "
                          "at most %1 characters.")
        .arg(MaxUserIdLength);
}

}  // namespace kestu::ui
