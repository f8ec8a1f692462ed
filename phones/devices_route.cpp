#include "phones/devices_route.h"

#include <cstdio>
#include <cstdlib>

#include "http/exchange.h"
#include "http/json_escape.h"
#include "phones/phone_choice.h"
#include "tools/scratch.h"
#include "tools/tool_locator.h"

namespace {

// One "devices" output at a time: adb's, then fastboot's.
struct DevicesBuffers {
  static constexpr char name[] = "GET /devices";
  char output[devices_output_size];
};
Scratch<DevicesBuffers> devices_scratch;

constexpr int devices_body_size = 8192;
constexpr char body_end[] = "]}";

// Appends one phone's item; false (and nothing added) when it does not fit.
bool append_phone(char* body, int size, int* length, bool first, const ListedPhone& phone, const char* mode) {
  char state[2 * phone_state_cap + 1];
  json_escape(phone.state, state, 2 * phone_state_cap);
  char item[256];
  // An unusable serial is listed as "" (its bytes are never sent); a
  // serial shown twice is marked, so that neither is offered.
  int n = std::snprintf(item, sizeof item, "%s{\"serial\":\"%s\",\"mode\":\"%s\",\"state\":\"%s\"%s}", first ? "" : ",",
                        phone.serial, mode, state, phone.duplicate ? ",\"duplicate\":true" : "");
  if (n < 0 || n >= static_cast<int>(sizeof item) || *length + n + static_cast<int>(sizeof body_end) > size)
    return false;
  std::snprintf(body + *length, static_cast<size_t>(size - *length), "%s", item);
  *length += n;
  return true;
}

}  // namespace

int format_devices_body(const PhoneList& adb, const PhoneList& fastboot, char* body, int size) {
  int length = std::snprintf(body, static_cast<size_t>(size), devices_opening);
  bool first = true;
  for (int i = 0; i < adb.count; ++i) {
    if (append_phone(body, size, &length, first, adb.phones[i], "ADB")) first = false;
  }
  for (int i = 0; i < fastboot.count; ++i) {
    if (append_phone(body, size, &length, first, fastboot.phones[i], "Fastboot")) first = false;
  }
  std::snprintf(body + length, static_cast<size_t>(size - length), "%s", body_end);
  return length + static_cast<int>(sizeof body_end) - 1;
}

void handle_devices(Exchange& ex) {
  char adb[tool_path_size];
  char fastboot[tool_path_size];
  find_tool("adb", adb);
  find_tool("fastboot", fastboot);
  ScratchHold<DevicesBuffers> scratch(devices_scratch);
  auto& output = scratch->output;
  PhoneList adb_list;
  PhoneList fastboot_list;
  list_devices(adb, output);
  parse_adb_devices(output, adb_list);
  list_devices(fastboot, output);
  parse_fastboot_devices(output, fastboot_list);
  add_network_fastboot_phone(fastboot, std::getenv("ANDROID_SERIAL"), fastboot_list, output);
  char body[devices_body_size];
  const int length = format_devices_body(adb_list, fastboot_list, body, sizeof body);
  send_json(ex.socket, ex.reply_origin, body, length);
}
