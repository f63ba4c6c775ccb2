#pragma once

#include <string>
#include <string_view>

namespace kestu {

// Text from a file or a command line, fit to be shown in a message: control
// bytes, a byte-order mark and bytes that are not UTF-8 are written as \xNN,
// so a message never carries a line break, a NUL or an invisible character
// that the file held. Longer text is cut at `limit` bytes with "...".
std::string ForMessage(std::string_view text, std::size_t limit = 200);

}  // namespace kestu
