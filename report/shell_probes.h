// The ADB report's shell probes: each reply is turned into a row value by a
// pure function of its text; the run_* functions run the probes.
#pragma once

// The value texts of the probes whose rows add_property_rows adds (Row::ram
// ... Row::battery).
struct ProbeTexts {
  char google_accounts[64];
  char wifi_mac[64];
  char bluetooth_mac[64];
  char installed_apps[16];
  char battery[64];
  char ram[32];
  char storage[64];
  char screen[96];
  char selinux[32];
  char kernel[96];
  char root[8];
  char android_id[64];
};

// ---- Parsers (reply text in, value text out; an empty value = no row) ----

// "N  (FRP risk after reset)" with N the count of "com.google", at most 8.
void google_accounts_text(const char* reply, char* out);
// The first line of a reply, as probe_line leaves it (64-byte text).
void first_line(const char* reply, char* out);
// A line of hex digits and colons (with a colon), upper-cased; anything
// else, such as an error message or "null", gives no value.
void wifi_mac_text(const char* line, char* out);
void bluetooth_mac_text(const char* line, char* out);
// Any line but exactly "null".
void android_id_text(const char* line, char* out);
// The count of "package:".
void installed_apps_text(const char* reply, char* out);
// "85% · Good · 30.5°C" from the first dumpsys battery reply.
void battery_text(const char* reply, char* out);
// MemTotal in GB, "5.72 GB".
void ram_text(const char* reply, char* out);
// "<size> total · <free> free" from the chosen df line.
void storage_text(const char* reply, char* out);
// "1080x2400 (420 dpi)" from the wm size and wm density replies.
void screen_text(const char* size_reply, const char* density_reply, char* out);
void selinux_text(const char* reply, char* out);
// The word after "version " in /proc/version.
void kernel_text(const char* reply, char* out);
// "Yes" / "No" from the id reply; empty for an empty reply.
void root_text(const char* reply, char* out);
// The digits after "ycle count:" in the second battery reply (32 bytes).
void dumpsys_cycle_count(const char* reply, char* out);
// The digits at the start of the cycle_count file's reply (32 bytes).
void file_cycle_count(const char* reply, char* out);
// The "Battery health" row value for the health code of the second battery
// reply, or nullptr when the code gives no row.
const char* battery_health_row(const char* reply);
// True when the battery serial line may be shown.
bool battery_serial_usable(const char* line);

// ---- Runs (adb path, device serial) --------------------------------------

// Google accounts, WiFi MAC, Bluetooth MAC, installed apps.
void run_identity_probes(const char* adb, const char* serial, ProbeTexts& texts);
// Battery, RAM, storage, screen, SELinux, kernel, root, Android ID.
void run_system_probes(const char* adb, const char* serial, ProbeTexts& texts);
// The second battery run, the cycle count file when needed and the battery
// serial; adds the rows Row::battery_cycles, Row::battery_health and
// Row::battery_serial.
void add_battery_detail_rows(const char* adb, const char* serial, char* list, int* first);
