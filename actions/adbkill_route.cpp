#include "actions/adbkill_route.h"

#include <cstdio>

#include "http/exchange.h"
#include "tools/limits.h"
#include "tools/process_runner.h"
#include "tools/tool_contract.h"
#include "tools/tool_locator.h"

namespace {}  // namespace

// Answers success whatever adb did: the page only asks for the server to go.
void handle_adbkill(Exchange& ex) {
  char adb[tool_path_size];
  find_tool("adb", adb);
  char command[kill_command_size];
  std::snprintf(command, sizeof command, contract::kill_server_cmd, adb);
  char output[kill_output_size];
  run_tool(command, output, sizeof output, quick_run_timeout_ms);
  send_fixed_json(ex.socket, ex.reply_origin, stopped_body);
}
