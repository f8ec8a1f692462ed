// Loopback TCP for the bridge: one listener, blocking accepted connections,
// receives with a deadline. Every socket is created so that child processes
// never inherit it.
#pragma once
#include <cstdint>

namespace platform {

using socket_id = std::intptr_t;
constexpr socket_id invalid_socket = -1;

// Starts the socket layer (Winsock 2.2 on Windows; nothing elsewhere).
// Returns false when it cannot be started.
bool net_start();

// Creates a listener bound to 127.0.0.1:port with the given backlog.
// Returns invalid_socket when the socket, the bind or the listen fails.
socket_id listen_loopback(int port, int backlog);

// Waits for the next connection; invalid_socket when accept failed.
socket_id accept_connection(socket_id listener);

// Result of receive_some besides a positive byte count.
constexpr int recv_closed = 0;
constexpr int recv_error = -1;
constexpr int recv_timed_out = -2;

// Receives at most `size` bytes, waiting at most `timeout_ms` for the first
// byte. Bytes already waiting are taken at once; only when none are ready
// does it wait, so a stream that keeps coming costs one call per chunk.
// Returns the byte count, recv_closed, recv_error or recv_timed_out.
int receive_some(socket_id s, char* buffer, int size, int timeout_ms);

// One send call, waiting while the connection cannot take more; returns
// the bytes sent, or <= 0 when the send failed.
int send_some(socket_id s, const char* data, int size);

// Result of send_now besides a byte count of 0 or more.
constexpr int send_failed = -1;

// One send call that never waits: the bytes the connection takes at once
// (0 when it can take none now), or send_failed when the connection is
// gone or broken. For progress lines, which are dropped rather than waited
// for.
int send_now(socket_id s, const char* data, int size);

// Stops sending on the connection (the peer sees end of data).
void shutdown_send(socket_id s);

void close_socket(socket_id s);

// Owns one socket and closes it when it goes out of scope.
class Socket {
 public:
  Socket() = default;
  explicit Socket(socket_id id) : id_(id) {}
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  Socket(Socket&& other) noexcept : id_(other.id_) { other.id_ = invalid_socket; }
  Socket& operator=(Socket&& other) noexcept {
    if (this != &other) {
      reset();
      id_ = other.id_;
      other.id_ = invalid_socket;
    }
    return *this;
  }
  ~Socket() { reset(); }
  void reset() {
    if (id_ != invalid_socket) close_socket(id_);
    id_ = invalid_socket;
  }
  socket_id get() const { return id_; }
  bool valid() const { return id_ != invalid_socket; }

 private:
  socket_id id_ = invalid_socket;
};

}  // namespace platform
