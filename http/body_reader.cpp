#include "http/body_reader.h"

#include "http/exchange.h"
#include "http/request_values.h"
#include "tools/scratch.h"

namespace {

// Large receives and writes: far fewer system calls per MiB (which is what
// limits the rate under Wine), while the body is never held whole.
struct BodyBuffers {
  static constexpr char name[] = "body reader";
  char chunk[receive_chunk];
};
Scratch<BodyBuffers> body_scratch;

constexpr char continue_line[] = "HTTP/1.1 100 Continue\r\n\r\n";

int ms_between(BodyPace::Clock::time_point from, BodyPace::Clock::time_point to) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
  return ms <= 0 ? 0 : (ms > 0x7fffffff ? 0x7fffffff : static_cast<int>(ms));
}

}  // namespace

BodyPace::BodyPace(const BodyLimits& limits, long long left, Clock::time_point start)
    : limits_(limits),
      left_(left),
      end_(start + std::chrono::milliseconds(limits.total_ms)),
      last_bytes_(start),
      window_end_(start + std::chrono::milliseconds(limits.window_ms)),
      window_needed_(left < limits.window_bytes ? left : limits.window_bytes) {}

int BodyPace::wait_ms(Clock::time_point now) {
  if (now >= end_) return 0;
  // Windows that ended: each must have had its bytes.
  while (now >= window_end_) {
    if (window_needed_ > 0) return 0;
    window_end_ += std::chrono::milliseconds(limits_.window_ms);
    window_needed_ = left_ < limits_.window_bytes ? left_ : limits_.window_bytes;
  }
  const Clock::time_point silence_end = last_bytes_ + std::chrono::milliseconds(limits_.window_ms);
  if (now >= silence_end) return 0;
  Clock::time_point until = window_end_ < end_ ? window_end_ : end_;
  if (silence_end < until) until = silence_end;
  const int ms = ms_between(now, until);
  return ms > 0 ? ms : 1;
}

void BodyPace::took(long long n, Clock::time_point now) {
  last_bytes_ = now;
  left_ -= n;
  window_needed_ -= n;
}

bool receive_body(Exchange& ex, long long announced, BodyWriter& writer, const BodyLimits& limits) {
  const int head = ex.head.body;
  const long long first_part = ex.received - head;
  if (expects_continue(ex.head) && first_part < announced) {
    send_all(ex.socket, continue_line, static_cast<int>(sizeof continue_line - 1));
  }
  long long written = first_part < announced ? first_part : announced;
  if (!writer.write(ex.request + head, static_cast<int>(written))) return false;

  ScratchHold<BodyBuffers> scratch(body_scratch);
  auto& chunk = scratch->chunk;
  BodyPace pace(limits, announced - written, BodyPace::Clock::now());
  while (written < announced) {
    const long long left = announced - written;
    const int want = left < receive_chunk ? static_cast<int>(left) : receive_chunk;
    const int wait = pace.wait_ms(BodyPace::Clock::now());
    const int n = wait == 0 ? platform::recv_timed_out : platform::receive_some(ex.socket, chunk, want, wait);
    if (n == platform::recv_timed_out) {
      // Nothing within the window: look whether the pace still holds.
      if (wait != 0 && pace.wait_ms(BodyPace::Clock::now()) != 0) continue;
      ex.client_stalled = true;
      return false;
    }
    if (n <= 0) return false;
    pace.took(n, BodyPace::Clock::now());
    ex.body_taken += n;
    if (!writer.write(chunk, n)) return false;
    written += n;
  }
  return true;
}
