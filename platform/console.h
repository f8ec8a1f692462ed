// The console the bridge was started from.
#pragma once

namespace platform {

// Autostart mode: lets go of the console so no window stays open (Windows),
// or points the standard streams at /dev/null (elsewhere).
void release_console();

// Waits for one character on standard input (Enter in a console).
void wait_for_key();

}  // namespace platform
