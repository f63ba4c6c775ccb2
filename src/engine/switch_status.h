#pragma once

#include <optional>
#include <string_view>

namespace kestu {

enum class SwitchStatus { Off = 0, Clean = 1, On = 2, Queued = 3 };

// What a trial-log record stands for: the status a switch was set to, or one
// of the marks the session writes itself: the trial stopped before its end
// (Stop), the plant saved to the snapshot file (Save) or put back from it
// (Restore).
enum class LogKind { On, Clean, Off, Queued, Stop, Save, Restore };

struct LogKindWord {
    LogKind kind;
    std::string_view word;
};

// The word each kind is logged under. The writer, the reader and their
// messages all take the words from here.
inline constexpr LogKindWord LogKindWords[] = {
    {LogKind::On, "ON"},     {LogKind::Clean, "CLEAN"}, {LogKind::Off, "OFF"},   {LogKind::Queued, "QUEUED"},
    {LogKind::Stop, "STOP"}, {LogKind::Save, "FF"},     {LogKind::Restore, "FFR"},
};

constexpr std::string_view LogWord(LogKind kind)
{
    for (const LogKindWord& k : LogKindWords)
        if (k.kind == kind) return k.word;
    return {};
}

constexpr std::optional<LogKind> LogKindFromWord(std::string_view word)
{
    for (const LogKindWord& k : LogKindWords)
        if (k.word == word) return k.kind;
    return std::nullopt;
}

constexpr LogKind KindOf(SwitchStatus status)
{
    switch (status) {
    case SwitchStatus::Off: return LogKind::Off;
    case SwitchStatus::Clean: return LogKind::Clean;
    case SwitchStatus::On: return LogKind::On;
    case SwitchStatus::Queued: return LogKind::Queued;
    }
    return LogKind::Off;
}

// The word a status change is logged under.
std::string_view LogWord(SwitchStatus status);


}  // namespace kestu
