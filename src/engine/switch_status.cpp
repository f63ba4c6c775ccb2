#include "engine/switch_status.h"

namespace kestu {

std::string_view LogWord(SwitchStatus status)
{
    switch (status) {
    case SwitchStatus::Off: return "OFF";
    case SwitchStatus::Clean: return "CLEAN";
    case SwitchStatus::On: return "ON";
    case SwitchStatus::Queued: return "QUEUED";
    }
    return "OFF";
}

std::optional<SwitchStatus> StatusFromLogWord(std::string_view word)
{
    for (auto s : {SwitchStatus::Off, SwitchStatus::Clean, SwitchStatus::On, SwitchStatus::Queued})
        if (LogWord(s) == word) return s;
    return std::nullopt;
}

}  // namespace kestu
