// Every parser of the phone report over any tool output: outputs stay
// inside buffers of exactly their owners' sizes and end with a NUL, and the
// ADB and Fastboot envelopes built from the output are JSON documents.
#include <cstdio>
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "phones/phone_choice.h"
#include "phones/phone_list.h"
#include "report/adb_properties.h"
#include "report/device_report.h"
#include "report/fastboot_report.h"
#include "report/imei_reader.h"
#include "report/shell_probes.h"
#include "tests/support/json_check.h"

namespace {

// Runs one parser into a buffer of `size` bytes and checks the NUL.
void parse_into(void (*parser)(const char*, char*), const std::string& reply, size_t size, char* keep = nullptr) {
  fuzz::Buffer out(size);
  parser(reply.c_str(), out.get());
  fuzz::require(out.terminated(), "probe value NUL-terminated inside its buffer");
  if (keep != nullptr) std::snprintf(keep, size, "%s", out.get());
}

void check_envelope(const char* format, const char* list) {
  static char body[report_buffer_size];
  int n = std::snprintf(body, sizeof body, format, list);
  fuzz::require(n > 0 && n < static_cast<int>(sizeof body), "envelope fits the report buffer");
  fuzz::require(json_check::is_valid_json(body, static_cast<size_t>(n)), "report body is JSON");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The first part stands for every probe's reply and the getprop text; the
  // part after the first NUL for the second reply a parser takes.
  const auto parts = fuzz::split_at_nul(data, size);
  const std::string& reply = parts.first;
  const std::string& second = parts.second;

  ProbeTexts probes{};
  parse_into(google_accounts_text, reply, sizeof probes.google_accounts, probes.google_accounts);
  char line[64];
  parse_into(first_line, reply, sizeof line, line);
  parse_into(wifi_mac_text, line, sizeof probes.wifi_mac, probes.wifi_mac);
  parse_into(bluetooth_mac_text, line, sizeof probes.bluetooth_mac, probes.bluetooth_mac);
  parse_into(android_id_text, line, sizeof probes.android_id, probes.android_id);
  parse_into(installed_apps_text, reply, sizeof probes.installed_apps, probes.installed_apps);
  parse_into(battery_text, reply, sizeof probes.battery, probes.battery);
  parse_into(ram_text, reply, sizeof probes.ram, probes.ram);
  parse_into(storage_text, reply, sizeof probes.storage, probes.storage);
  fuzz::Buffer screen(sizeof probes.screen);
  screen_text(reply.c_str(), second.c_str(), screen.get());
  fuzz::require(screen.terminated(), "screen text NUL-terminated");
  std::snprintf(probes.screen, sizeof probes.screen, "%s", screen.get());
  parse_into(selinux_text, reply, sizeof probes.selinux, probes.selinux);
  parse_into(kernel_text, reply, sizeof probes.kernel, probes.kernel);
  parse_into(root_text, reply, sizeof probes.root, probes.root);
  parse_into(dumpsys_cycle_count, reply, 32);
  parse_into(file_cycle_count, reply, 32);
  (void)battery_health_row(reply.c_str());
  (void)battery_serial_usable(line);

  // Every serial taken from a device list may stand on a command line.
  static PhoneList adb_phones;
  static PhoneList fastboot_phones;
  parse_adb_devices(reply.c_str(), adb_phones);
  parse_fastboot_devices(reply.c_str(), fastboot_phones);
  // Every serial kept from a device list may stand on a command line (an
  // unusable one is kept empty), and a phone chosen from it too.
  for (const PhoneList* list : {&adb_phones, &fastboot_phones}) {
    fuzz::require(list->count <= max_listed_phones && list->total >= list->count, "list counts");
    for (int i = 0; i < list->count; ++i) {
      const char* serial = list->phones[i].serial;
      fuzz::require(serial[0] == '\0' || is_valid_serial(serial), "listed serial valid or empty");
    }
  }
  for (ToolKind kind : {ToolKind::adb, ToolKind::fastboot}) {
    char chosen[serial_cap + 1];
    if (decide_phone(kind, SerialRequest::none, reply.c_str(), chosen) == PhoneChoice::chosen) {
      fuzz::require(is_valid_serial(chosen), "chosen serial valid");
    }
  }
  const std::string device_serial = adb_phones.count > 0 ? adb_phones.phones[0].serial : "";

  fuzz::Buffer candidate(64);
  quoted_digits(reply.c_str(), candidate.get());
  fuzz::require(candidate.terminated() && candidate.text().size() <= 63, "IMEI candidate within 63 digits");
  ImeiList imeis{};
  offer_imei(candidate.get(), imeis);
  imeis_from_properties(reply.c_str(), imeis);
  fuzz::require(imeis.count >= 0 && imeis.count <= imei_slots, "at most four IMEIs");

  // The ADB report's rows from the same text as getprop output.
  static PropertyValues props;
  props = PropertyValues{};
  read_first_property_group(reply.c_str(), props);
  read_second_property_group(reply.c_str(), props);
  static DerivedTexts derived;
  derived = DerivedTexts{};
  derive_texts(props, derived);
  static char adb_list[32768];
  adb_list[0] = '\0';
  int first = 1;
  add_property_rows(props, derived, probes, imeis, device_serial.c_str(), adb_list, &first);
  check_envelope("{\"ok\":true,\"mode\":\"ADB\",\"fields\":[%s]}", adb_list);

  // The Fastboot report's rows from the same text as getvar output.
  static char fastboot_list[4096];
  fastboot_list[0] = '\0';
  first = 1;
  add_getvar_rows(reply.c_str(), device_serial.c_str(), fastboot_list, &first);
  check_envelope("{\"ok\":true,\"mode\":\"Fastboot\",\"fields\":[%s]}", fastboot_list);
  return 0;
}
