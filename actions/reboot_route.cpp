#include "actions/reboot_route.h"

#include <cstdio>
#include <cstring>

#include "actions/judged_run.h"
#include "http/exchange.h"
#include "http/json_escape.h"
#include "http/request_values.h"
#include "phones/phone_choice.h"
#include "tools/limits.h"
#include "tools/provisioning.h"
#include "tools/scratch.h"
#include "tools/tool_contract.h"
#include "tools/tool_locator.h"

namespace {

constexpr int target_cap = 31;
constexpr int reboot_log_limit = 2 * reboot_output_size;
constexpr int reboot_body_size = reboot_log_limit + 128;

// The reply, and the escaped log of a failed reboot.
struct RebootBuffers {
  static constexpr char name[] = "GET /reboot";
  char body[reboot_body_size];
  char log[reboot_log_limit + 1];
};
Scratch<RebootBuffers> reboot_scratch;

constexpr RebootTarget reboot_targets[] = {
    {"bootloader", false, contract::adb_reboot_bootloader_cmd},
    {"download", false, contract::adb_reboot_download_cmd},
    {"recovery", false, contract::adb_reboot_recovery_cmd},
    {"system", false, contract::adb_reboot_cmd},
    {"fbsystem", true, contract::fastboot_reboot_cmd},
    {"fbbootloader", true, contract::fastboot_reboot_bootloader_cmd},
    {"fastbootd", true, contract::fastboot_reboot_fastbootd_cmd},
};

}  // namespace

const RebootTarget* find_reboot_target(const char* name) {
  for (const RebootTarget& target : reboot_targets) {
    if (std::strcmp(name, target.name) == 0) return &target;
  }
  return nullptr;
}

void watch_reboot_words(OutputWords& words, bool fastboot) {
  if (fastboot) {
    words.watch(contract::fastboot_failure_words);
  } else {
    words.watch(contract::adb_failure_line_starts);
  }
}

bool reboot_failed(const OutputWords& words, bool fastboot) {
  return fastboot ? words.seen_any(contract::fastboot_failure_words)
                  : words.seen_any(contract::adb_failure_line_starts);
}

bool reboot_failed(const char* output, bool fastboot) {
  OutputWords words(true);
  watch_reboot_words(words, fastboot);
  words.saw(output, static_cast<int>(std::strlen(output)));
  return reboot_failed(words, fastboot);
}

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
  const JudgedRun judged = run_judged(command, output, sizeof output, quick_run_timeout_ms, RunKind::bounded, words);
  const RunEnd end = judged.run.end;
  if (end == RunEnd::not_started && target->fastboot) {
    return send_fixed_json(ex.socket, ex.reply_origin, reboot_fastboot_missing_body);
  }
  ScratchHold<RebootBuffers> scratch(reboot_scratch);
  auto& body = scratch->body;
  // A tool that could not be started rebooted nothing, though it printed
  // no failure.
  if (end != RunEnd::timed_out && end != RunEnd::not_started && !reboot_failed(words, target->fastboot)) {
    std::snprintf(body, sizeof body, rebooted_format, target->name);
  } else {
    json_escape_tool_text_keeping_tail(output, judged.notes_at, scratch->log, reboot_log_limit);
    std::snprintf(body, sizeof body, reboot_failed_format, target->name, scratch->log);
  }
  send_json(ex.socket, ex.reply_origin, body);
}
