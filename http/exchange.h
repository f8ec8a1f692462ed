// One request being served: what a route handler gets from the loop, and
// the exact bytes of every reply head as the reply goes onto the socket.
#pragma once
#include "http/reply_texts.h"
#include "http/request_values.h"
#include "platform/net.h"

// What start-up fixed for the life of the process.
struct ServerContext {
  // The port the listener holds; routes name their temporary image after it
  // and refuse URLs that lead back to it.
  int bound_port = 0;
  // find_tool's answers at start-up, resolved along the search path: read
  // by the banner and GET /ping only, to say whether each tool is there.
  // Routes look the tools up afresh (fastboot may be fetched later).
  char startup_adb_path[260] = {};
  char startup_fastboot_path[260] = {};
};

struct Exchange {
  // Set by the loop before the route runs; routes read them.
  const char* request = nullptr;  // the received head (and any body bytes), NUL-terminated
  int received = 0;               // bytes in `request`
  HeadView head;                  // where its head lines and body lie
  platform::socket_id socket = platform::invalid_socket;
  const char* reply_origin = nullptr;  // the allowed origin the reply names
  const ServerContext* context = nullptr;
  // Kept by receive_body (http/body_reader.h), read by the loop after the
  // route: body bytes read from the socket beyond `request`, so the loop
  // drains only what the request announced and nobody read; and whether
  // the client stopped sending mid-body, so the loop closes at once.
  long long body_taken = 0;
  bool client_stalled = false;
};

// ---- The reply ------------------------------------------------------------

constexpr int head_buffer_size = 1024;

// Formats the 200 head for a body of `body_length` bytes into `out`
// (head_buffer_size bytes); returns the head's length. A `body_length` of
// -1 is a streamed body: no Content-Length, and X-Content-Type-Options:
// nosniff.
int json_head(char* out, const char* content_type, int body_length, const char* origin);

// Sends `count` bytes, stopping silently at the first send that fails.
void send_all(platform::socket_id s, const char* data, int count);

// Sends the 200 head and then the body, each with send_all.
void send_json(platform::socket_id s, const char* origin, const char* body, int body_length);
void send_json(platform::socket_id s, const char* origin, const char* body);

// Sends one of the routes' constant bodies, whose length is fixed.
template <unsigned long N>
void send_fixed_json(platform::socket_id s, const char* origin, const char (&body)[N]) {
  send_json(s, origin, body, static_cast<int>(N - 1));
}

// The 204 reply to a CORS preflight.
void send_preflight(platform::socket_id s, const char* origin);
void send_forbidden(platform::socket_id s, const char* origin);
void send_unknown(platform::socket_id s, const char* origin);
