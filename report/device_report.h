// GET /info's report: finds the first ready phone through adb, else through
// fastboot, and writes the ADB envelope, the Fastboot envelope or the
// no-phone body.
#pragma once

constexpr int report_buffer_size = 65536;
constexpr int device_serial_size = 128;  // at most 127 characters and a NUL

constexpr char no_phone_body[] =
    "{\"ok\":false,\"error\":\"Koi phone nahi mila. ADB: USB debugging ON + phone par Allow. Ya phone Fastboot mode "
    "mein layein. Cable theek hai?\"}";

// Leaves one NUL-terminated JSON text in `report` (report_buffer_size bytes).
void build_device_report(char* report);

// From the adb device list (its first line is the header and is never
// used): the serial of the first line whose state starts with "device".
bool pick_adb_serial(const char* devices_output, char* serial);

// From the fastboot device list: the text before the first tab, else
// before the first space (not empty), of the first line that has one.
bool pick_fastboot_serial(const char* devices_output, char* serial);
