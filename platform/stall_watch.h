// Shared by both process runners: notices a child that printed its
// "waiting" line and has been silent since.
#pragma once
#include <chrono>
#include <cstring>

#include "platform/process.h"

namespace platform {

class StallWatch {
 public:
  explicit StallWatch(const RunLimits& limits) : marker_(limits.stall_marker), stall_ms_(limits.stall_ms) {}

  // After each read: `out` is everything read so far, NUL-terminated.
  void saw_output(const char* out) {
    last_output_ = Clock::now();
    if (marker_ != nullptr && !armed_) armed_ = std::strstr(out, marker_) != nullptr;
  }

  // The marker came and then nothing for stall_ms.
  bool expired() const { return armed_ && ms_left() == 0; }

  // How long the caller may wait before looking again.
  int ms_left() const {
    if (!armed_) return 0x7fffffff;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    last_output_ + std::chrono::milliseconds(stall_ms_) - Clock::now())
                    .count();
    return left <= 0 ? 0 : static_cast<int>(left);
  }

 private:
  using Clock = std::chrono::steady_clock;
  const char* marker_;
  unsigned stall_ms_;
  bool armed_ = false;
  Clock::time_point last_output_ = Clock::now();
};

}  // namespace platform
