// The image address checks over any text. The input is up to three parts
// split at NUL bytes: a host, user information and the rest of a URL. No
// byte past a host is read; a host's reading does not change with letter
// case, percent escapes or a trailing dot; an IPv6 address reads the same in
// all its spellings; every name of this machine reaches the bridge's port in
// every URL form the downloaders read; and an address that passes
// is_safe_image_url stands whole inside the download command's quotes.
#include <memory>

#include "actions/download_command.h"
#include "actions/image_url.h"
#include "fuzz/fuzz_support.h"

namespace {

constexpr int bridge_port = 9765;
constexpr int other_port = 9766;
constexpr size_t host_cap = 255;
constexpr int line_size = 16384;

// host_is_this_machine over an exact-size copy, so that AddressSanitizer
// sees a read past the host's last byte.
bool this_machine(const std::string& host) {
  std::unique_ptr<char[]> bytes(new char[host.size()]);
  std::memcpy(bytes.get(), host.data(), host.size());
  return host_is_this_machine(bytes.get(), static_cast<int>(host.size()));
}

bool ipv6(const std::string& text, unsigned char bytes[16]) {
  std::unique_ptr<char[]> copy(new char[text.size()]);
  std::memcpy(copy.get(), text.data(), text.size());
  return parse_ipv6(copy.get(), static_cast<int>(text.size()), bytes);
}

std::string upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

std::string percent_encoded(const std::string& s) {
  std::string out;
  char escape[4];
  for (unsigned char c : s) {
    std::snprintf(escape, sizeof escape, "%%%02X", c);
    out += escape;
  }
  return out;
}

bool has_any(const std::string& s, const char* bytes, size_t count) {
  return s.find_first_of(std::string(bytes, count)) != std::string::npos;
}

unsigned group(const unsigned char b[16], int g) { return static_cast<unsigned>(b[2 * g] << 8 | b[2 * g + 1]); }

// Eight hex groups; with `tail`, the last two as a dotted IPv4 address.
std::string full_form(const unsigned char b[16], bool tail) {
  char text[64];
  int n = 0;
  for (int g = 0; g < (tail ? 6 : 8); ++g)
    n += std::snprintf(text + n, sizeof text - n, "%s%x", g ? ":" : "", group(b, g));
  if (tail) std::snprintf(text + n, sizeof text - n, ":%u.%u.%u.%u", b[12], b[13], b[14], b[15]);
  return text;
}

// The longest run of zero groups written as "::" (the first of equal runs).
std::string short_form(const unsigned char b[16]) {
  int best = -1;
  int best_length = 0;
  for (int g = 0; g < 8;) {
    int end = g;
    while (end < 8 && group(b, end) == 0) ++end;
    if (end - g > best_length) {
      best = g;
      best_length = end - g;
    }
    g = end == g ? g + 1 : end;
  }
  if (best < 0) return full_form(b, false);
  std::string text;
  char hex[8];
  for (int g = 0; g < best; ++g) {
    std::snprintf(hex, sizeof hex, "%s%x", g ? ":" : "", group(b, g));
    text += hex;
  }
  text += "::";
  for (int g = best + best_length; g < 8; ++g) {
    std::snprintf(hex, sizeof hex, "%s%x", g > best + best_length ? ":" : "", group(b, g));
    text += hex;
  }
  return text;
}

void same_address(const std::string& spelling, const unsigned char b[16], const char* what) {
  unsigned char again[16];
  fuzz::require(ipv6(spelling, again) && std::memcmp(again, b, 16) == 0, what);
}

// Whatever the parser takes as an IPv6 address is one address: its other
// spellings give the same bytes, and this machine is named by all or none.
void check_ipv6(const std::string& host) {
  unsigned char b[16];
  if (!ipv6(host, b)) return;
  const std::string full = full_form(b, false);
  const std::string dotted = full_form(b, true);
  same_address(full, b, "IPv6: eight hex groups give the same address");
  same_address(dotted, b, "IPv6: the dotted tail form gives the same address");
  same_address(short_form(b), b, "IPv6: the \"::\" form gives the same address");
  same_address(upper(host), b, "IPv6: letter case changes nothing");

  // A dotted tail holds four decimal numbers, whatever zeros lead them.
  const size_t colon = host.rfind(':');
  if (host.find('.', colon) != std::string::npos) {
    unsigned part[4] = {};
    int k = 0;
    for (size_t i = colon + 1; i < host.size(); ++i) {
      if (host[i] == '.') {
        ++k;
      } else {
        part[k] = part[k] * 10 + static_cast<unsigned>(host[i] - '0');
      }
    }
    for (int i = 0; i < 4; ++i) fuzz::require(b[12 + i] == part[i], "IPv6: the dotted tail is read as decimal");
  }

  const bool named = this_machine(host);
  fuzz::require(this_machine(full) == named && this_machine(dotted) == named,
                "IPv6: every spelling names this machine or none does");
  fuzz::require(url_reaches_port(("http://[" + host + "]:9765/").c_str(), bridge_port) == named,
                "IPv6: a bracketed address reaches the port exactly when it names this machine");
}

// A host's reading does not depend on letter case, on percent escapes
// (which are decoded once) or on one trailing dot of a name.
void check_host_spellings(const std::string& host) {
  const bool named = this_machine(host);
  fuzz::require(this_machine(upper(host)) == named, "hosts: letter case changes nothing");
  if (host.find('%') != std::string::npos || host.size() > host_cap) return;
  fuzz::require(this_machine(percent_encoded(host)) == named, "hosts: percent escapes change nothing");
  if (!host.empty() && host.back() != '.' && host.size() < host_cap && host.find(':') == std::string::npos) {
    fuzz::require(this_machine(host + ".") == named, "hosts: one trailing dot changes nothing");
  }
}

// `host` names this machine: every URL form with the bridge's port reaches
// it, and with a user part free of '@' no other port is reached.
void check_urls_to(const std::string& host, const std::string& user, const std::string& rest) {
  const std::string at = user.empty() ? "" : user + "@";
  for (const char* scheme : {"http://", "HTTPS://", "http:\\\\", "http:/", "hTtP:", ""}) {
    const std::string url = scheme + at + host + ":9765" + rest;
    fuzz::require(url_reaches_port(url.c_str(), bridge_port), "URLs: this machine with the bridge's port is refused");
  }
  fuzz::require(url_reaches_port(("http://" + at + host + rest).c_str(), 80), "URLs: http without a port is port 80");
  fuzz::require(url_reaches_port(("https://" + at + host + rest).c_str(), 443),
                "URLs: https without a port is port 443");
  if (user.find('@') == std::string::npos && (rest.empty() || rest[0] == '/')) {
    const std::string url = "http://" + at + host + ":9765" + rest;
    fuzz::require(!url_reaches_port(url.c_str(), other_port), "URLs: another port on this machine is not the bridge");
  }
}

// What the route lets through stands whole inside the PowerShell command's
// one quoted assignment ($u='URL'), and the command's double quotes stay its own two.
void check_download_line(const char* text) {
  if (!is_safe_image_url(text)) return;
  const std::string url = text;
  fuzz::require(url.find_first_of("'\"") == std::string::npos, "safe URLs hold no quotes");
  std::unique_ptr<char[]> line(new char[line_size]);
  if (!format_powershell_download(url.c_str(), "C:\\Users\\op\\AppData\\Local\\Temp\\talvik-9765.tmp", line.get(),
                                  line_size)) {
    return;
  }
  const std::string command = line.get();
  const std::string opening = "$u='";
  const size_t uri = command.find(opening);
  const size_t start = uri + opening.size();
  // The URL's own text may end in "$u=" and so meet the closing quote; only
  // a second assignment after that quote would be a fault.
  const size_t closing = start + url.size();
  fuzz::require(uri != std::string::npos && command.compare(start, url.size(), url) == 0 && command[closing] == '\'' &&
                    command.find(opening, closing + 1) == std::string::npos,
                "the URL stands whole in its quotes");
  size_t double_quotes = 0;
  for (char c : command) double_quotes += c == '"';
  fuzz::require(double_quotes == 2, "the command's double quotes are its own");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto [host, others] = fuzz::split_at_nul(data, size);
  const auto [raw_user, raw_rest] = fuzz::split_at_nul(reinterpret_cast<const uint8_t*>(others.data()), others.size());

  // The whole input as one URL, with and without a port of its own.
  const std::string whole = fuzz::text_of(data, size);
  (void)url_reaches_port(whole.c_str(), bridge_port);
  (void)url_reaches_port(whole.c_str(), 80);
  check_download_line(whole.c_str());

  check_host_spellings(host);
  check_ipv6(host);

  // A user part and a rest as a URL holds them: the user part without
  // bytes that end the authority, the rest beginning with one of them.
  std::string user;
  for (char c : raw_user) {
    if (!has_any(std::string(1, c), "/?#\\\0", 5)) user += c;
  }
  const char* rest_starts[] = {"/", "?", "#", "\\"};
  const std::string rest = raw_rest.empty() ? "" : rest_starts[static_cast<unsigned char>(raw_rest[0]) % 4] + raw_rest;

  for (const char* name : {"127.0.0.1", "localhost", "[::1]", "LOCALHOST.", "127.1", "0x7f.0.0.1", "[::ffff:127.0.0.1]",
                           "a.localhost", "2130706433", "[0:0::1%25lo]"}) {
    check_urls_to(name, user, rest);
  }
  if (!has_any(host, "/?#\\@:[]\0", 9) && this_machine(host)) check_urls_to(host, user, rest);
  return 0;
}
