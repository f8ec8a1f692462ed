// GET /doctor: why no phone is seen, and what to do. The findings are a
// plain decision over what the tools printed and what the USB list shows.
#pragma once
#include "http/exchange.h"
#include "phones/phone_list.h"
#include "platform/usb_devices.h"

// In the order they are reported, most useful first: what keeps every
// phone away, then what keeps one phone away, then each listed phone's
// own state, then what the USB list tells when no tool lists a phone.
enum class Finding {
  adb_missing,              // adb is not there, or could not be started
  adb_server_conflict,      // another program's adb server is in the way
  fastboot_missing,         // fastboot is not there (its download failed, or is still to come)
  usb_no_driver,            // Windows: the phone's device node has a problem code
  usb_no_permission,        // Linux: the phone's device node may not be opened
  adb_no_permissions,       // adb lists a phone it may not open
  fastboot_no_permissions,  // fastboot lists a phone it may not open
  adb_unauthorized,         // adb: waiting for "Allow"
  adb_authorizing,          // adb: "Allow" is being processed
  adb_offline,              // adb: listed but not answering
  adb_other_mode,           // adb: recovery, sideload, rescue, bootloader or host
  usb_not_listed,           // an ADB/fastboot interface on USB that no tool lists
  usb_debugging_off,        // a phone in file-transfer mode without ADB
  none_seen,                // nothing on USB looks like a phone, no tool lists one
};

struct DoctorFacts {
  // adb is found and "adb devices" started.
  bool adb_there = false;
  const char* adb_output = "";  // "adb devices", standard error merged
  // fastboot is found and "fastboot devices" started; else whether a file
  // of its name is there that cannot be started, and whether its download
  // failed in this run.
  bool fastboot_there = false;
  bool fastboot_unstartable = false;
  bool fastboot_download_failed = false;
  const char* fastboot_output = "";  // "fastboot devices"
  // The network Fastboot phone that ANDROID_SERIAL names, when it answered
  // (fastboot never lists it); empty otherwise. It counts as listed.
  const char* network_fastboot_serial = "";
  const platform::UsbDevices* usb = nullptr;  // nullptr: not looked at
  // What reaches a phone on USB that no tool lists: this system's, unless
  // a test asks for the other's advice.
  platform::UsbReachFix usb_fix = platform::usb_reach_fix;
};

constexpr int max_findings = 16;

struct DoctorFinding {
  Finding finding;
  const char* text;
  char serial[serial_cap + 1];  // a listed, usable serial, or empty
  const char* mode;             // "ADB", "Fastboot", or nullptr
  int usb_index;                // the USB device it is about, or -1
};

struct Diagnosis {
  DoctorFinding items[max_findings];
  int count = 0;
};

// Decides the findings in the order of Finding; a finding about one phone
// comes once per phone, any other once. Empty when a phone is ready and
// nothing is wrong. A serial that breaks the serial rule is never kept.
void diagnose(const DoctorFacts& facts, Diagnosis& out);

// The finding's stable code in the reply ("adb_missing", ...).
const char* finding_code(Finding finding);

// Formats {"ok":true,"findings":[...]} into `body` (`size` bytes); returns
// its length. A finding about a USB device has its "usb":"vvvv:pppp" and,
// when the Android vendor list knows the number, "maker":"NAME" after it.
// A finding that does not fit whole is left out.
int format_doctor_body(const Diagnosis& diagnosis, const platform::UsbDevices* usb, char* body, int size);

// GET /doctor: runs only quick things ("adb devices", "fastboot devices"
// when fastboot is there, the USB list), never downloads fastboot, and
// sends the findings.
void handle_doctor(Exchange& ex);
