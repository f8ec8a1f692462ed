// The exact bytes of every reply head, and putting replies on the socket.
#pragma once
#include "http/reply_texts.h"
#include "platform/net.h"

constexpr int head_buffer_size = 1024;

// Formats the 200 head for a body of `body_length` bytes into `out`
// (head_buffer_size bytes); returns the head's length.
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
