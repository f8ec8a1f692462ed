// One request being served: what a route handler gets from the loop.
#pragma once
#include "http/http_limits.h"
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
