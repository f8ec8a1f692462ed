#include "actions/wifi_route.h"

#include <cstdio>
#include <cstring>

#include "actions/judged_run.h"
#include "http/exchange.h"
#include "http/json_escape.h"
#include "http/request_values.h"
#include "tools/limits.h"
#include "tools/tool_contract.h"
#include "tools/tool_locator.h"

namespace {

constexpr int wifi_log_limit = 4094;
constexpr int wifi_body_size = 8192;

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

bool wifi_verdict(const OutputWords& words) {
  return words.seen_any(contract::wifi_success_words) && !words.seen_any(contract::wifi_failure_words);
}

bool wifi_verdict(const char* output) {
  OutputWords words;
  watch_wifi_words(words);
  words.saw(output, static_cast<int>(std::strlen(output)));
  return wifi_verdict(words);
}

void handle_wifi(Exchange& ex) {
  char action[wifi_action_cap + 1];
  wifi_action_word(ex.request, action);
  char ip[wifi_ip_cap + 1] = {};
  char port[wifi_port_cap + 1] = {};
  char code[wifi_code_cap + 1] = {};
  query_value(ex.request, "ip", ip, wifi_ip_cap);
  query_value(ex.request, "port", port, wifi_port_cap);
  query_value(ex.request, "code", code, wifi_code_cap);

  char adb[tool_path_size];
  find_tool("adb", adb);
  char command[wifi_command_size];
  const bool mdns = std::strcmp(action, "mdns") == 0;
  if (std::strcmp(action, "pair") == 0) {
    if (!is_valid_wifi_host(ip) || !is_valid_wifi_port(port) || !is_valid_pairing_code(code)) {
      return send_fixed_json(ex.socket, ex.reply_origin, bad_pair_body);
    }
    std::snprintf(command, sizeof command, contract::pair_cmd, adb, ip, port, code);
  } else if (std::strcmp(action, "connect") == 0) {
    if (!is_valid_wifi_host(ip) || !is_valid_wifi_port(port))
      return send_fixed_json(ex.socket, ex.reply_origin, bad_connect_body);
    std::snprintf(command, sizeof command, contract::connect_cmd, adb, ip, port);
  } else if (std::strcmp(action, "disconnect") == 0) {
    std::snprintf(command, sizeof command, contract::disconnect_cmd, adb);
  } else if (mdns) {
    std::snprintf(command, sizeof command, contract::mdns_cmd, adb);
  } else {
    return send_fixed_json(ex.socket, ex.reply_origin, unknown_body);
  }

  char output[wifi_output_size] = {};
  OutputWords words;
  watch_wifi_words(words);
  const JudgedRun judged =
      run_judged(command, output, sizeof output, mdns ? mdns_timeout_ms : wifi_timeout_ms, RunKind::bounded, words);
  char log[wifi_log_limit + 1];
  json_escape_tool_text_keeping_tail(output, judged.notes_at, log, wifi_log_limit);
  // The mDNS listing always answers with what adb printed. A run the bridge
  // had to end failed; one that never started printed no success word.
  const bool ok = mdns || (judged.run.end != RunEnd::timed_out && wifi_verdict(words));
  char body[wifi_body_size];
  std::snprintf(body, sizeof body, wifi_format, json_bool(ok), log);
  send_json(ex.socket, ex.reply_origin, body);
}
