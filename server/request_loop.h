// The bridge's only loop: one connection at a time, for ever.
#pragma once
#include "platform/net.h"
#include "server/exchange.h"

// Time a client has to send its request head.
constexpr int head_wait_ms = 10000;
// After the reply, what the client still sends (an unread body, the rest of
// an over-long head) is read and dropped for at most this long and this
// many bytes; then the connection is closed whatever is still coming.
constexpr int drain_total_ms = 10000;
constexpr long long drain_byte_cap = 64LL * 1024 * 1024;

// Reads the request head into `buffer` until it holds the blank line,
// request_buffer_size - 1 bytes, or head_wait_ms have passed, and stores a
// NUL after it. Returns the bytes read (0: nothing came, no reply is due).
int read_request_head(platform::socket_id s, char* buffer);

// Accepts and serves connections for ever.
[[noreturn]] void serve_forever(platform::socket_id listener, const ServerContext& context);
