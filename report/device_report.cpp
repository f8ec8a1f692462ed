#include "report/device_report.h"

#include <cstdio>
#include <cstring>

#include "http/reply_texts.h"
#include "phones/phone_choice.h"
#include "report/adb_report.h"
#include "report/fastboot_report.h"
#include "report/field_list.h"
#include "tools/process_runner.h"
#include "tools/scratch.h"
#include "tools/tool_contract.h"
#include "tools/tool_locator.h"

namespace {

// A "devices" output (adb's, then fastboot's) and the ADB field list.
struct DeviceReportBuffers {
  static constexpr char name[] = "device report";
  char devices[devices_output_size];
  char adb_fields[adb_list_cap];
};
Scratch<DeviceReportBuffers> device_report_scratch;

}  // namespace

ReportKind report_from_adb_list(const PhoneList& adb, SerialRequest asked, char* serial) {
  if (asked == SerialRequest::given) {
    const ListedPhone* phone = find_phone(adb, serial);
    if (phone == nullptr) return ReportKind::none;
    if (phone->duplicate) return ReportKind::duplicate;
    if (is_ready(adb, *phone)) return ReportKind::adb;
    return std::strcmp(phone->state, contract::adb_unauthorized_state) == 0 ? ReportKind::unauthorized
                                                                            : ReportKind::none;
  }
  const ListedPhone* ready = first_unnamed(adb);
  if (ready == nullptr) return ReportKind::none;
  copy_serial(ready->serial, serial);
  return ReportKind::adb;
}

ReportKind report_from_fastboot_list(const PhoneList& fastboot, const PhoneList& adb, SerialRequest asked,
                                     char* serial) {
  if (asked == SerialRequest::given) {
    if (is_network_serial(serial)) return ReportKind::fastboot;
    const ListedPhone* phone = find_phone(fastboot, serial);
    if (phone == nullptr) return ReportKind::none;
    return phone->duplicate ? ReportKind::duplicate : ReportKind::fastboot;
  }
  const ListedPhone* phone = first_unnamed(fastboot);
  if (phone != nullptr) {
    copy_serial(phone->serial, serial);
    return ReportKind::fastboot;
  }
  if (shows_ready_duplicate(adb) || shows_ready_duplicate(fastboot)) return ReportKind::duplicate;
  return count_in_state(adb, contract::adb_unauthorized_state, nullptr) > 0 ? ReportKind::unauthorized
                                                                            : ReportKind::none;
}

void build_device_report(char* report, SerialRequest asked, const char* asked_serial) {
  RunBudget budget(report_budget_ms);
  char adb[tool_path_size];
  char fastboot[tool_path_size];
  find_tool("adb", adb);
  find_tool("fastboot", fastboot);

  char serial[device_serial_size] = {};
  if (asked == SerialRequest::given) copy_serial(asked_serial, serial);

  ScratchHold<DeviceReportBuffers> scratch(device_report_scratch);
  auto& devices = scratch->devices;
  PhoneList adb_list;
  PhoneList fastboot_list;
  list_devices(adb, devices);
  parse_adb_devices(devices, adb_list);
  ReportKind kind = report_from_adb_list(adb_list, asked, serial);
  if (kind == ReportKind::none) {
    // fastboot never lists a network serial: its list stays empty.
    devices[0] = '\0';
    if (!(asked == SerialRequest::given && is_network_serial(serial))) list_devices(fastboot, devices);
    parse_fastboot_devices(devices, fastboot_list);
    kind = report_from_fastboot_list(fastboot_list, adb_list, asked, serial);
  }

  switch (kind) {
    case ReportKind::adb: {
      // adb answers "error: ..." at once for a phone that went away or
      // offline mid-report: that is no value, and the runs left are skipped.
      budget.watch_for(contract::adb_failure_line);
      auto& list = scratch->adb_fields;
      list[0] = '\0';
      int first = 1;
      build_adb_fields(adb, serial, list, &first);
      std::snprintf(report, report_buffer_size, adb_report_format, list);
      return;
    }
    case ReportKind::fastboot: {
      char list[fastboot_list_cap];
      list[0] = '\0';
      int first = 1;
      build_fastboot_fields(fastboot, serial, list, &first);
      std::snprintf(report, report_buffer_size, fastboot_report_format, list);
      return;
    }
    case ReportKind::unauthorized:
      std::snprintf(report, report_buffer_size, "%s", unauthorized_body);
      return;
    case ReportKind::duplicate:
      std::snprintf(report, report_buffer_size, "%s", phone_choice_body(ToolKind::adb, PhoneChoice::duplicate));
      return;
    case ReportKind::none:
      break;
  }
  std::snprintf(report, report_buffer_size, "%s", no_phone_body);
}
