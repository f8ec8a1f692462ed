#include "server/ping.h"

#include <cstdio>

#include "http/exchange.h"
#include "http/json_escape.h"
#include "tools/tool_locator.h"

void handle_ping(Exchange& ex) {
  char body[512];
  std::snprintf(body, sizeof body, ping_format, bridge_version,
                json_bool(is_present_file(ex.context->startup_adb_path)),
                json_bool(is_present_file(ex.context->startup_fastboot_path)));
  send_json(ex.socket, ex.reply_origin, body);
}
