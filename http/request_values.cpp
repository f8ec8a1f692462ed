#include "http/request_values.h"

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

}  // namespace

bool starts_ignoring_case(const char* text, const char* word) { return same_letters(text, word, std::strlen(word)); }

namespace {

bool ends_value(char c) { return c == '\0' || c == '\n' || c == '\r' || c == ' ' || c == '&'; }

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

// Start of the value of the first header `name` at or after offset `from`
// in the head, or nullptr; `*next` is set to the start of the line after it.
const char* find_header(const HeadView& head, const char* name, int from, int* next) {
  const size_t name_len = std::strlen(name);
  const char* end = head.text + head.headers_end;
  const char* line = head.text + from;
  while (line < end) {
    const void* lf = std::memchr(line, '\n', static_cast<size_t>(end - line));
    const char* line_end = lf != nullptr ? static_cast<const char*>(lf) : end;
    if (static_cast<size_t>(line_end - line) > name_len && same_letters(line, name, name_len) &&
        line[name_len] == ':') {
      const char* v = line + name_len + 1;
      while (*v == ' ') ++v;
      *next = static_cast<int>(line_end - head.text) + (lf != nullptr ? 1 : 0);
      return v;
    }
    line = lf != nullptr ? line_end + 1 : end;
  }
  return nullptr;
}

const char* find_header(const HeadView& head, const char* name) {
  int next = 0;
  return find_header(head, name, head.headers_begin, &next);
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

int url_decode(const char* in, char* out) {
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
  return o;
}

HeadView view_head(const char* request, int received) {
  HeadView view;
  view.text = request;
  view.headers_end = received;
  const void* lf = std::memchr(request, '\n', static_cast<size_t>(received));
  if (lf == nullptr) {
    view.headers_begin = received;
    return view;
  }
  int line = static_cast<int>(static_cast<const char*>(lf) - request) + 1;
  view.headers_begin = line;
  // Each later line: an empty one (LF alone or CR LF) ends the head.
  while (line < received) {
    if (request[line] == '\n' || (request[line] == '\r' && line + 1 < received && request[line + 1] == '\n')) {
      view.headers_end = line;
      view.body = line + (request[line] == '\n' ? 1 : 2);
      return view;
    }
    lf = std::memchr(request + line, '\n', static_cast<size_t>(received - line));
    if (lf == nullptr) break;
    line = static_cast<int>(static_cast<const char*>(lf) - request) + 1;
  }
  return view;
}

bool header_value(const HeadView& head, const char* name, char* value, int cap) {
  value[0] = '\0';
  const char* v = find_header(head, name);
  if (v == nullptr) return false;
  int n = 0;
  while (n < cap && v[n] != '\0' && v[n] != '\r' && v[n] != '\n') {
    value[n] = v[n];
    ++n;
  }
  value[n] = '\0';
  return true;
}

bool has_header(const HeadView& head, const char* name) { return find_header(head, name) != nullptr; }

long long announced_length(const HeadView& head) {
  const char* v = find_header(head, "Content-Length");
  return v == nullptr ? 0 : parse_int64(v);
}

bool body_framing_is_plain(const HeadView& head) {
  if (has_header(head, "Transfer-Encoding")) return false;
  int next = head.headers_begin;
  const char* first = find_header(head, "Content-Length", next, &next);
  if (first == nullptr) return true;
  const long long length = parse_int64(first);
  for (const char* v; (v = find_header(head, "Content-Length", next, &next)) != nullptr;) {
    if (parse_int64(v) != length) return false;
  }
  return true;
}

bool expects_continue(const HeadView& head) {
  const char* v = find_header(head, "Expect");
  return v != nullptr && same_letters(v, "100-continue", 12);
}

HeadView view_text(const char* request) { return view_head(request, static_cast<int>(std::strlen(request))); }

int head_length(const char* request, int received) { return view_head(request, received).body; }

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
