// Shared by both process runners: notices a child that has gone quiet,
// either for good (nothing at all for idle_ms) or while the last thing it
// printed is its "waiting" line (nothing after it for stall_ms). Output
// after the waiting line disarms that second bound; a later waiting line
// arms it again. The line is looked for in everything the child prints,
// kept or not.
#pragma once
#include <algorithm>
#include <chrono>

#include "platform/process.h"
#include "platform/stream_words.h"

namespace platform {

class StallWatch {
 public:
  explicit StallWatch(const RunLimits& limits)
      : marker_(limits.stall_marker), stall_ms_(limits.stall_ms), idle_ms_(limits.idle_ms) {
    if (marker_ != nullptr && marker_words_.add(marker_) < 0) marker_ = nullptr;
  }
  StallWatch(const StallWatch&) = delete;
  StallWatch& operator=(const StallWatch&) = delete;

  // After each read, with the bytes just read.
  void saw_output(const char* bytes, int n) {
    last_output_ = Clock::now();
    if (marker_ == nullptr || n <= 0) return;
    const long long piece_start = marker_words_.total();
    marker_words_.feed(bytes, n);
    int from = 0;
    const long long marker_end = marker_words_.last_end(0);
    if (marker_end > piece_start) {
      // A new waiting line: what follows it in this piece decides.
      armed_ = true;
      in_waiting_line_ = true;
      from = static_cast<int>(marker_end - piece_start);
    }
    for (int i = from; i < n && armed_; ++i) {
      if (in_waiting_line_) {
        if (bytes[i] == '\n') in_waiting_line_ = false;
      } else {
        armed_ = false;  // the tool said something after its waiting line
      }
    }
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
  StreamWords marker_words_;
  unsigned stall_ms_;
  unsigned idle_ms_;
  bool armed_ = false;
  bool in_waiting_line_ = false;
  Clock::time_point last_output_ = Clock::now();
};

}  // namespace platform
