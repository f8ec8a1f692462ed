// The per-user log-on entry that starts the bridge with --autostart.
#pragma once
#include "platform/autostart.h"

// Writes (or rewrites) the entry for this copy of the program, so that it
// always names the copy that ran last: the quoted full path, then
// "--autostart". Windows: the Run value TalvikWebBridge. Linux: the XDG
// autostart entry talvik-web-bridge.desktop. Says what was written, for the
// banner; the entry is never removed.
platform::LogonWritten register_autostart();
