// The bridge's only loop: one connection at a time, for ever.
#pragma once
#include "platform/net.h"
#include "server/exchange.h"

// Time a client has to send its request head.
constexpr int head_wait_ms = 10000;
// After the reply, what the client still sends is read and dropped, so
// that it sees the reply rather than a reset; then the connection is closed
// whatever is still coming.
//
// A body of known length (plain Content-Length framing) is drained up to
// its announced length, at most 2 GiB, while it keeps arriving: at least
// drain_window_bytes in every drain_window_ms, and for drain_body_total_ms
// in all. A browser that had its large upload refused sends the rest at
// full speed and then reads the reply.
constexpr long long drain_body_cap = 2147483648LL;
constexpr int drain_body_total_ms = 120000;
constexpr int drain_window_ms = 5000;
constexpr long long drain_window_bytes = 65536;
// When the length is unknown (the head did not fit in the buffer, a body
// framing the bridge does not speak): at most this long and this many bytes.
constexpr int drain_total_ms = 10000;
constexpr long long drain_byte_cap = 64LL * 1024 * 1024;

// Reads the request head into `buffer` until it holds the blank line,
// request_buffer_size - 1 bytes, or head_wait_ms have passed, and stores a
// NUL after it. Returns the bytes read (0: nothing came, no reply is due).
int read_request_head(platform::socket_id s, char* buffer);

// Accepts and serves connections for ever.
[[noreturn]] void serve_forever(platform::socket_id listener, const ServerContext& context);
