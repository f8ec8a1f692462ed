// Shared by both process runners: notices a child that has gone quiet,
// either for good (nothing at all for idle_ms) or after printing its
// "waiting" line (nothing more for stall_ms).
#pragma once
#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/process.h"

namespace platform {

class StallWatch {
 public:
  explicit StallWatch(const RunLimits& limits)
      : marker_(limits.stall_marker), stall_ms_(limits.stall_ms), idle_ms_(limits.idle_ms) {}

  // After each read, kept or not: `kept` is the text held so far.
  void saw_output(const char* kept) {
    last_output_ = Clock::now();
    if (marker_ != nullptr && !armed_) armed_ = std::strstr(kept, marker_) != nullptr;
  }

  // One of the quiet bounds has run out.
  bool expired() const { return ms_left() == 0; }

  // How long the caller may wait before looking again.
  int ms_left() const {
    long long bound = 0x7fffffff;
    if (idle_ms_ > 0) bound = idle_ms_;
    if (armed_) bound = std::min<long long>(bound, stall_ms_);
    if (bound == 0x7fffffff) return 0x7fffffff;
    auto quiet = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - last_output_).count();
    return quiet >= bound ? 0 : static_cast<int>(bound - quiet);
  }

 private:
  using Clock = std::chrono::steady_clock;
  const char* marker_;
  unsigned stall_ms_;
  unsigned idle_ms_;
  bool armed_ = false;
  Clock::time_point last_output_ = Clock::now();
};

}  // namespace platform
