#include "server/ping.h"

#include <cstdio>

#include "server/framing.h"
#include "tools/tool_locator.h"

void handle_ping(Exchange& ex) {
  char body[512];
  std::snprintf(body, sizeof body,
                "{\"ok\":true,\"name\":\"Talvik Web Bridge\",\"version\":\"%s\",\"adb\":%s,\"fastboot\":%s}",
                bridge_version, is_present_file(ex.context->adb_path) ? "true" : "false",
                is_present_file(ex.context->fastboot_path) ? "true" : "false");
  send_json(ex.socket, ex.reply_origin, body);
}
