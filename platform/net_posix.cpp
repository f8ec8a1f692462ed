#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/net.h"

namespace platform {

bool net_start() { return true; }

socket_id listen_loopback(int port, int backlog) {
  int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return invalid_socket;
  // Without this Linux refuses a port that still has connections in
  // TIME_WAIT; it still refuses a second listener on a port in use.
  int on = 1;
  ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = inet_addr("127.0.0.1");
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(s, backlog) != 0) {
    ::close(s);
    return invalid_socket;
  }
  return s;
}

socket_id accept_connection(socket_id listener) {
  int c = ::accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC);
  return c < 0 ? invalid_socket : c;
}

int receive_some(socket_id s, char* buffer, int size, int timeout_ms) {
  const int fd = static_cast<int>(s);
  for (bool waited = false;; waited = true) {
    ssize_t n;
    do {
      n = ::recv(fd, buffer, static_cast<size_t>(size), MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n >= 0) return static_cast<int>(n);
    if ((errno != EAGAIN && errno != EWOULDBLOCK) || waited) return recv_error;
    pollfd p{fd, POLLIN, 0};
    int ready;
    do {
      ready = ::poll(&p, 1, timeout_ms);
    } while (ready < 0 && errno == EINTR);
    if (ready == 0) return recv_timed_out;
    if (ready < 0) return recv_error;
  }
}

int send_some(socket_id s, const char* data, int size) {
  // MSG_NOSIGNAL: a peer that went away must not kill the bridge.
  return static_cast<int>(::send(static_cast<int>(s), data, static_cast<size_t>(size), MSG_NOSIGNAL));
}

int send_now(socket_id s, const char* data, int size) {
  ssize_t n;
  do {
    n = ::send(static_cast<int>(s), data, static_cast<size_t>(size), MSG_NOSIGNAL | MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n >= 0) return static_cast<int>(n);
  return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : send_failed;
}

void shutdown_send(socket_id s) { ::shutdown(static_cast<int>(s), SHUT_WR); }

void close_socket(socket_id s) { ::close(static_cast<int>(s)); }

}  // namespace platform
