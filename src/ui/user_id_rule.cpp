#include "ui/user_id_rule.h"

namespace kestu::ui {

bool IsValidUserId(const QString& id)
{
    return kestu::IsValidUserId(id.toStdString());
}

QString UserIdRuleText()
{
    return QStringLiteral("A User ID may only hold letters (A-Z, a-z), digits, \"_\" and \"-\", "
                          "at most %1 characters.")
        .arg(MaxUserIdLength);
}

}  // namespace kestu::ui
