#include "server/request_loop.h"

#include <chrono>
#include <cstring>

#include "http/http_limits.h"
#include "http/request_values.h"
#include "server/origin.h"
#include "server/routes.h"
#include "tools/scratch.h"

namespace {

// The request loop's buffers: the request head and, after the reply, room
// for what the client still sends and nobody reads.
struct LoopBuffers {
  static constexpr char name[] = "request loop";
  char request[request_buffer_size];
  char dropped[1 << 20];
};
Scratch<LoopBuffers> loop_scratch;

using Clock = std::chrono::steady_clock;

int ms_left(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

// How long and how much drain_unread reads.
struct DrainLimits {
  long long bytes;
  int total_ms;
  int window_ms;
  long long window_bytes;  // fewer in a window ends the drain
};

// After the reply, reads and drops what the client still sends, so that it
// sees the reply rather than a reset connection: the body bytes the request
// announced and nobody read or, when that count is unknown (a head too long
// for the buffer, a body framing the bridge does not speak), everything up
// to the client's close.
void drain_unread(const Exchange& ex, char (&dropped)[sizeof LoopBuffers::dropped]) {
  if (ex.client_stalled) return;
  const bool head_cut = ex.head.body < 0 && ex.received >= request_buffer_size - 1;
  DrainLimits limits{drain_byte_cap, drain_total_ms, drain_total_ms, 0};
  if (!head_cut && body_framing_is_plain(ex.head)) {
    long long in_buffer = ex.head.body < 0 ? 0 : ex.received - ex.head.body;
    long long unread = announced_length(ex.head) - in_buffer - ex.body_taken;
    if (unread <= 0) return;
    limits = {unread < drain_body_cap ? unread : drain_body_cap, drain_body_total_ms, drain_window_ms,
              drain_window_bytes};
  }
  platform::shutdown_send(ex.socket);
  const auto deadline = Clock::now() + std::chrono::milliseconds(limits.total_ms);
  auto window_end = Clock::now() + std::chrono::milliseconds(limits.window_ms);
  long long in_window = 0;
  long long unread = limits.bytes;
  while (unread > 0) {
    if (ms_left(window_end) == 0) {
      if (in_window < limits.window_bytes) return;  // a trickle or silence
      in_window = 0;
      window_end = Clock::now() + std::chrono::milliseconds(limits.window_ms);
    }
    int left = ms_left(deadline);
    if (left == 0) return;
    if (ms_left(window_end) < left) left = ms_left(window_end);
    int want = unread < static_cast<long long>(sizeof dropped) ? static_cast<int>(unread) : sizeof dropped;
    int n = platform::receive_some(ex.socket, dropped, want, left);
    if (n == platform::recv_timed_out) continue;
    if (n <= 0) return;
    unread -= n;
    in_window += n;
  }
}

}  // namespace

int read_request_head(platform::socket_id s, char* buffer) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(head_wait_ms);
  int received = 0;
  buffer[0] = '\0';
  while (received < request_buffer_size - 1) {
    int left = ms_left(deadline);
    if (left == 0) break;
    int n = platform::receive_some(s, buffer + received, request_buffer_size - 1 - received, left);
    if (n <= 0) break;
    received += n;
    buffer[received] = '\0';
    if (head_length(buffer, received) >= 0) break;
  }
  return received;
}

void serve_forever(platform::socket_id listener, const ServerContext& context) {
  ScratchHold<LoopBuffers> scratch(loop_scratch);
  auto& request = scratch->request;
  for (;;) {
    platform::Socket connection(platform::accept_connection(listener));
    if (!connection.valid()) continue;
    int received = read_request_head(connection.get(), request);
    if (received <= 0) continue;  // nothing came: closed without a reply

    Exchange ex;
    ex.request = request;
    ex.received = received;
    ex.head = view_head(request, received);
    ex.socket = connection.get();
    ex.reply_origin = reply_origin(ex.head);
    ex.context = &context;
    route_request(ex);
    drain_unread(ex, scratch->dropped);
  }
}
