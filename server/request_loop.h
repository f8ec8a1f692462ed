// The bridge's only loop: one connection at a time, for ever.
#pragma once
#include "http/exchange.h"
#include "platform/net.h"

// Reads the request head into `buffer` until it holds the blank line,
// request_buffer_size - 1 bytes, or head_wait_ms have passed, and stores a
// NUL after it. Returns the bytes read (0: nothing came, no reply is due).
int read_request_head(platform::socket_id s, char* buffer);

// Accepts and serves connections for ever.
[[noreturn]] void serve_forever(platform::socket_id listener, const ServerContext& context);
