#pragma once

namespace kestu {

// Milliseconds since this process started (from the kernel's record of the
// start on Linux; elsewhere since the first call).
double MillisecondsSinceProcessStart();

}  // namespace kestu
