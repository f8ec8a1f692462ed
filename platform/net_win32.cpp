#include <windows.h>
#include <winsock2.h>

#include "platform/net.h"

namespace platform {

bool net_start() {
  WSADATA data;
  return WSAStartup(0x0202, &data) == 0;
}

socket_id listen_loopback(int port, int backlog) {
  // Not inheritable: a listener leaked into an adb server would keep the
  // port bound after the bridge exits.
  SOCKET s = WSASocketW(AF_INET, SOCK_STREAM, 0, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) return invalid_socket;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = inet_addr("127.0.0.1");
  addr.sin_port = htons(static_cast<u_short>(port));
  if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(s, backlog) != 0) {
    closesocket(s);
    return invalid_socket;
  }
  return static_cast<socket_id>(s);
}

socket_id accept_connection(socket_id listener) {
  SOCKET c = accept(static_cast<SOCKET>(listener), nullptr, nullptr);
  if (c == INVALID_SOCKET) return invalid_socket;
  SetHandleInformation(reinterpret_cast<HANDLE>(c), HANDLE_FLAG_INHERIT, 0);
  // Non-blocking, so that a receive takes what is ready without a poll
  // first; receive_some and send_some do the waiting themselves.
  u_long on = 1;
  ioctlsocket(c, FIONBIO, &on);
  return static_cast<socket_id>(c);
}

namespace {

// Waits up to timeout_ms (-1: no limit) for `events` on the socket;
// returns WSAPoll's result.
int wait_for(SOCKET s, short events, int timeout_ms) {
  WSAPOLLFD p{};
  p.fd = s;
  p.events = events;
  return WSAPoll(&p, 1, timeout_ms);
}

}  // namespace

int receive_some(socket_id s, char* buffer, int size, int timeout_ms) {
  const SOCKET sock = static_cast<SOCKET>(s);
  for (bool waited = false;; waited = true) {
    int n = recv(sock, buffer, size, 0);
    if (n >= 0) return n;
    if (WSAGetLastError() != WSAEWOULDBLOCK || waited) return recv_error;
    int ready = wait_for(sock, POLLRDNORM, timeout_ms);
    if (ready == 0) return recv_timed_out;
    if (ready < 0) return recv_error;
  }
}

int send_some(socket_id s, const char* data, int size) {
  const SOCKET sock = static_cast<SOCKET>(s);
  for (;;) {
    int n = send(sock, data, size, 0);
    if (n >= 0 || WSAGetLastError() != WSAEWOULDBLOCK) return n;
    if (wait_for(sock, POLLWRNORM, -1) < 0) return -1;
  }
}

int send_now(socket_id s, const char* data, int size) {
  // Accepted sockets are non-blocking (see accept_connection).
  const int n = send(static_cast<SOCKET>(s), data, size, 0);
  if (n >= 0) return n;
  return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : send_failed;
}

void shutdown_send(socket_id s) { shutdown(static_cast<SOCKET>(s), SD_SEND); }

void close_socket(socket_id s) { closesocket(static_cast<SOCKET>(s)); }

}  // namespace platform
