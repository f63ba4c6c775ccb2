#pragma once

#include <QRegularExpression>
#include <QString>

#include "trials/participant.h"

namespace kestu::ui {

// A User ID becomes part of the trial log and snapshot file names, so it is
// held to characters every file system accepts.
inline constexpr int MaxUserIdLength = kestu::MaxUserIdLength;

// True for 1 to 8 letters, digits, "_" or "-".
bool IsValidUserId(const QString& id);

// The message shown when a User ID breaks the rule.
QString UserIdRuleText();

}  // namespace kestu::ui
