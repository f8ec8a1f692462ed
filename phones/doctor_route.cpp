#include "phones/doctor_route.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "http/exchange.h"
#include "http/json_escape.h"
#include "http/reply_texts.h"
#include "phones/android_usb_vendors.h"
#include "tools/provisioning.h"
#include "tools/scratch.h"
#include "tools/tool_contract.h"
#include "tools/tool_locator.h"

namespace {

// Another program's adb server: one of another version (which adb then
// kills, and which its owner starts again), one holding adb's port, or a
// server that would not start.
constexpr const char* conflict_words[] = {"doesn't match this client", "could not install *smartsocket* listener",
                                          "failed to start daemon", "cannot connect to daemon"};
// A phone that the tool sees but may not open (Linux without a udev rule).
constexpr char no_permissions_word[] = "no permissions";
// adb states of a phone that is there but not in its normal system.
constexpr const char* other_mode_states[] = {"recovery", "sideload", "rescue", "bootloader", "host"};
constexpr char adb_mode[] = "ADB";
constexpr char fastboot_mode[] = "Fastboot";
constexpr int doctor_body_size = 8192;

// What the tools printed, and the reply.
struct DoctorBuffers {
  static constexpr char name[] = "GET /doctor";
  char adb_output[devices_output_size];
  char fastboot_output[devices_output_size];
  char network_output[devices_output_size];  // the network phone's "getvar product"
  char body[doctor_body_size];
};
Scratch<DoctorBuffers> doctor_scratch;

constexpr const char* codes[] = {
    "adb_missing",        "adb_server_conflict",     "fastboot_missing",  "usb_no_driver",   "usb_no_permission",
    "adb_no_permissions", "fastboot_no_permissions", "adb_unauthorized",  "adb_authorizing", "adb_offline",
    "adb_other_mode",     "usb_not_listed",          "usb_debugging_off", "none_seen",
};
static_assert(sizeof codes / sizeof codes[0] == static_cast<int>(Finding::none_seen) + 1, "one code per finding");

void add(Diagnosis& out, Finding finding, const char* text, const char* mode = nullptr, const char* serial = "",
         int usb_index = -1) {
  if (out.count >= max_findings) return;
  DoctorFinding& item = out.items[out.count++];
  item.finding = finding;
  item.text = text;
  copy_serial(serial, item.serial);
  item.mode = mode;
  item.usb_index = usb_index;
}

bool has(const Diagnosis& out, Finding finding) {
  for (int i = 0; i < out.count; ++i) {
    if (out.items[i].finding == finding) return true;
  }
  return false;
}

bool shows_android_interface(const platform::UsbDevice& device) {
  return device.adb_interface || device.fastboot_interface;
}

// A known Android maker's number that is not common on a PC's own parts.
bool from_phone_maker(const platform::UsbDevice& device) {
  bool pc_parts = false;
  return android_vendor_name(device.vendor_id, &pc_parts) != nullptr && !pc_parts;
}

const char* usb_mode(const platform::UsbDevice& device) {
  if (device.fastboot_interface) return fastboot_mode;
  return device.adb_interface ? adb_mode : nullptr;
}

// The USB findings, one per device: those that keep a phone on the cable
// away from the tools.
void add_usb_faults(const platform::UsbDevices& usb, Diagnosis& out) {
  for (int i = 0; i < usb.count; ++i) {
    const platform::UsbDevice& d = usb.devices[i];
    if (d.problem != 0 && (shows_android_interface(d) || from_phone_maker(d))) {
      const char* text = d.fastboot_interface ? doctor_usb_no_driver_fastboot_text
                         : d.adb_interface    ? doctor_usb_no_driver_adb_text
                                              : doctor_usb_no_driver_text;
      add(out, Finding::usb_no_driver, text, usb_mode(d), "", i);
    }
  }
  for (int i = 0; i < usb.count; ++i) {
    const platform::UsbDevice& d = usb.devices[i];
    if (shows_android_interface(d) && d.access == platform::UsbAccess::denied) {
      add(out, Finding::usb_no_permission, doctor_usb_no_permission_text, usb_mode(d), "", i);
    }
  }
}

struct AdbState {
  const char* word;
  Finding finding;
  const char* text;
};

// One finding per phone adb lists in `state`.
void add_adb_state(const PhoneList& adb, const AdbState& state, Diagnosis& out) {
  for (int i = 0; i < adb.count; ++i) {
    if (in_state(adb.phones[i], state.word)) add(out, state.finding, state.text, adb_mode, adb.phones[i].serial);
  }
}

// The states of phones that are there but cannot be used yet.
const AdbState waiting_states[] = {
    {contract::adb_unauthorized_state, Finding::adb_unauthorized, doctor_adb_unauthorized_text},
    {"authorizing", Finding::adb_authorizing, doctor_adb_authorizing_text},
    {"offline", Finding::adb_offline, doctor_adb_offline_text},
};

void add_other_modes(const PhoneList& adb, Diagnosis& out) {
  for (int i = 0; i < adb.count; ++i) {
    for (const char* word : other_mode_states) {
      if (in_state(adb.phones[i], word)) {
        add(out, Finding::adb_other_mode, doctor_adb_other_mode_text, adb_mode, adb.phones[i].serial);
        break;
      }
    }
  }
}

// The serial of the network Fastboot phone that ANDROID_SERIAL names when
// it answers, else "": fastboot never lists such a phone, and one that
// answers is as good as listed.
const char* answering_network_phone(const char* fastboot_path, const char* fastboot_output, char* output) {
  PhoneList list;
  parse_fastboot_devices(fastboot_output, list);
  const int before = list.count;
  const char* serial = std::getenv("ANDROID_SERIAL");
  add_network_fastboot_phone(fastboot_path, serial, list, output);
  return list.count > before ? serial : "";
}

// ,"usb":"vvvv:pppp" and, for a known maker, ,"maker":"NAME".
void append_usb_members(const platform::UsbDevice& device, char* out, int size) {
  int m = std::snprintf(out, static_cast<size_t>(size), ",\"usb\":\"%04x:%04x\"", device.vendor_id & 0xffff,
                        device.product_id & 0xffff);
  const char* maker = android_vendor_name(device.vendor_id);
  if (maker == nullptr || m < 0 || m >= size) return;
  char escaped[128];
  json_escape(maker, escaped, static_cast<int>(sizeof escaped) - 1);
  std::snprintf(out + m, static_cast<size_t>(size - m), ",\"maker\":\"%s\"", escaped);
}

}  // namespace

