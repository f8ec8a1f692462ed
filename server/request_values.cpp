#include "server/request_values.h"

#include <cctype>
#include <climits>
#include <cstring>

namespace {

bool same_letters(const char* a, const char* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

bool ends_value(char c) { return c == '\0' || c == '\n' || c == '\r' || c == ' ' || c == '&'; }

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

// End of the head: the first blank line, or the end of the text.
const char* head_end(const char* request) {
  const char* blank = std::strstr(request, "\r\n\r\n");
  return blank != nullptr ? blank : request + std::strlen(request);
}

// Start of the value of header `name`, or nullptr.
const char* find_header(const char* request, const char* name) {
  const char* end = head_end(request);
  const size_t name_len = std::strlen(name);
  const char* line = std::strchr(request, '\n');
  while (line != nullptr && line < end) {
    ++line;
    if (static_cast<size_t>(end - line) > name_len && same_letters(line, name, name_len) && line[name_len] == ':') {
      const char* v = line + name_len + 1;
      while (*v == ' ') ++v;
      return v;
    }
    line = std::strchr(line, '\n');
  }
  return nullptr;
}

}  // namespace

bool query_value(const char* request, const char* name, char* value, int cap) {
  const size_t name_len = std::strlen(name);
  // The query string: from the first '?' of the request line to its end.
  const char* p = request;
  while (*p != '\0' && *p != '?' && *p != '\r' && *p != '\n') ++p;
  if (*p != '?') return false;
  while (*p == '?' || *p == '&') {
    const char* param = p + 1;
    if (std::strncmp(param, name, name_len) == 0 && param[name_len] == '=') {
      const char* v = param + name_len + 1;
      int n = 0;
      while (n < cap && !ends_value(v[n])) {
        value[n] = v[n];
        ++n;
      }
      value[n] = '\0';
      return true;
    }
    p = param;
    while (!ends_value(*p)) ++p;
  }
  return false;
}

void url_decode(const char* in, char* out) {
  int i = 0;
  int o = 0;
  while (in[i] != '\0' && o < url_decoded_size - 1) {
    char c = in[i];
    if (c == '+') {
      c = ' ';
    } else if (c == '%' && in[i + 1] != '\0' && in[i + 2] != '\0') {
      c = static_cast<char>(hex_value(in[i + 1]) << 4 | hex_value(in[i + 2]));
      i += 2;
    }
    out[o++] = c;
    ++i;
  }
  out[o] = '\0';
}

bool header_value(const char* request, const char* name, char* value, int cap) {
  value[0] = '\0';
  const char* v = find_header(request, name);
  if (v == nullptr) return false;
  int n = 0;
  while (n < cap && v[n] != '\0' && v[n] != '\r' && v[n] != '\n') {
    value[n] = v[n];
    ++n;
  }
  value[n] = '\0';
  return true;
}

bool has_header(const char* request, const char* name) { return find_header(request, name) != nullptr; }

int head_length(const char* request, int received) {
  for (int i = 0; i + 3 < received; ++i) {
    if (request[i] == '\r' && request[i + 1] == '\n' && request[i + 2] == '\r' && request[i + 3] == '\n') return i + 4;
  }
  return -1;
}

long long parse_int64(const char* text) {
  const char* p = text;
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  unsigned long long magnitude = 0;
  const unsigned long long limit = negative ? 0x8000000000000000ULL : 0x7fffffffffffffffULL;
  for (; *p >= '0' && *p <= '9'; ++p) {
    unsigned digit = static_cast<unsigned>(*p - '0');
    magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
  }
  if (negative) return magnitude == 0x8000000000000000ULL ? LLONG_MIN : -static_cast<long long>(magnitude);
  return static_cast<long long>(magnitude);
}

long long announced_length(const char* request) {
  const char* v = find_header(request, "Content-Length");
  return v == nullptr ? 0 : parse_int64(v);
}
