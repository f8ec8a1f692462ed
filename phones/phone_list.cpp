#include "phones/phone_list.h"

#include <cstdio>
#include <cstring>

#include "tools/limits.h"
#include "tools/tool_contract.h"

namespace {

bool is_serial_char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
         c == ':' || c == '-';
}

// Walks the lines of a tool output: each ends at LF, CRs right before the
// LF are dropped, empty lines are passed over.
struct LineWalker {
  const char* next;
  bool take(const char** start, size_t* len) {
    for (;;) {
      if (*next == '\0') return false;
      const char* line = next;
      size_t n = std::strcspn(line, "\n");
      next = line + n;
      if (*next == '\n') ++next;
      while (n > 0 && line[n - 1] == '\r') --n;
      if (n == 0) continue;
      *start = line;
      *len = n;
      return true;
    }
  }
};

// Records one listed phone: its serial when usable, its state, and whether
// an earlier line named the same serial.
void add_phone(PhoneList& list, const char* serial, size_t serial_len, const char* state, size_t state_len) {
  char usable[serial_cap + 1] = {};
  if (serial_len > 0 && serial_len <= serial_cap) {
    std::memcpy(usable, serial, serial_len);
    if (!is_valid_serial(usable)) usable[0] = '\0';
  }
  ++list.total;
  bool duplicate = false;
  if (usable[0] != '\0') {
    for (int i = 0; i < list.count; ++i) {
      if (std::strcmp(list.phones[i].serial, usable) != 0) continue;
      list.phones[i].duplicate = true;
      duplicate = true;
    }
  }
  if (list.count >= max_listed_phones) return;
  ListedPhone& phone = list.phones[list.count++];
  std::memcpy(phone.serial, usable, sizeof usable);
  phone.duplicate = duplicate;
  size_t n = 0;
  for (size_t i = 0; i < state_len && n < phone_state_cap; ++i) {
    const unsigned char c = static_cast<unsigned char>(state[i]);
    if (c >= 0x20 && c < 0x7f) phone.state[n++] = static_cast<char>(c);
  }
  phone.state[n] = '\0';
}

const char* find_in(const char* start, size_t len, char c) {
  return static_cast<const char*>(std::memchr(start, c, len));
}

// Whether a "devices" output holds a list: adb's header, or a line that
// names a phone (both tools put a tab after the serial). A loader's or a
// shell's error line holds neither.
bool holds_list(const char* output) {
  return std::strstr(output, contract::adb_list_header) != nullptr || std::strchr(output, '\t') != nullptr;
}

}  // namespace

bool is_valid_serial(const char* serial) {
  int n = 0;
  for (; serial[n] != '\0'; ++n) {
    if (n >= serial_cap || !is_serial_char(serial[n])) return false;
  }
  return n > 0;
}

void copy_serial(const char* from, char* serial) { std::snprintf(serial, serial_cap + 1, "%s", from); }

bool is_network_serial(const char* serial) {
  return std::strncmp(serial, "tcp:", 4) == 0 || std::strncmp(serial, "udp:", 4) == 0;
}

void parse_adb_devices(const char* output, PhoneList& list) {
  list.tool = ToolKind::adb;
  list.count = 0;
  list.total = 0;
  LineWalker lines{output};
  const char* start;
  size_t len;
  if (!lines.take(&start, &len)) return;  // the header
  while (lines.take(&start, &len)) {
    const char* tab = find_in(start, len, '\t');
    if (tab == nullptr) continue;
    const char* state = tab + 1;
    add_phone(list, start, static_cast<size_t>(tab - start), state, len - static_cast<size_t>(state - start));
  }
}

void parse_fastboot_devices(const char* output, PhoneList& list) {
  list.tool = ToolKind::fastboot;
  list.count = 0;
  list.total = 0;
  LineWalker lines{output};
  const char* start;
  size_t len;
  while (lines.take(&start, &len)) {
    const char* cut = find_in(start, len, '\t');
    if (cut == nullptr) cut = find_in(start, len, ' ');
    if (cut == nullptr || cut == start) continue;
    const char* state = cut;
    const char* end = start + len;
    while (state < end && (*state == '\t' || *state == ' ')) ++state;
    add_phone(list, start, static_cast<size_t>(cut - start), state, static_cast<size_t>(end - state));
  }
}

