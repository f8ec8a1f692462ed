#include "http/json_escape.h"

#include <cstring>

namespace {

// json_escape of at most `length` bytes of `in`.
void escape_span(const char* in, size_t length, char* out, int limit) {
  int o = 0;
  const auto* p = reinterpret_cast<const unsigned char*>(in);
  for (size_t i = 0; i < length && *p != 0 && o < limit; ++i, ++p) {
    char escaped = 0;
    switch (*p) {
      case '\t':
        escaped = 't';
        break;
      case '\n':
        escaped = 'n';
        break;
      case '"':
        escaped = '"';
        break;
      case '\\':
        escaped = '\\';
        break;
      default:
        if (*p >= 0x20) out[o++] = static_cast<char>(*p);
        continue;
    }
    // An escape that no longer fits is dropped; a later plain byte may
    // still take the last place.
    if (o + 2 <= limit) {
      out[o++] = '\\';
      out[o++] = escaped;
    }
  }
  out[o] = '\0';
}

}  // namespace

void json_escape(const char* in, char* out, int limit) { escape_span(in, static_cast<size_t>(-1), out, limit); }

namespace {

// Length of the valid UTF-8 sequence at `p`, or 0 when none starts there
// (a stray byte, a cut or overlong sequence, a surrogate).
int valid_sequence(const unsigned char* p) {
  unsigned char c = p[0];
  if (c < 0x80) return 1;
  int length = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
  if (length == 0) return 0;
  unsigned char low = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
  unsigned char high = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
  if (p[1] < low || p[1] > high) return 0;
  for (int k = 2; k < length; ++k)
    if ((p[k] & 0xC0) != 0x80) return 0;
  return length;
}

}  // namespace

void keep_valid_utf8(char* text) {
  auto* in = reinterpret_cast<unsigned char*>(text);
  unsigned char* out = in;
  while (*in != '\0') {
    int length = valid_sequence(in);
    if (length == 0) {
      ++in;
      continue;
    }
    for (int k = 0; k < length; ++k) *out++ = *in++;
  }
  *out = '\0';
}

void json_escape_tool_text(const char* in, char* out, int limit) {
  json_escape(in, out, limit);
  keep_valid_utf8(out);
}

void json_escape_tool_text_keeping_tail(const char* in, int tail_at, char* out, int limit) {
  const int length = static_cast<int>(std::strlen(in));
  if (tail_at < 0 || tail_at >= length || limit <= 0) return json_escape_tool_text(in, out, limit);
  // The tail (a few short lines) first, then the text before it in the
  // room that is left.
  char tail[512];
  const int tail_limit = limit < static_cast<int>(sizeof tail) - 1 ? limit : static_cast<int>(sizeof tail) - 1;
  json_escape_tool_text(in + tail_at, tail, tail_limit);
  const int tail_length = static_cast<int>(std::strlen(tail));
  escape_span(in, static_cast<size_t>(tail_at), out, limit - tail_length);
  keep_valid_utf8(out);
  std::memcpy(out + std::strlen(out), tail, static_cast<size_t>(tail_length) + 1);
}
