#include "actions/reboot_route.h"

#include <cstdio>

#include "actions/judged_run.h"
#include "actions/reboot_targets.h"
#include "server/framing.h"
#include "server/json_escape.h"
#include "server/phone_choice_reply.h"
#include "server/request_values.h"
#include "server/serial_value.h"
#include "tools/limits.h"
#include "tools/provisioning.h"
#include "tools/tool_locator.h"

namespace {

constexpr int target_cap = 31;
constexpr int reboot_log_limit = 2 * reboot_output_size;
constexpr int reboot_body_size = reboot_log_limit + 128;

}  // namespace

void handle_reboot(Exchange& ex) {
  char target_name[target_cap + 1] = "system";
  query_value(ex.request, "to", target_name, target_cap);
  const RebootTarget* target = find_reboot_target(target_name);
  if (target == nullptr) return send_fixed_json(ex.socket, ex.reply_origin, unknown_target_body);

  // Fastboot targets use fastboot as find_tool gives it: this route never
  // downloads it.
  const ToolKind kind = target->fastboot ? ToolKind::fastboot : ToolKind::adb;
  char tool[tool_path_size];
  find_tool(target->fastboot ? "fastboot" : "adb", tool);
  if (target->fastboot && !fastboot_present()) {
    return send_fixed_json(ex.socket, ex.reply_origin, reboot_fastboot_missing_body);
  }
  char serial[serial_cap + 1];
  const PhoneChoice choice = choose_phone(kind, tool, serial_in_request(ex.request, serial), serial);
  if (choice != PhoneChoice::chosen) return send_json(ex.socket, ex.reply_origin, phone_choice_body(kind, choice));

  char command[reboot_command_size];
  std::snprintf(command, sizeof command, target->command, tool, serial);
  char output[reboot_output_size];
  OutputWords words(true);
  watch_reboot_words(words, target->fastboot);
  const JudgedRun run = run_judged(command, output, sizeof output, quick_run_timeout_ms, RunKind::bounded, words);

  if (!run.started && target->fastboot) {
    return send_fixed_json(ex.socket, ex.reply_origin, reboot_fastboot_missing_body);
  }
  static char body[reboot_body_size];
  // A tool that could not be started rebooted nothing, though it printed
  // no failure.
  if (run.ran_to_end && run.started && !reboot_failed(words, target->fastboot)) {
    std::snprintf(body, sizeof body, rebooted_format, target->name);
  } else {
    static char log[reboot_log_limit + 1];
    json_escape_tool_text_keeping_tail(output, run.notes_at, log, reboot_log_limit);
    std::snprintf(body, sizeof body, reboot_failed_format, target->name, log);
  }
  send_json(ex.socket, ex.reply_origin, body);
}