bool is_usable(const ListedPhone& phone) { return phone.serial[0] != '\0'; }

bool is_ready(const PhoneList& list, const ListedPhone& phone) {
  return list.tool == ToolKind::fastboot || in_state(phone, contract::adb_ready_state);
}

bool may_take_unnamed(const PhoneList& list, const ListedPhone& phone) {
  return is_usable(phone) && is_ready(list, phone) && !phone.duplicate;
}

const ListedPhone* first_unnamed(const PhoneList& list) {
  for (int i = 0; i < list.count; ++i) {
    if (may_take_unnamed(list, list.phones[i])) return &list.phones[i];
  }
  return nullptr;
}

bool shows_ready_duplicate(const PhoneList& list) {
  for (int i = 0; i < list.count; ++i) {
    if (list.phones[i].duplicate && is_ready(list, list.phones[i])) return true;
  }
  return false;
}

bool shows_usable_ready_phone(const PhoneList& list) {
  for (int i = 0; i < list.count; ++i) {
    if (is_usable(list.phones[i]) && is_ready(list, list.phones[i])) return true;
  }
  return false;
}

const ListedPhone* find_phone(const PhoneList& list, const char* serial) {
  if (serial[0] == '\0') return nullptr;
  for (int i = 0; i < list.count; ++i) {
    if (std::strcmp(list.phones[i].serial, serial) == 0) return &list.phones[i];
  }
  return nullptr;
}

bool in_state(const ListedPhone& phone, const char* state) {
  return std::strncmp(phone.state, state, std::strlen(state)) == 0;
}

int count_in_state(const PhoneList& list, const char* state, const ListedPhone** first) {
  int count = 0;
  for (int i = 0; i < list.count; ++i) {
    if (!in_state(list.phones[i], state)) continue;
    if (count == 0 && first != nullptr) *first = &list.phones[i];
    ++count;
  }
  return count;
}

RunEnd list_devices(const char* tool_path, char* output) {
  char command[tool_command_size];
  std::snprintf(command, sizeof command, contract::devices_cmd, tool_path);
  const ToolRun run = run_tool(command, output, devices_output_size, quick_run_timeout_ms);
  // A file that starts but cannot really run (a cut copy crashes, the
  // loader misses a library) prints no list: the tool is not there.
  if (run.crashed && !holds_list(output)) {
    output[0] = '\0';
    return RunEnd::not_started;
  }
  return run.end;
}

bool network_phone_answered(const ToolRun& run, const char* output) {
  return run.end == RunEnd::finished && std::strstr(output, contract::fastboot_finished_word) != nullptr &&
         std::strstr(output, "< waiting for") == nullptr;
}

void add_network_fastboot_phone(const char* fastboot_path, const char* serial, PhoneList& list, char* output) {
  if (serial == nullptr || !is_valid_serial(serial) || !is_network_serial(serial)) return;
  if (find_phone(list, serial) != nullptr || list.count >= max_listed_phones) return;
  char command[tool_command_size];
  const int n = std::snprintf(command, sizeof command, contract::getvar_product_cmd, fastboot_path, serial);
  if (n < 0 || n >= static_cast<int>(sizeof command)) return;
  output[0] = '\0';
  const ToolRun run = run_tool(command, output, devices_output_size, network_phone_timeout_ms);
  if (network_phone_answered(run, output)) add_unlisted_phone(list, serial, "fastboot");
}

bool add_unlisted_phone(PhoneList& list, const char* serial, const char* state) {
  if (!is_valid_serial(serial) || find_phone(list, serial) != nullptr || list.count >= max_listed_phones) return false;
  ListedPhone& phone = list.phones[list.count++];
  copy_serial(serial, phone.serial);
  std::snprintf(phone.state, sizeof phone.state, "%s", state);
  phone.duplicate = false;
  ++list.total;
  return true;
}
