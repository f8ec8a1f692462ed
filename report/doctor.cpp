#include "report/doctor.h"

#include <cstdio>
#include <cstring>

#include "report/android_usb_vendors.h"
#include "report/doctor_texts.h"
#include "server/json_escape.h"
#include "tools/device_list.h"
#include "tools/tool_contract.h"

namespace {

// adb's header line: its server answered.
constexpr char adb_list_header[] = "List of devices attached";
// Another program's adb server: one of another version (which adb then
// kills, and which its owner starts again), or one holding adb's port.
constexpr const char* conflict_words[] = {"doesn't match this client", "could not install *smartsocket* listener"};
// A phone that the tool sees but may not open (Linux without a udev rule).
constexpr char no_permissions_word[] = "no permissions";
constexpr char adb_authorizing_state[] = "authorizing";
constexpr char adb_offline_state[] = "offline";

struct Code {
  Finding finding;
  const char* code;
  const char* text;
};

constexpr Code codes[] = {
    {Finding::adb_missing, "adb_missing", doctor_text::adb_missing},
    {Finding::adb_not_started, "adb_not_started", doctor_text::adb_not_started},
    {Finding::adb_server_conflict, "adb_server_conflict", doctor_text::adb_server_conflict},
    {Finding::no_permissions, "no_permissions", doctor_text::no_permissions},
    {Finding::usb_driver_missing, "usb_driver_missing", doctor_text::usb_driver_missing},
    {Finding::unauthorized, "unauthorized", doctor_text::unauthorized},
    {Finding::authorizing, "authorizing", doctor_text::authorizing},
    {Finding::offline, "offline", doctor_text::offline},
    {Finding::phone_ready, "phone_ready", doctor_text::phone_ready},
    {Finding::fastboot_missing, "fastboot_missing", doctor_text::fastboot_missing},
    {Finding::fastboot_on_demand, "fastboot_on_demand", doctor_text::fastboot_on_demand},
    {Finding::usb_not_listed, "usb_not_listed", doctor_text::usb_not_listed},
    {Finding::usb_debugging_off, "usb_debugging_off", doctor_text::usb_debugging_off},
    {Finding::no_usb_phone, "no_usb_phone", doctor_text::no_usb_phone},
    {Finding::no_phone, "no_phone", doctor_text::no_phone},
};

void add(Diagnosis& out, Finding finding, int usb_index = -1) {
  for (int i = 0; i < out.count; ++i) {
    if (out.items[i].finding == finding) return;
  }
  if (out.count < max_findings) out.items[out.count++] = DoctorFinding{finding, usb_index};
}

bool any_in_state(const PhoneList& list, const char* state) {
  for (int i = 0; i < list.count; ++i) {
    if (in_state(list.phones[i], state)) return true;
  }
  return false;
}

bool shows_android_interface(const platform::UsbDevice& device) {
  return device.adb_interface || device.fastboot_interface;
}

// The first USB device that fits `test`, or -1.
template <typename Test>
int first_usb(const platform::UsbDevices* usb, Test test) {
  if (usb == nullptr) return -1;
  for (int i = 0; i < usb->count; ++i) {
    if (test(usb->devices[i])) return i;
  }
  return -1;
}

}  // namespace

