#include "actions/reboot_route.h"

#include <cstdio>
#include <cstring>

#include "actions/reboot_targets.h"
#include "server/framing.h"
#include "server/request_values.h"
#include "tools/process_runner.h"
#include "tools/tool_locator.h"

namespace {

constexpr char unknown_target_body[] = "{\"ok\":false,\"error\":\"unknown target\"}";
constexpr int target_cap = 31;
constexpr int reboot_command_size = 600;
constexpr int reboot_output_size = 4096;
constexpr unsigned reboot_timeout_ms = 20000;

}  // namespace

void handle_reboot(Exchange& ex) {
  char target_name[target_cap + 1] = "system";
  query_value(ex.request, "to", target_name, target_cap);

  char adb[tool_path_size];
  char fastboot[tool_path_size];
  find_tool("adb", adb);
  find_tool("fastboot", fastboot);

  const RebootTarget* target = find_reboot_target(target_name);
  if (target == nullptr) {
    send_fixed_json(ex.socket, ex.reply_origin, unknown_target_body);
    return;
  }
  char command[reboot_command_size];
  std::snprintf(command, sizeof command, target->command, std::strcmp(target->tool, "adb") == 0 ? adb : fastboot);
  char output[reboot_output_size];
  run_tool(command, output, sizeof output, reboot_timeout_ms);

  char body[256];
  std::snprintf(body, sizeof body, "{\"ok\":true,\"to\":\"%s\"}", target->name);
  send_json(ex.socket, ex.reply_origin, body);
}
