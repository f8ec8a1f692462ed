#include "tools/phone_choice.h"

#include <cstdio>
#include <cstring>

#include "tools/limits.h"
#include "tools/process_runner.h"
#include "tools/tool_contract.h"

namespace {

// Whether a "devices" output holds a list: adb's header, or a line that
// names a phone (both tools put a tab after the serial). A loader's or a
// shell's error line holds neither.
bool holds_list(const char* output) {
  return std::strstr(output, contract::adb_list_header) != nullptr || std::strchr(output, '\t') != nullptr;
}

// True when decide_phone needs the tool's list: always but for a bad
// serial and a fastboot network serial, which fastboot never lists.
bool needs_phone_list(ToolKind kind, SerialRequest asked, const char* serial) {
  if (asked == SerialRequest::bad) return false;
  return !(asked == SerialRequest::given && kind == ToolKind::fastboot && is_network_serial(serial));
}

}  // namespace

SerialRequest requested_serial(const char* named, const char* environment, char* serial) {
  serial[0] = '\0';
  if (named != nullptr) {
    if (!is_valid_serial(named)) return SerialRequest::bad;
    copy_serial(named, serial);
    return SerialRequest::given;
  }
  if (environment != nullptr && is_valid_serial(environment)) {
    copy_serial(environment, serial);
    return SerialRequest::given;
  }
  return SerialRequest::none;
}

PhoneChoice decide_phone(ToolKind kind, SerialRequest asked, const char* listed_output, char* serial) {
  if (asked == SerialRequest::bad) return PhoneChoice::bad_serial;
  if (!needs_phone_list(kind, asked, serial)) return PhoneChoice::chosen;
  static PhoneList list;
  if (kind == ToolKind::adb) {
    parse_adb_devices(listed_output, list);
  } else {
    parse_fastboot_devices(listed_output, list);
  }
  if (asked == SerialRequest::given) {
    const ListedPhone* phone = find_phone(list, serial);
    if (phone != nullptr && phone->duplicate) return PhoneChoice::duplicate;
    if (phone != nullptr || kind == ToolKind::adb) return PhoneChoice::chosen;
    return PhoneChoice::no_phone;
  }

  // adb: phones in state "device"; fastboot: every listed line. Unusable
  // serials count too: naming no phone must not pick one of two.
  int count = 0;
  const ListedPhone* first = nullptr;
  bool one_serial = true;  // every candidate shows the same usable serial
  for (int i = 0; i < list.count; ++i) {
    const ListedPhone& phone = list.phones[i];
    if (kind == ToolKind::adb && !in_state(phone, contract::adb_ready_state)) continue;
    ++count;
    if (first == nullptr) first = &phone;
    if (phone.serial[0] == '\0' || std::strcmp(phone.serial, first->serial) != 0) one_serial = false;
  }
  if (kind == ToolKind::fastboot && list.total > count) {
    count = list.total;
    one_serial = false;
  }
  if (count > 1) return one_serial ? PhoneChoice::duplicate : PhoneChoice::several;
  if (first == nullptr || first->serial[0] == '\0') return PhoneChoice::no_phone;
  copy_serial(first->serial, serial);
  return PhoneChoice::chosen;
}

RunEnd list_devices(const char* tool_path, char* output) {
  char command[tool_command_size];
  std::snprintf(command, sizeof command, contract::devices_cmd, tool_path);
  bool crashed = false;
  const RunEnd end =
      run_tool_ended(command, output, devices_output_size, quick_run_timeout_ms, RunKind::bounded, nullptr, &crashed);
  // A file that starts but cannot really run (a cut copy crashes, the
  // loader misses a library) prints no list: the tool is not there.
  if (crashed && !holds_list(output)) {
    output[0] = '\0';
    return RunEnd::not_started;
  }
  return end;
}

PhoneChoice choose_phone(ToolKind kind, const char* tool_path, SerialRequest asked, char* serial) {
  static char output[devices_output_size];
  output[0] = '\0';
  if (needs_phone_list(kind, asked, serial) && list_devices(tool_path, output) == RunEnd::not_started) {
    return PhoneChoice::tool_missing;
  }
  return decide_phone(kind, asked, output, serial);
}
