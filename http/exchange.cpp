#include "http/exchange.h"

#include <cstdio>
#include <cstring>

namespace {

// The 200 head of a plain reply and of a streamed one: the length line, or
// for a stream none and the no-sniffing line.
constexpr char json_head_format[] =
    "HTTP/1.1 200 OK\r\n"
    "Content-Type: %s\r\n"
    "%s"
    "Access-Control-Allow-Origin: %s\r\n"
    "Vary: Origin\r\n"
    "Access-Control-Allow-Methods: GET, POST, OPTIONS\r\n"
    "Access-Control-Allow-Headers: Content-Type, X-Talvik-Bridge\r\n"
    "Access-Control-Allow-Private-Network: true\r\n"
    "Cache-Control: no-store\r\n"
    "%s"
    "Connection: close\r\n\r\n";

constexpr char preflight_format[] =
    "HTTP/1.1 204 No Content\r\n"
    "Content-Length: 0\r\n"
    "Access-Control-Allow-Origin: %s\r\n"
    "Vary: Origin\r\n"
    "Access-Control-Allow-Methods: GET, POST, OPTIONS\r\n"
    "Access-Control-Allow-Headers: Content-Type, X-Talvik-Bridge\r\n"
    "Access-Control-Allow-Private-Network: true\r\n"
    "Connection: close\r\n\r\n";

int clamp_formatted(int n, int size) { return n < 0 ? 0 : (n >= size ? size - 1 : n); }

}  // namespace

int json_head(char* out, const char* content_type, int body_length, const char* origin) {
  char length_line[40] = "";
  if (body_length >= 0) std::snprintf(length_line, sizeof length_line, "Content-Length: %d\r\n", body_length);
  const char* sniffing = body_length >= 0 ? "" : "X-Content-Type-Options: nosniff\r\n";
  int n = std::snprintf(out, head_buffer_size, json_head_format, content_type, length_line, origin, sniffing);
  return clamp_formatted(n, head_buffer_size);
}

void send_all(platform::socket_id s, const char* data, int count) {
  int sent = 0;
  while (sent < count) {
    int n = platform::send_some(s, data + sent, count - sent);
    if (n <= 0) return;
    sent += n;
  }
}

void send_json(platform::socket_id s, const char* origin, const char* body, int body_length) {
  char head[head_buffer_size];
  int head_len = json_head(head, "application/json", body_length, origin);
  send_all(s, head, head_len);
  send_all(s, body, body_length);
}

void send_json(platform::socket_id s, const char* origin, const char* body) {
  send_json(s, origin, body, static_cast<int>(std::strlen(body)));
}

void send_preflight(platform::socket_id s, const char* origin) {
  char head[head_buffer_size];
  int n = clamp_formatted(std::snprintf(head, sizeof head, preflight_format, origin), head_buffer_size);
  send_all(s, head, n);
}

void send_forbidden(platform::socket_id s, const char* origin) { send_fixed_json(s, origin, forbidden_body); }

void send_unknown(platform::socket_id s, const char* origin) { send_fixed_json(s, origin, unknown_body); }
