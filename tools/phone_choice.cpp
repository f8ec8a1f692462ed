#include "tools/phone_choice.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "server/request_values.h"
#include "tools/process_runner.h"
#include "tools/tool_contract.h"

namespace {

constexpr char bad_serial_body[] = "{\"ok\":false,\"error\":\"serial theek nahi\"}";
constexpr char no_fastboot_phone_body[] =
    "{\"ok\":false,\"error\":\"Fastboot mode mein koi phone nahi mila. Phone ko bootloader (Fastboot) mode mein "
    "layein.\"}";
constexpr char no_adb_phone_body[] =
    "{\"ok\":false,\"error\":\"ADB mein koi phone nahi mila. USB debugging ON karke phone par Allow dabayein.\"}";
constexpr char several_phones_body[] =
    "{\"ok\":false,\"error\":\"Ek se zyada phone lage hain. Ek phone chunein (serial) ya baaki nikaal dein.\"}";

// Enough encoded characters that any longer value decodes to more than
// serial_cap characters (each decoded character takes at most three).
constexpr int serial_query_cap = 3 * serial_cap + 1;

constexpr int command_size = 324;
constexpr unsigned devices_timeout_ms = 20000;

}  // namespace

SerialRequest requested_serial(const char* query_raw, const char* environment, char* serial) {
  serial[0] = '\0';
  if (query_raw != nullptr) {
    char decoded[url_decoded_size];
    url_decode(query_raw, decoded);
    if (!is_valid_serial(decoded)) return SerialRequest::bad;
    copy_serial(decoded, serial);
    return SerialRequest::given;
  }
  if (environment != nullptr && is_valid_serial(environment)) {
    copy_serial(environment, serial);
    return SerialRequest::given;
  }
  return SerialRequest::none;
}

SerialRequest requested_serial_of(const char* request, char* serial) {
  char raw[serial_query_cap + 1] = {};
  const bool present = query_value(request, "serial", raw, serial_query_cap);
  return requested_serial(present ? raw : nullptr, std::getenv("ANDROID_SERIAL"), serial);
}

PhoneChoice decide_phone(ToolKind kind, SerialRequest asked, const char* listed_output, char* serial) {
  if (asked == SerialRequest::bad) return PhoneChoice::bad_serial;
  if (asked == SerialRequest::given && (kind == ToolKind::adb || is_network_serial(serial))) {
    return PhoneChoice::chosen;
  }
  static PhoneList list;
  if (kind == ToolKind::adb) {
    parse_adb_devices(listed_output, list);
  } else {
    parse_fastboot_devices(listed_output, list);
  }
  if (asked == SerialRequest::given)
    return find_phone(list, serial) != nullptr ? PhoneChoice::chosen : PhoneChoice::no_phone;

  // adb: phones in state "device"; fastboot: every listed phone.
  const ListedPhone* first = list.count > 0 ? &list.phones[0] : nullptr;
  const int count = kind == ToolKind::adb ? count_in_state(list, contract::adb_ready_state, &first) : list.count;
  if (count == 0) return PhoneChoice::no_phone;
  if (count > 1) return PhoneChoice::several;
  copy_serial(first->serial, serial);
  return PhoneChoice::chosen;
}

void list_devices(const char* tool_path, char* output) {
  char command[command_size];
  std::snprintf(command, sizeof command, contract::devices_cmd, tool_path);
  run_tool(command, output, devices_output_size, devices_timeout_ms);
}

PhoneChoice choose_phone(ToolKind kind, const char* tool_path, const char* request, char* serial) {
  const SerialRequest asked = requested_serial_of(request, serial);
  const bool list_needed = asked == SerialRequest::none ||
                           (asked == SerialRequest::given && kind == ToolKind::fastboot && !is_network_serial(serial));
  static char output[devices_output_size];
  output[0] = '\0';
  if (list_needed) list_devices(tool_path, output);
  return decide_phone(kind, asked, output, serial);
}

const char* phone_choice_body(ToolKind kind, PhoneChoice choice) {
  switch (choice) {
    case PhoneChoice::bad_serial:
      return bad_serial_body;
    case PhoneChoice::several:
      return several_phones_body;
    case PhoneChoice::no_phone:
    case PhoneChoice::chosen:
      break;
  }
  return kind == ToolKind::adb ? no_adb_phone_body : no_fastboot_phone_body;
}
