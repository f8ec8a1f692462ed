// Runs one command line as a hidden child process and captures its output.
#pragma once

namespace platform {

// Sees a child's output as it is read, kept or dropped, on the bridge's
// thread right after each read.
class OutputObserver {
 public:
  virtual void saw(const char* bytes, int n) = 0;
  // Asked on every pass of the read loop, at least every check_every_ms
  // while the child is quiet (0: only when it prints): true ends the child
  // as a limit would (the run ends timed_out). It must be quick.
  virtual bool should_end() { return false; }
  virtual int check_every_ms() const { return 0; }

 protected:
  ~OutputObserver() = default;
};

struct RunLimits {
  // How long to wait for the child to exit once its output has ended.
  unsigned after_output_ms;
  // Bound on the whole run, reading included; the child is ended then.
  unsigned whole_run_ms;
  // When set: once the output shows this text and then nothing after its
  // line comes for stall_ms, the child is ended (a tool waiting for
  // something that is not coming). Output after that line lifts the bound.
  const char* stall_marker = nullptr;
  unsigned stall_ms = 0;
  // When not 0: a child that prints nothing at all for idle_ms is ended.
  unsigned idle_ms = 0;
  // When set: given every byte the child prints, in order.
  OutputObserver* observer = nullptr;
};

// How a run ended. The one such enum of the bridge: the runner above this
// floor (tools/process_runner.h) hands it on as it is.
enum class RunEnd {
  finished,     // the child ended by itself and all its output is in `out`
  output_cut,   // it ended by itself; output past the buffer was dropped
  timed_out,    // a limit ran out and the child was ended (wins over cut)
  not_started,  // the child could not be started; `out` is empty
};

// What a run gives besides the text it left in `out`.
struct ToolRun {
  RunEnd end = RunEnd::not_started;
  // The child started and ended by itself the way a file ends that could
  // not really run (see run_captured); only with finished or output_cut.
  bool crashed = false;
};

// Starts `command_line` (program first, Windows quoting rules, no shell),
// with standard output and standard error both on one pipe and the bridge's
// standard input as its input; the child inherits no other handle.
// Reads the pipe until end of data or until the child has exited and the
// pipe is drained (a process it left behind may keep the pipe open),
// keeping the first `size` - 1 bytes in `out` and dropping the rest, so a
// child never blocks on a full pipe. Then waits for the child as the limits
// say and ends it if it is still running. `out` always ends with a NUL.
//
// not_started is known, not guessed: on POSIX systems a failed exec reports
// its error to the bridge over a close-on-exec pipe (a tool that itself
// exits with 127 has started); on Windows CreateProcess fails. An empty command
// line, or no pipe or process to be had, is not_started too. No shell takes
// part on POSIX either: a program without a path is looked for along PATH
// first, and a file the system cannot run (no program, no "#!" line) is not
// started, where execvp would hand it to /bin/sh. output_cut
// means at least one byte was dropped; a child that fills the buffer
// exactly has finished. Output past the buffer is not a reason to end it.
// The read loop is written once for both systems, in capture_loop.h.
//
// A child never outlives the bridge: Windows puts it in a job object that
// ends it when the bridge's handle closes (children it starts break away,
// so a server it leaves behind lives on); Linux gives it a parent-death
// signal, which programs it starts do not inherit.
//
// `crashed` is set when the child started and ended by itself the way a
// file ends that could not really run: by a crash signal (SIGSEGV, SIGBUS,
// SIGILL, SIGFPE, SIGABRT, SIGSYS, SIGTRAP: a cut copy of a program) or
// with exit status 126 or 127 (the loader missing a library, a script's
// interpreter that cannot run it). The run still ends as it ended
// (finished or output_cut, its output kept): a working tool may crash at
// its end, so whether it counts as started is for the caller to judge from
// its output. Never set on Windows, where CreateProcess refuses a file
// that is no program.
ToolRun run_captured(const char* command_line, char* out, int size, RunLimits limits);

}  // namespace platform