void diagnose(const DoctorFacts& facts, Diagnosis& out) {
  out = Diagnosis{};
  static PhoneList adb;
  static PhoneList fastboot;
  parse_adb_devices(facts.adb_output, adb);
  parse_fastboot_devices(facts.fastboot_output, fastboot);
  const platform::UsbDevices* usb = facts.usb != nullptr && facts.usb->looked ? facts.usb : nullptr;

  // adb itself.
  bool conflict = false;
  for (const char* word : conflict_words) conflict = conflict || std::strstr(facts.adb_output, word) != nullptr;
  const bool adb_works = facts.adb_there && !conflict && std::strstr(facts.adb_output, adb_list_header) != nullptr;
  if (!facts.adb_there) {
    add(out, Finding::adb_missing);
  } else if (conflict) {
    add(out, Finding::adb_server_conflict);
  } else if (std::strstr(facts.adb_output, adb_list_header) == nullptr) {
    add(out, Finding::adb_not_started);
  }

  // What keeps a phone on the cable away from the tools.
  const int denied = first_usb(usb, [](const platform::UsbDevice& d) {
    return shows_android_interface(d) && d.access == platform::UsbAccess::denied;
  });
  if (std::strstr(facts.adb_output, no_permissions_word) != nullptr ||
      std::strstr(facts.fastboot_output, no_permissions_word) != nullptr || denied >= 0) {
    add(out, Finding::no_permissions, denied);
  }
  const int no_driver =
      first_usb(usb, [](const platform::UsbDevice& d) { return shows_android_interface(d) && d.problem != 0; });
  if (no_driver >= 0) add(out, Finding::usb_driver_missing, no_driver);

  // Each listed phone's own state.
  if (any_in_state(adb, contract::adb_unauthorized_state)) add(out, Finding::unauthorized);
  if (any_in_state(adb, adb_authorizing_state)) add(out, Finding::authorizing);
  if (any_in_state(adb, adb_offline_state)) add(out, Finding::offline);
  for (int i = 0; i < adb.count && !out.ready; ++i) {
    out.ready = adb.phones[i].serial[0] != '\0' && in_state(adb.phones[i], contract::adb_ready_state);
  }
  for (int i = 0; i < fastboot.count && !out.ready; ++i) out.ready = fastboot.phones[i].serial[0] != '\0';
  if (out.ready) add(out, Finding::phone_ready);

  if (!facts.fastboot_there) {
    add(out, facts.fastboot_download_failed ? Finding::fastboot_missing : Finding::fastboot_on_demand);
  }

  // No tool lists any phone: what the USB list tells.
  if (adb.total > 0 || fastboot.total > 0) return;
  if (usb == nullptr) {
    // With adb in trouble its own finding says more than "no phone".
    if (adb_works) add(out, Finding::no_phone);
    return;
  }
  if (denied >= 0 || no_driver >= 0) return;
  const int unlisted = first_usb(usb, shows_android_interface);
  if (unlisted >= 0) return add(out, Finding::usb_not_listed, unlisted);
  const int maker = first_usb(usb, [](const platform::UsbDevice& d) {
    bool pc_parts = false;
    return android_vendor_name(d.vendor_id, &pc_parts) != nullptr && !pc_parts;
  });
  if (maker >= 0) return add(out, Finding::usb_debugging_off, maker);
  add(out, Finding::no_usb_phone);
}

const char* finding_code(Finding finding) {
  for (const Code& c : codes) {
    if (c.finding == finding) return c.code;
  }
  return "";
}

const char* finding_text(Finding finding) {
  for (const Code& c : codes) {
    if (c.finding == finding) return c.text;
  }
  return "";
}

int format_doctor_body(const Diagnosis& diagnosis, const platform::UsbDevices* usb, char* body, int size) {
  constexpr char body_end[] = "]}";
  int length = std::snprintf(body, static_cast<size_t>(size), "{\"ok\":true,\"ready\":%s,\"findings\":[",
                             diagnosis.ready ? "true" : "false");
  for (int i = 0; i < diagnosis.count; ++i) {
    const DoctorFinding& item = diagnosis.items[i];
    char text[1024];
    json_escape(finding_text(item.finding), text, static_cast<int>(sizeof text) - 1);
    char device[160] = "";
    if (usb != nullptr && item.usb_index >= 0 && item.usb_index < usb->count) {
      const platform::UsbDevice& d = usb->devices[item.usb_index];
      const char* maker = android_vendor_name(d.vendor_id);
      char plain[96];
      std::snprintf(plain, sizeof plain, "%04x:%04x%s%s", d.vendor_id & 0xffff, d.product_id & 0xffff,
                    maker != nullptr ? " " : "", maker != nullptr ? maker : "");
      char escaped[2 * sizeof plain];
      json_escape(plain, escaped, static_cast<int>(sizeof escaped) - 1);
      std::snprintf(device, sizeof device, ",\"usb\":\"%s\"", escaped);
    }
    char entry[1400];
    const int n = std::snprintf(entry, sizeof entry, "%s{\"code\":\"%s\",\"text\":\"%s\"%s}", i == 0 ? "" : ",",
                                finding_code(item.finding), text, device);
    // A finding that does not fit whole is left out; the texts are fixed and
    // far below the body's size, so this guards a changed text only.
    if (n < 0 || n >= static_cast<int>(sizeof entry) || length + n + static_cast<int>(sizeof body_end) > size) break;
    std::memcpy(body + length, entry, static_cast<size_t>(n));
    length += n;
  }
  std::memcpy(body + length, body_end, sizeof body_end);
  return length + static_cast<int>(sizeof body_end) - 1;
}
