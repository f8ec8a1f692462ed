// The per-user log-on entry that starts the bridge with --autostart.
#pragma once

// Writes (or rewrites) the entry for this copy of the program, so that it
// always names the copy that ran last: the quoted full path, then
// "--autostart". Windows: the Run value TalvikWebBridge. Linux: the XDG
// autostart entry talvik-web-bridge.desktop. Silent on every failure; the
// entry is never removed.
void register_autostart();
