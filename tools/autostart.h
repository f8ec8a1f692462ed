// The per-user log-on entry that starts the bridge with --autostart.
#pragma once

// Writes (or rewrites) the entry for this copy of the program. Silent on
// every failure.
void register_autostart();
