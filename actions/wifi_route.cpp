#include "actions/wifi_route.h"

#include <cstdio>
#include <cstring>

#include "actions/judged_run.h"
#include "actions/wifi_rules.h"
#include "server/framing.h"
#include "server/json_escape.h"
#include "server/request_values.h"
#include "tools/limits.h"
#include "tools/tool_contract.h"
#include "tools/tool_locator.h"

namespace {

constexpr int wifi_log_limit = 4094;
constexpr int wifi_body_size = 8192;

}  // namespace

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
  const JudgedRun run =
      run_judged(command, output, sizeof output, mdns ? mdns_timeout_ms : wifi_timeout_ms, RunKind::bounded, words);
  char log[wifi_log_limit + 1];
  json_escape_tool_text_keeping_tail(output, run.notes_at, log, wifi_log_limit);
  char body[wifi_body_size];
  std::snprintf(body, sizeof body, wifi_format, mdns ? "true" : (run.ran_to_end ? wifi_verdict(words) : "false"), log);
  send_json(ex.socket, ex.reply_origin, body);
}
