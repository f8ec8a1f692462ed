// What the bridge does when it is stopped from outside.
#pragma once

namespace platform {

// From this call on, a stop from outside deletes file `path` before the
// process ends, so that an image being received or flashed at that moment
// is not left on disk. POSIX: SIGINT, SIGTERM and SIGHUP (each one the
// bridge was started ignoring stays ignored); the process then ends by that
// signal as it would have. Windows: Ctrl+C, Ctrl+Break, the console window
// closed, log-off and shut-down; a tool run still holding the file open is
// ended first. `path` is copied (at most max_path - 1 bytes; a longer one is
// not taken). Called once, at start-up.
void delete_on_stop(const char* path);

}  // namespace platform
