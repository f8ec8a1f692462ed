#include "report/device_report.h"

#include <cstdio>
#include <cstring>

#include "report/adb_report.h"
#include "report/fastboot_report.h"
#include "report/field_list.h"
#include "tools/process_runner.h"
#include "tools/tool_contract.h"
#include "tools/tool_locator.h"

namespace {

constexpr int command_size = 324;
constexpr int devices_output_size = 65536;
constexpr int devices_timeout_ms = 20000;

// Walks the lines of a tool output; a run of CR and LF bytes is one break.
struct LineWalker {
  const char* next;
  bool take(const char** start, size_t* len) {
    while (*next == '\r' || *next == '\n') ++next;
    if (*next == '\0') return false;
    *start = next;
    *len = std::strcspn(next, "\r\n");
    next += *len;
    return true;
  }
};

void keep_serial(const char* start, size_t len, char* serial) {
  std::memset(serial, 0, device_serial_size);
  if (len > device_serial_size - 1) len = device_serial_size - 1;
  std::memcpy(serial, start, len);
}

const char* find_in(const char* start, size_t len, char c) {
  const void* at = std::memchr(start, c, len);
  return static_cast<const char*>(at);
}

void list_devices(const char* tool, char* output) {
  char command[command_size];
  std::snprintf(command, sizeof command, contract::devices_cmd, tool);
  run_tool(command, output, devices_output_size, devices_timeout_ms);
}

}  // namespace

bool pick_adb_serial(const char* devices_output, char* serial) {
  LineWalker lines{devices_output};
  const char* start;
  size_t len;
  if (!lines.take(&start, &len)) return false;  // the header
  const size_t state_len = std::strlen(contract::adb_ready_state);
  while (lines.take(&start, &len)) {
    const char* tab = find_in(start, len, '\t');
    if (tab == nullptr) continue;
    size_t rest = len - static_cast<size_t>(tab + 1 - start);
    if (rest >= state_len && std::memcmp(tab + 1, contract::adb_ready_state, state_len) == 0) {
      keep_serial(start, static_cast<size_t>(tab - start), serial);
      return true;
    }
  }
  return false;
}

bool pick_fastboot_serial(const char* devices_output, char* serial) {
  LineWalker lines{devices_output};
  const char* start;
  size_t len;
  while (lines.take(&start, &len)) {
    const char* cut = find_in(start, len, '\t');
    if (cut == nullptr) {
      cut = find_in(start, len, ' ');
      if (cut == nullptr || cut == start) continue;
    }
    keep_serial(start, static_cast<size_t>(cut - start), serial);
    return true;
  }
  return false;
}

void build_device_report(char* report) {
  char adb[tool_path_size];
  char fastboot[tool_path_size];
  find_tool("adb", adb);
  find_tool("fastboot", fastboot);

  static char devices[devices_output_size];
  char serial[device_serial_size];
  list_devices(adb, devices);
  if (pick_adb_serial(devices, serial)) {
    static char list[adb_list_cap];
    list[0] = '\0';
    int first = 1;
    build_adb_fields(adb, serial, list, &first);
    std::snprintf(report, report_buffer_size, "{\"ok\":true,\"mode\":\"ADB\",\"fields\":[%s]}", list);
    return;
  }

  list_devices(fastboot, devices);
  if (pick_fastboot_serial(devices, serial)) {
    char list[fastboot_list_cap];
    list[0] = '\0';
    int first = 1;
    build_fastboot_fields(fastboot, serial, list, &first);
    std::snprintf(report, report_buffer_size, "{\"ok\":true,\"mode\":\"Fastboot\",\"fields\":[%s]}", list);
    return;
  }

  std::snprintf(report, report_buffer_size, "%s", no_phone_body);
}
