// One request being served: what a route handler gets from the loop.
#pragma once
#include "platform/net.h"
#include "server/request_values.h"

constexpr int request_buffer_size = 4096;  // at most 4,095 bytes and a NUL

// What start-up fixed for the life of the process.
struct ServerContext {
  int bound_port = 0;
  char adb_path[260] = {};       // find_tool("adb") at start-up
  char fastboot_path[260] = {};  // find_tool("fastboot") at start-up
};

struct Exchange {
  const char* request = nullptr;  // the received head (and any body bytes), NUL-terminated
  int received = 0;               // bytes in `request`
  HeadView head;                  // where its head lines and body lie
  platform::socket_id socket = platform::invalid_socket;
  const char* reply_origin = nullptr;
  const ServerContext* context = nullptr;
  // Body bytes the handler read from the socket beyond `request`; the loop
  // drains what the request announced and nobody read.
  long long body_taken = 0;
  // Set by a handler whose client stopped sending mid-body: the loop then
  // closes at once instead of waiting for the rest.
  bool client_stalled = false;
};
