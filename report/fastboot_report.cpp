#include "report/fastboot_report.h"

#include <cstdio>
#include <cstring>

#include "report/field_list.h"
#include "report/report_rows.h"
#include "tools/limits.h"
#include "tools/process_runner.h"
#include "tools/scratch.h"
#include "tools/tool_contract.h"

namespace {

constexpr int value_cap = 255;

struct FastbootReportBuffers {
  static constexpr char name[] = "Fastboot report";
  char getvar_text[getvar_output_size];
};
Scratch<FastbootReportBuffers> fastboot_report_scratch;

struct GetvarRow {
  const char* variable;
  Row row;
};

const GetvarRow getvar_table[] = {
    {"product", Row::product},
    {"variant", Row::variant},
    {"version-bootloader", Row::bootloader_version},
    {"version-baseband", Row::baseband},
    {"serialno", Row::serial},
    {"secure", Row::secure},
    {"unlocked", Row::unlocked},
    {"slot-count", Row::slot_count},
    {"current-slot", Row::current_slot},
    {"battery-voltage", Row::battery_voltage},
};

}  // namespace

void getvar_value(const char* getvar_text, const char* variable, char* out) {
  out[0] = '\0';
  char pattern[128];
  int n = std::snprintf(pattern, sizeof pattern, contract::getvar_pattern, variable);
  if (n < 0 || n >= static_cast<int>(sizeof pattern)) return;
  const char* at = std::strstr(getvar_text, pattern);
  if (at == nullptr) return;
  at += n;
  while (*at == ' ') ++at;
  size_t len = std::strcspn(at, "\r\n");
  if (len > value_cap) len = value_cap;
  std::memcpy(out, at, len);
  out[len] = '\0';
}

void add_getvar_rows(const char* getvar_text, const char* device_serial, char* list, int* first) {
  for (const GetvarRow& row : getvar_table) {
    char value[value_cap + 1];
    getvar_value(getvar_text, row.variable, value);
    append_field(list, first, row_label(row.row), value, fastboot_list_cap);
  }
  if (list[0] == '\0') append_field(list, first, row_label(Row::serial), device_serial, fastboot_list_cap);
}

void build_fastboot_fields(const char* fastboot, const char* device_serial, char* list, int* first) {
  char command[tool_command_size];
  std::snprintf(command, sizeof command, contract::getvar_all_cmd, fastboot, device_serial);
  ScratchHold<FastbootReportBuffers> scratch(fastboot_report_scratch);
  run_tool(command, scratch->getvar_text, sizeof scratch->getvar_text, quick_run_timeout_ms);  // the text alone is read
  add_getvar_rows(scratch->getvar_text, device_serial, list, first);
}
