#pragma once

#include <optional>
#include <string_view>

namespace kestu {

enum class SwitchStatus { Off = 0, Clean = 1, On = 2, Queued = 3 };

// The word a status change is logged under: "OFF", "CLEAN", "ON", "QUEUED".
std::string_view LogWord(SwitchStatus status);
std::optional<SwitchStatus> StatusFromLogWord(std::string_view word);

}  // namespace kestu
