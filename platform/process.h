// Runs one command line as a hidden child process and captures its output.
#pragma once

namespace platform {

struct RunLimits {
  // How long to wait for the child to exit once its output has ended.
  unsigned after_output_ms;
  // Bound on the whole run, reading included; the child is ended then.
  unsigned whole_run_ms;
};

// Starts `command_line` (program first, Windows quoting rules, no shell),
// with standard output and standard error both on one pipe and the bridge's
// standard input as its input; the child inherits no other handle.
// Reads the pipe into `out` until end of data, until `size` - 1 bytes are
// held, or until the child has exited and the pipe is drained (a process it
// left behind may keep the pipe open). Then waits for the child as the
// limits say and ends it if it is still running. `out` always ends with a
// NUL; a child that cannot be started leaves it empty at once.
void run_captured(const char* command_line, char* out, int size, RunLimits limits);

}  // namespace platform
