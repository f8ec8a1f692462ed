// GET /info's report: finds the phone through adb, else through fastboot,
// and writes the ADB envelope, the Fastboot envelope or a no-phone body.
#pragma once
#include "phones/phone_choice.h"
#include "tools/limits.h"

constexpr int report_buffer_size = 65536;
constexpr int device_serial_size = serial_cap + 1;

enum class ReportKind { adb, fastboot, unauthorized, duplicate, none };

// The report adb's list asks for, or none when fastboot's list is to be
// read next. Without a named serial: the first phone in state "device"
// whose serial is usable and listed once (ADB report); with one: that phone
// when it is listed in state "device" (ADB report) or "unauthorized", and
// the duplicate body when it is listed twice. `serial` receives the
// phone's serial.
ReportKind report_from_adb_list(const PhoneList& adb, SerialRequest asked, char* serial);

// After adb's list gave none. Without a named serial: the first phone
// fastboot lists with a usable serial listed once, else the duplicate body
// when either list shows a ready phone twice, else the unauthorized body
// when adb lists an unauthorized phone, else no phone. With one: a serial
// listed once or a network serial gets the Fastboot report, one listed
// twice the duplicate body, anything else no phone.
ReportKind report_from_fastboot_list(const PhoneList& fastboot, const PhoneList& adb, SerialRequest asked,
                                     char* serial);

// Leaves one NUL-terminated JSON text in `report` (report_buffer_size
// bytes) for the phone the request names (`asked`, `serial` from
// requested_serial), or for the first phone found.
void build_device_report(char* report, SerialRequest asked = SerialRequest::none, const char* serial = "");
