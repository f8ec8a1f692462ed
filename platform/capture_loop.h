// The one read loop of run_captured, shared by both systems. Each system
// gives a child-process type with five calls (process_posix.cpp,
// process_win32.cpp); this file holds everything about deadlines, quiet
// bounds, the buffer and how the run ended, so the systems cannot drift
// apart on those.
//
//   bool start(const char* command_line)
//       Starts the child with its output on a pipe; false when it could
//       not be started (no child is left then).
//   Seen wait(int ms)
//       Waits up to `ms` (0: only looks) for output to read or for the
//       child to exit. It may return early with nothing seen; the loop then
//       looks at its deadlines and asks again.
//   int read(char* into, int want)
//       Called after wait saw output: 1 to `want` bytes read, read_end at
//       end of output (or when the pipe failed), read_nothing when nothing
//       was there after all.
//   bool wait_exit(Clock::time_point deadline)
//       Waits until the child has exited or the deadline passes; true when
//       it has exited.
//   bool end()
//       Ends the child if it still runs; true when it had to be ended.
//   bool crashed() const
//       After end: the child ended by itself by a crash signal or with exit
//       status 126 or 127 (see run_captured).
#pragma once
#include <algorithm>
#include <chrono>

#include "platform/process.h"
#include "platform/stall_watch.h"

namespace platform {
namespace capture {

using Clock = std::chrono::steady_clock;

// Milliseconds until `t`: 0 once it has passed, at most 0x7fffffff.
inline int ms_until(Clock::time_point t) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(t - Clock::now()).count();
  if (left <= 0) return 0;
  return left > 0x7fffffff ? 0x7fffffff : static_cast<int>(left);
}

// What one wait saw; both may be set.
struct Seen {
  bool output = false;  // there is something to read, or the end of output
  bool exited = false;  // the child has exited
};

// Results of read besides a byte count.
constexpr int read_end = 0;
constexpr int read_nothing = -1;

template <class Child>
ToolRun run(const char* command_line, char* out, int size, const RunLimits& limits) {
  out[0] = '\0';
  const auto whole_deadline = Clock::now() + std::chrono::milliseconds(limits.whole_run_ms);
  Child child;
  if (!child.start(command_line)) return ToolRun{RunEnd::not_started, false};

  // Reading: ends at end of output, the whole-run bound, a quiet bound,
  // the observer's word, or once the child has exited and what it wrote has been read. Output past
  // the buffer is read and dropped, so the child never blocks on the pipe.
  int held = 0;
  bool exited = false;
  bool cut_short = false;
  bool cut = false;
  StallWatch stall(limits);
  char dropped[4096];
  for (;;) {
    int left = ms_until(whole_deadline);
    if (left == 0) break;
    if (stall.expired()) {
      cut_short = true;
      break;
    }
    if (limits.observer != nullptr) {
      if (limits.observer->should_end()) {
        cut_short = true;
        break;
      }
      if (limits.observer->check_every_ms() > 0) left = std::min(left, limits.observer->check_every_ms());
    }
    left = std::min(left, stall.ms_left());
    const Seen seen = child.wait(exited ? 0 : left);
    if (seen.output) {
      const bool full = held >= size - 1;
      char* into = full ? dropped : out + held;
      const int want = full ? static_cast<int>(sizeof dropped) : size - 1 - held;
      const int n = child.read(into, want);
      if (n == read_end) break;
      if (n == read_nothing) continue;
      if (full) {
        cut = true;
      } else {
        held += n;
        out[held] = '\0';
      }
      stall.saw_output(into, n);
      if (limits.observer != nullptr) limits.observer->saw(into, n);
      // Once the child is gone and the buffer is full, one read has told
      // whether output was cut; what a process it left behind keeps
      // writing is not waited for.
      if (full && exited) break;
      continue;
    }
    if (exited) break;  // the child is gone and the pipe is drained
    exited = seen.exited;
  }
  out[held] = '\0';

  bool in_time = !cut_short && ms_until(whole_deadline) > 0;
  if (!cut_short) {
    child.wait_exit(std::min(whole_deadline, Clock::now() + std::chrono::milliseconds(limits.after_output_ms)));
  }
  if (child.end()) in_time = false;
  if (!in_time) return ToolRun{RunEnd::timed_out, false};
  return ToolRun{cut ? RunEnd::output_cut : RunEnd::finished, child.crashed()};
}

}  // namespace capture
}  // namespace platform
