#include "actions/image_url.h"

#include <cstring>
#include <initializer_list>

namespace {

constexpr int host_cap = 255;  // a longer host is no name of this machine
constexpr int http_port = 80;
constexpr int https_port = 443;
constexpr int largest_port = 65535;

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// True when the `n` bytes at `s` equal the lower-case `word`, letter case ignored.
bool same_word(const char* s, int n, const char* word) {
  if (static_cast<int>(std::strlen(word)) != n) return false;
  for (int i = 0; i < n; ++i) {
    if (lower(s[i]) != word[i]) return false;
  }
  return true;
}

// A NUL-terminated `s` shorter than `word` fails at its NUL.
bool starts_with_word(const char* s, const char* word) {
  return same_word(s, static_cast<int>(std::strlen(word)), word);
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// One part of an IPv4 address as inet_aton reads it: "0x" hex, a leading
// 0 octal, else decimal. False for an empty part, another byte, or a value
// above 32 bits.
bool ipv4_part(const char* s, int n, unsigned long long* value) {
  int base = 10;
  if (n >= 2 && s[0] == '0' && lower(s[1]) == 'x') {
    base = 16;
    s += 2;
    n -= 2;
  } else if (n >= 2 && s[0] == '0') {
    base = 8;
  }
  if (n <= 0) return false;
  unsigned long long v = 0;
  for (int i = 0; i < n; ++i) {
    int d = hex_digit(s[i]);
    if (d < 0 || d >= base) return false;
    v = v * static_cast<unsigned>(base) + static_cast<unsigned>(d);
    if (v > 0xFFFFFFFFull) return false;
  }
  *value = v;
  return true;
}

// An IPv4 address of one to four parts; the last part fills the bytes the
// others leave ("127.1" is 127.0.0.1).
bool parse_ipv4(const char* s, int n, unsigned long* address) {
  unsigned long long parts[4];
  int count = 0;
  int start = 0;
  for (int i = 0; i <= n; ++i) {
    if (i < n && s[i] != '.') continue;
    if (count == 4 || !ipv4_part(s + start, i - start, &parts[count])) return false;
    ++count;
    start = i + 1;
  }
  unsigned long long v = 0;
  for (int i = 0; i < count - 1; ++i) {
    if (parts[i] > 255) return false;
    v = (v << 8) | parts[i];
  }
  const int last_bytes = 5 - count;
  if (parts[count - 1] >> (8 * last_bytes) != 0) return false;
  *address = static_cast<unsigned long>((v << (8 * last_bytes)) | parts[count - 1]);
  return true;
}

// The dotted IPv4 tail of an IPv6 address: four decimal parts of 0-255.
// Leading zeros add nothing here ("010" is ten), unlike a host of its own.
bool parse_dotted_decimal(const char* s, int n, unsigned long* address) {
  unsigned long v = 0;
  unsigned part = 0;
  int parts = 0;
  bool digits = false;
  for (int i = 0; i <= n; ++i) {
    if (i == n || s[i] == '.') {
      if (!digits || ++parts > 4) return false;
      v = (v << 8) | part;
      part = 0;
      digits = false;
    } else if (s[i] >= '0' && s[i] <= '9') {
      part = part * 10 + static_cast<unsigned>(s[i] - '0');
      if (part > 255) return false;
      digits = true;
    } else {
      return false;
    }
  }
  if (parts != 4) return false;
  *address = v;
  return true;
}

bool ipv4_is_this_machine(unsigned long address) { return (address >> 24) == 127 || address == 0; }

}  // namespace

bool parse_ipv6(const char* s, int n, unsigned char bytes[16]) {
  unsigned groups[8];
  int count = 0;
  int gap = -1;
  int i = 0;
  if (n >= 2 && s[0] == ':' && s[1] == ':') {
    gap = 0;
    i = 2;
  }
  while (i < n) {
    int j = i;
    bool dotted = false;
    for (; j < n && s[j] != ':'; ++j) {
      if (s[j] == '.') dotted = true;
    }
    if (dotted) {
      // The IPv4 tail: the last two groups.
      unsigned long v4 = 0;
      if (j != n || count > 6 || !parse_dotted_decimal(s + i, j - i, &v4)) return false;
      groups[count++] = static_cast<unsigned>(v4 >> 16);
      groups[count++] = static_cast<unsigned>(v4 & 0xFFFF);
      i = n;
      break;
    }
    if (j == i || j - i > 4 || count == 8) return false;
    unsigned g = 0;
    for (int k = i; k < j; ++k) {
      int d = hex_digit(s[k]);
      if (d < 0) return false;
      g = g * 16 + static_cast<unsigned>(d);
    }
    groups[count++] = g;
    i = j;
    if (i == n) break;
    ++i;  // the ':'
    if (i < n && s[i] == ':') {
      if (gap >= 0) return false;
      gap = count;
      ++i;
    } else if (i == n) {
      return false;  // a single ':' at the end
    }
  }
  if (gap < 0 ? count != 8 : count > 7) return false;
  std::memset(bytes, 0, 16);
  const int tail = gap < 0 ? 0 : count - gap;
  for (int g = 0; g < count; ++g) {
    const int at = (gap >= 0 && g >= gap) ? 8 - tail + (g - gap) : g;
    bytes[2 * at] = static_cast<unsigned char>(groups[g] >> 8);
    bytes[2 * at + 1] = static_cast<unsigned char>(groups[g] & 0xFF);
  }
  return true;
}

namespace {

// ::, ::1, or ::ffff: with an IPv4 address of this machine.
bool ipv6_is_this_machine(const unsigned char b[16]) {
  static const unsigned char zeros[16] = {};
  if (std::memcmp(b, zeros, 15) == 0) return b[15] <= 1;
  if (std::memcmp(b, zeros, 10) != 0 || b[10] != 0xFF || b[11] != 0xFF) return false;
  const unsigned long v4 = (static_cast<unsigned long>(b[12]) << 24) | (static_cast<unsigned long>(b[13]) << 16) |
                           (static_cast<unsigned long>(b[14]) << 8) | b[15];
  return ipv4_is_this_machine(v4);
}

// Decodes %XX escapes; false when the result would not fit in host_cap bytes.
bool percent_decode(const char* s, int n, char* out, int* out_length) {
  int k = 0;
  for (int i = 0; i < n; ++i) {
    if (k == host_cap) return false;
    if (s[i] == '%' && i + 2 < n && hex_digit(s[i + 1]) >= 0 && hex_digit(s[i + 2]) >= 0) {
      out[k++] = static_cast<char>(hex_digit(s[i + 1]) * 16 + hex_digit(s[i + 2]));
      i += 2;
    } else {
      out[k++] = s[i];
    }
  }
  *out_length = k;
  return true;
}

// True when "host[:port]" (or "[ipv6][:port]") in the `n` bytes at `s`
// names this machine on `port`; `default_port` when none is given.
bool host_port_reaches(const char* s, int n, int default_port, int port) {
  int host_begin = 0;
  int host_end = 0;
  int rest = 0;
  if (n > 0 && s[0] == '[') {
    const void* close = std::memchr(s, ']', static_cast<size_t>(n));
    if (close == nullptr) return false;
    host_begin = 1;
    host_end = static_cast<int>(static_cast<const char*>(close) - s);
    rest = host_end + 1;
  } else {
    while (host_end < n && s[host_end] != ':') ++host_end;
    rest = host_end;
  }
  int actual = default_port;
  if (rest < n) {
    if (s[rest] != ':') return false;
    if (rest + 1 < n) {
      long v = 0;
      for (int i = rest + 1; i < n; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
        if (v > largest_port) return false;
      }
      actual = static_cast<int>(v);
    }
  }
  return actual == port && host_is_this_machine(s + host_begin, host_end - host_begin);
}

// Every reading of the authority that begins at `s`.
bool authority_reaches(const char* s, int default_port, int port) {
  for (const char* stops : {"/?#\\", "/?#"}) {
    const int end = static_cast<int>(std::strcspn(s, stops));
    if (host_port_reaches(s, end, default_port, port)) return true;
    for (int i = 0; i < end; ++i) {
      if (s[i] == '@' && host_port_reaches(s + i + 1, end - i - 1, default_port, port)) return true;
    }
  }
  return false;
}

}  // namespace

bool host_is_this_machine(const char* host, int length) {
  char name[host_cap];
  int n = 0;
  if (!percent_decode(host, length, name, &n)) return false;
  if (std::memchr(name, ':', static_cast<size_t>(n)) != nullptr) {
    const void* zone = std::memchr(name, '%', static_cast<size_t>(n));
    if (zone != nullptr) n = static_cast<int>(static_cast<const char*>(zone) - name);
    unsigned char bytes[16];
    return parse_ipv6(name, n, bytes) && ipv6_is_this_machine(bytes);
  }
  if (n > 0 && name[n - 1] == '.') --n;
  constexpr char under_localhost[] = ".localhost";
  constexpr int suffix = sizeof under_localhost - 1;
  if (same_word(name, n, "localhost") || (n > suffix && same_word(name + n - suffix, suffix, under_localhost))) {
    return true;
  }
  unsigned long address = 0;
  return parse_ipv4(name, n, &address) && ipv4_is_this_machine(address);
}

bool url_reaches_port(const char* url, int port) {
  const char* after = nullptr;
  int default_port = http_port;
  if (starts_with_word(url, "https:")) {
    after = url + 6;
    default_port = https_port;
  } else if (starts_with_word(url, "http:")) {
    after = url + 5;
  }
  if (after != nullptr) {
    while (*after == '/' || *after == '\\') ++after;
    if (authority_reaches(after, default_port, port)) return true;
  }
  // Without a scheme, curl takes the whole address for host, port and path.
  return authority_reaches(url, http_port, port);
}
