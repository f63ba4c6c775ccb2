#include "engine/switch_status.h"

namespace kestu {

std::string_view LogWord(SwitchStatus status) { return LogWord(KindOf(status)); }

}  // namespace kestu
