#include "report/adb_report.h"

#include <cstdio>
#include <cstring>

#include "report/adb_properties.h"
#include "report/field_list.h"
#include "report/getprop.h"
#include "report/imei_reader.h"
#include "report/report_rows.h"
#include "report/shell_probes.h"
#include "tools/limits.h"
#include "tools/process_runner.h"
#include "tools/scratch.h"
#include "tools/tool_contract.h"

namespace {

// getprop's whole dump: real ones run past 64 KiB.
struct AdbReportBuffers {
  static constexpr char name[] = "ADB report";
  char getprop_text[getprop_text_size];
};
Scratch<AdbReportBuffers> adb_report_scratch;

}  // namespace

void build_adb_fields(const char* adb, const char* serial, char* list, int* first) {
  ScratchHold<AdbReportBuffers> scratch(adb_report_scratch);
  const auto& getprop_text = scratch->getprop_text;
  char command[tool_command_size];
  std::snprintf(command, sizeof command, contract::getprop_cmd, adb, serial);
  run_tool(command, scratch->getprop_text, sizeof scratch->getprop_text,
           quick_run_timeout_ms);  // the text alone is read

  PropertyValues props;
  read_first_property_group(getprop_text, props);

  DerivedTexts derived;
  android_version_text(props, derived.android_version);
  ImeiList imeis;
  read_imeis(adb, serial, getprop_text, api_level(props), imeis);

  ProbeTexts probes;
  run_identity_probes(adb, serial, probes);

  read_second_property_group(getprop_text, props);
  derive_texts(props, derived);

  run_system_probes(adb, serial, probes);

  add_property_rows(props, derived, probes, imeis, serial, list, first);
  add_battery_detail_rows(adb, serial, list, first);
  append_field(list, first, row_label(Row::adb_root), probes.root, adb_list_cap);
}