void diagnose(const DoctorFacts& facts, Diagnosis& out) {
  out = Diagnosis{};
  PhoneList adb;
  PhoneList fastboot;
  parse_adb_devices(facts.adb_there ? facts.adb_output : "", adb);
  parse_fastboot_devices(facts.fastboot_there ? facts.fastboot_output : "", fastboot);
  if (facts.fastboot_there) add_unlisted_phone(fastboot, facts.network_fastboot_serial, "fastboot");
  const platform::UsbDevices* usb = facts.usb != nullptr && facts.usb->looked ? facts.usb : nullptr;
  const bool ready = shows_usable_ready_phone(adb) || shows_usable_ready_phone(fastboot);
  const bool listed = adb.total > 0 || fastboot.total > 0;

  // adb itself.
  bool conflict = false;
  for (const char* word : conflict_words) conflict = conflict || std::strstr(facts.adb_output, word) != nullptr;
  if (!facts.adb_there) {
    add(out, Finding::adb_missing, doctor_adb_missing_text, adb_mode);
  } else if (conflict) {
    add(out, Finding::adb_server_conflict, doctor_adb_server_conflict_text, adb_mode);
  }
  // Without fastboot a phone in Fastboot mode is never listed; while its
  // download is still to come that matters only when no phone is ready.
  if (!facts.fastboot_there && facts.fastboot_unstartable) {
    add(out, Finding::fastboot_missing, doctor_fastboot_unstartable_text, fastboot_mode);
  } else if (!facts.fastboot_there && facts.fastboot_download_failed) {
    add(out, Finding::fastboot_missing, doctor_fastboot_failed_text, fastboot_mode);
  } else if (!facts.fastboot_there && !ready) {
    add(out, Finding::fastboot_missing, doctor_fastboot_not_yet_text, fastboot_mode);
  }

  if (usb != nullptr) add_usb_faults(*usb, out);
  add_adb_state(adb, {no_permissions_word, Finding::adb_no_permissions, doctor_adb_no_permissions_text}, out);
  if (facts.fastboot_there && std::strstr(facts.fastboot_output, no_permissions_word) != nullptr) {
    add(out, Finding::fastboot_no_permissions, doctor_fastboot_no_permissions_text, fastboot_mode);
  }
  for (const AdbState& state : waiting_states) add_adb_state(adb, state, out);
  add_other_modes(adb, out);
  if (listed) return;

  // No tool lists any phone: what the USB list tells.
  const int before = out.count;
  if (usb != nullptr) {
    for (int i = 0; i < usb->count; ++i) {
      const platform::UsbDevice& d = usb->devices[i];
      if (shows_android_interface(d) && d.problem == 0 && d.access != platform::UsbAccess::denied) {
        const bool driver = facts.usb_fix == platform::UsbReachFix::install_driver;
        add(out, Finding::usb_not_listed, driver ? doctor_usb_not_listed_text : doctor_usb_not_listed_udev_text,
            usb_mode(d), "", i);
      } else if (!shows_android_interface(d) && d.problem == 0 && d.file_transfer_interface && from_phone_maker(d)) {
        add(out, Finding::usb_debugging_off, doctor_usb_debugging_off_text, nullptr, "", i);
      }
    }
  }
  // With adb missing or fought over, its own finding says more.
  const bool usb_tells = out.count > before || has(out, Finding::usb_no_driver) || has(out, Finding::usb_no_permission);
  if (facts.adb_there && !conflict && !usb_tells) add(out, Finding::none_seen, doctor_none_seen_text);
}

