// Why no phone is seen, and what to do: a plain decision over what the
// tools printed and what the USB list shows. GET /doctor sends it.
#pragma once
#include "platform/usb_devices.h"

// In the order they are reported: what keeps every phone away first, then
// each phone's own state, then fastboot, then what the USB list tells
// when no tool lists any phone.
enum class Finding {
  adb_missing,          // adb is not there at all
  adb_not_started,      // adb is there but its server did not start
  adb_server_conflict,  // another program's adb server is in the way
  no_permissions,       // Linux: the phone is there but this user may not open it
  usb_driver_missing,   // Windows: the ADB/fastboot interface has no working driver
  unauthorized,         // adb: waiting for Allow
  authorizing,          // adb: Allow is being processed
  offline,              // adb: listed but not answering
  phone_ready,          // a phone ready in ADB or Fastboot mode
  fastboot_missing,     // no fastboot, and its download in this run failed
  fastboot_on_demand,   // no fastboot yet: the first flash downloads it
  usb_not_listed,       // an ADB/fastboot interface on USB that no tool lists
  usb_debugging_off,    // a device of an Android maker without ADB/fastboot
  no_usb_phone,         // the USB list holds nothing that may be a phone
  no_phone,             // no phone listed, and USB could not be looked at
};

struct DoctorFacts {
  bool adb_there = false;       // tool_is_there("adb")
  const char* adb_output = "";  // "adb devices", standard error merged
  bool fastboot_there = false;  // tool_is_there("fastboot")
  bool fastboot_download_failed = false;
  const char* fastboot_output = "";           // "fastboot devices"
  const platform::UsbDevices* usb = nullptr;  // nullptr: not looked at
};

constexpr int max_findings = 16;

struct DoctorFinding {
  Finding finding;
  int usb_index;  // the USB device it is about, or -1
};

struct Diagnosis {
  DoctorFinding items[max_findings];
  int count = 0;
  bool ready = false;  // some phone can be acted on now
};

// Decides the findings, each at most once, in the order of Finding.
void diagnose(const DoctorFacts& facts, Diagnosis& out);

// The finding's code in the reply ("adb_missing", ...) and its text.
const char* finding_code(Finding finding);
const char* finding_text(Finding finding);

// Formats {"ok":true,"ready":BOOL,"findings":[{"code":"...","text":"..."
// [,"usb":"VVVV:PPPP Maker"]},...]} into `body` (`size` bytes); returns its
// length. Every text is escaped.
int format_doctor_body(const Diagnosis& diagnosis, const platform::UsbDevices* usb, char* body, int size);
