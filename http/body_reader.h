// Reading a request's body for a route that keeps it. The server owns the
// socket: it answers "Expect: 100-continue", applies the silence rule and
// keeps the counts the request loop needs to drain what nobody read.
#pragma once
#include <chrono>

#include "http/exchange.h"
#include "http/http_limits.h"

// How slowly a body may arrive before it counts as cut off.
struct BodyLimits {
  int window_ms;           // each window, and the longest silence
  long long window_bytes;  // at least this much in every window, or all that is left
  long long total_ms;      // the whole body within this
};
constexpr BodyLimits upload_body_limits{body_silence_ms, body_window_bytes, body_total_ms};

// Decides whether a body still arrives fast enough. Plain arithmetic over
// the clock readings it is given, so that tests can drive it.
class BodyPace {
 public:
  using Clock = std::chrono::steady_clock;
  BodyPace(const BodyLimits& limits, long long left, Clock::time_point start);
  // How long the next receive may wait, from `now`; 0 when the body is too
  // slow already (a window ended short, or the whole bound has passed).
  int wait_ms(Clock::time_point now);
  // `n` more bytes arrived at `now`.
  void took(long long n, Clock::time_point now);

 private:
  BodyLimits limits_;
  long long left_;
  Clock::time_point end_;         // the whole body's bound
  Clock::time_point last_bytes_;  // when bytes last arrived
  Clock::time_point window_end_;
  long long window_needed_;  // bytes still owed in this window
};

// Where a body goes; the route gives one (an image file).
class BodyWriter {
 public:
  // Takes `count` bytes; false when they could not be kept.
  virtual bool write(const char* data, int count) = 0;

 protected:
  ~BodyWriter() = default;
};

// Streams the `announced` bytes of the body into `writer`: first those that
// came with the head, then the rest from the socket in chunks of
// receive_chunk bytes. A client that waits for "100 Continue" gets it first
// (the route calls this once every check that needs no body has passed).
// Bytes read from the socket are added to ex.body_taken; a client that
// sends too slowly for `limits` (BodyPace) marks ex.client_stalled, so the
// loop closes at once. True when all `announced` bytes reached the writer;
// false at the first failed receive or write, or once the body is too slow.
bool receive_body(Exchange& ex, long long announced, BodyWriter& writer, const BodyLimits& limits = upload_body_limits);