const char* finding_code(Finding finding) { return codes[static_cast<int>(finding)]; }

int format_doctor_body(const Diagnosis& diagnosis, const platform::UsbDevices* usb, char* body, int size) {
  constexpr char body_end[] = "]}";
  int length = std::snprintf(body, static_cast<size_t>(size), "%s", doctor_opening);
  bool first = true;
  for (int i = 0; i < diagnosis.count; ++i) {
    const DoctorFinding& item = diagnosis.items[i];
    char members[400] = "";
    int m = 0;
    // Serials kept here passed the serial rule: nothing in them needs escaping.
    if (item.serial[0] != '\0') m += std::snprintf(members + m, sizeof members - m, ",\"serial\":\"%s\"", item.serial);
    if (item.mode != nullptr) m += std::snprintf(members + m, sizeof members - m, ",\"mode\":\"%s\"", item.mode);
    if (usb != nullptr && item.usb_index >= 0 && item.usb_index < usb->count) {
      append_usb_members(usb->devices[item.usb_index], members + m, static_cast<int>(sizeof members) - m);
    }
    char text[1024];
    json_escape(item.text, text, static_cast<int>(sizeof text) - 1);
    char entry[1400];
    const int n = std::snprintf(entry, sizeof entry, "%s{\"code\":\"%s\"%s,\"text\":\"%s\"}", first ? "" : ",",
                                finding_code(item.finding), members, text);
    // The texts are fixed and far below the body's size: this guards a
    // changed text only.
    if (n < 0 || n >= static_cast<int>(sizeof entry) || length + n + static_cast<int>(sizeof body_end) > size) break;
    std::memcpy(body + length, entry, static_cast<size_t>(n));
    length += n;
    first = false;
  }
  std::memcpy(body + length, body_end, sizeof body_end);
  return length + static_cast<int>(sizeof body_end) - 1;
}

void handle_doctor(Exchange& ex) {
  ScratchHold<DoctorBuffers> scratch(doctor_scratch);
  auto& adb_output = scratch->adb_output;
  auto& fastboot_output = scratch->fastboot_output;
  adb_output[0] = fastboot_output[0] = '\0';
  platform::UsbDevices usb;

  DoctorFacts facts;
  char tool[tool_path_size];
  find_tool("adb", tool);
  // An adb that is there but cannot be started is as good as none.
  facts.adb_there = tool_is_there("adb") && list_devices(tool, adb_output) != RunEnd::not_started;
  facts.adb_output = adb_output;
  facts.fastboot_download_failed = fastboot_download_failed();
  if (fastboot_present()) {
    find_tool("fastboot", tool);
    facts.fastboot_unstartable = list_devices(tool, fastboot_output) == RunEnd::not_started;
    facts.fastboot_there = !facts.fastboot_unstartable;
  }
  if (facts.fastboot_there)
    facts.network_fastboot_serial = answering_network_phone(tool, fastboot_output, scratch->network_output);
  facts.fastboot_output = fastboot_output;
  platform::list_usb_devices(usb);
  facts.usb = &usb;

  Diagnosis diagnosis;
  diagnose(facts, diagnosis);
  const int length = format_doctor_body(diagnosis, &usb, scratch->body, sizeof scratch->body);
  send_json(ex.socket, ex.reply_origin, scratch->body, length);
}
