#include "actions/wifi_rules.h"

#include <cstring>

#include "tools/tool_contract.h"

namespace {

constexpr char wifi_prefix[] = "GET /wifi-";
constexpr int longest_host = 61;
constexpr int longest_port = 5;
constexpr int longest_code = 6;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_host_char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || is_digit(c) || c == '-' || c == '.';
}

bool all_of(const char* text, int longest, bool (*allowed)(char)) {
  int n = 0;
  for (; text[n] != '\0'; ++n) {
    if (n >= longest || !allowed(text[n])) return false;
  }
  return n > 0;
}

}  // namespace

void wifi_action_word(const char* request, char* out) {
  int n = 0;
  if (std::strncmp(request, wifi_prefix, sizeof wifi_prefix - 1) == 0) {
    const char* p = request + sizeof wifi_prefix - 1;
    while (n < wifi_action_cap && p[n] != '\0' && p[n] != '?' && p[n] != ' ') {
      out[n] = p[n];
      ++n;
    }
  }
  out[n] = '\0';
}

bool is_valid_wifi_host(const char* ip) { return all_of(ip, longest_host, is_host_char); }

bool is_valid_wifi_port(const char* port) { return all_of(port, longest_port, is_digit); }

bool is_valid_pairing_code(const char* code) { return all_of(code, longest_code, is_digit); }

void watch_wifi_words(OutputWords& words) {
  words.watch(contract::wifi_success_words);
  words.watch(contract::wifi_failure_words);
}

const char* wifi_verdict(const OutputWords& words) {
  const bool ok = words.seen_any(contract::wifi_success_words) && !words.seen_any(contract::wifi_failure_words);
  return ok ? "true" : "false";
}

const char* wifi_verdict(const char* output) {
  OutputWords words;
  watch_wifi_words(words);
  words.saw(output, static_cast<int>(std::strlen(output)));
  return wifi_verdict(words);
}
