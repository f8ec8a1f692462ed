#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "report/shell_probes.h"

namespace {

template <typename F>
std::string text_of(F parse, const std::string& reply) {
  char out[128];
  std::memset(out, '?', sizeof out);
  parse(reply.c_str(), out);
  return out;
}

const std::string dot = " \xC2\xB7 ";
const std::string degrees =
    "\xC2\xB0"
    "C";

}  // namespace

TEST(ReportProbes, BatteryTextHealthNamesAndTemperature) {
  EXPECT_EQ(text_of(battery_text, "  level: 85\n  health: 2\n  temperature: 305\n"),
            "85%" + dot + "Good" + dot + "30.5" + degrees);
  EXPECT_EQ(text_of(battery_text, "  level: 85\n  health: 9\n  temperature: 305\n"), "85%" + dot + "30.5" + degrees);
  EXPECT_EQ(text_of(battery_text, "  level: 40\n  health: 1\n"), "40%" + dot + "Unknown");
  EXPECT_EQ(text_of(battery_text, "  level: 40\n  health: 6\n"), "40%" + dot + "Failure");
  EXPECT_EQ(text_of(battery_text, "  level: 3\n  health: 7\n  temperature: -50\n"), "3%" + dot + "Cold");
  EXPECT_EQ(text_of(battery_text, "  health: 2\n  temperature: 305\n"), "");
}

TEST(ReportProbes, BatteryHealthRowAndCycles) {
  EXPECT_STREQ(battery_health_row("  health: 7\n"), "Cold");
  EXPECT_STREQ(battery_health_row("  health: 5\n"), "Over voltage");
  EXPECT_EQ(battery_health_row("  health: 1\n"), nullptr);
  EXPECT_EQ(battery_health_row("  health: 6\n"), nullptr);
  EXPECT_EQ(battery_health_row("  level: 50\n"), nullptr);

  EXPECT_EQ(text_of(dumpsys_cycle_count, "  Cycle count: 312\n"), "312");
  EXPECT_EQ(text_of(dumpsys_cycle_count, "  mCycle count:  7\n"), "7");
  EXPECT_EQ(text_of(dumpsys_cycle_count, "  level: 50\n"), "");
  EXPECT_EQ(text_of(file_cycle_count, "57\n"), "57");
  EXPECT_EQ(text_of(file_cycle_count, " 57\n"), "");

  EXPECT_TRUE(battery_serial_usable(std::string(39, 'S').c_str()));
  EXPECT_FALSE(battery_serial_usable(std::string(40, 'S').c_str()));
  EXPECT_FALSE(battery_serial_usable("cat: /sys/x: No such file or directory"));
  EXPECT_FALSE(battery_serial_usable("cat: /sys/x: Permission denied"));
  EXPECT_FALSE(battery_serial_usable(""));
}

TEST(ReportProbes, MemoryAndStorage) {
  EXPECT_EQ(text_of(ram_text, "MemTotal:        6000000 kB\nMemFree: 1 kB\n"), "5.72 GB");
  EXPECT_EQ(text_of(ram_text, "MemTotal: 0 kB\n"), "");
  EXPECT_EQ(text_of(ram_text, "MemFree: 5 kB\n"), "");

  EXPECT_EQ(text_of(storage_text,
                    "Filesystem     1K-blocks     Used Available Use% Mounted on\n"
                    "/dev/block/dm-48 231265036 85012345 146121035  37% /data\n"),
            "231265036 total" + dot + "146121035 free");
  // The header line holds no "/data" and no upper-case G: only the
  // unterminated last part would be read, and there is none.
  EXPECT_EQ(text_of(storage_text, "Filesystem     1K-blocks     Used Available Use% Mounted on\n"), "");
  // The last line with "/data" or a G wins.
  EXPECT_EQ(text_of(storage_text, "/dev/x 64G 1G 63G 2% /data\nother 1 2 3\ntmpfs 12G 3G 9G 25% /mnt\n"),
            "12G total" + dot + "9G free");
  EXPECT_EQ(text_of(storage_text, "Filesystem Size Used Avail\n/dev/y 100 50 50 50% /x"),
            "100 total" + dot + "50 free");
}

TEST(ReportProbes, Screen) {
  char out[96];
  screen_text("Physical size: 1440x3088\nOverride size: 1080x2316\n", "Physical density: 600\nOverride density: 450\n",
              out);
  EXPECT_STREQ(out, "1440x3088 (600 dpi)");
  screen_text("Override size: 1080x2316\r\n", "", out);
  EXPECT_STREQ(out, "1080x2316");
  screen_text("", "Physical density: 420\n", out);
  EXPECT_STREQ(out, "");
}

TEST(ReportProbes, IdentifiersAndCounts) {
  EXPECT_EQ(text_of(wifi_mac_text, "aa:bb:cc:dd:ee:ff"), "AA:BB:CC:DD:EE:FF");
  EXPECT_EQ(text_of(wifi_mac_text, "no colon"), "");
  // An error message with a colon is not an address.
  EXPECT_EQ(text_of(wifi_mac_text, "cat: /sys/class/net/wlan0/address: Permission denied"), "");
  EXPECT_EQ(text_of(bluetooth_mac_text, "java.lang.SecurityException: denied"), "");
  EXPECT_EQ(text_of(bluetooth_mac_text, "null"), "");
  EXPECT_EQ(text_of(bluetooth_mac_text, "f0:e1:d2:c3:b4:a5"), "F0:E1:D2:C3:B4:A5");
  EXPECT_EQ(text_of(android_id_text, "null"), "");
  EXPECT_EQ(text_of(android_id_text, "NULL"), "NULL");
  EXPECT_EQ(text_of(first_line, "a1b2c3\r\nsecond"), "a1b2c3");

  std::string twelve;
  for (int i = 0; i < 12; ++i) twelve += "Account {name=u" + std::to_string(i) + "@gmail.com, type=com.google}\n";
  EXPECT_EQ(text_of(google_accounts_text, twelve), "8  (FRP risk after reset)");
  EXPECT_EQ(text_of(google_accounts_text, "Accounts: 0\n"), "");
  EXPECT_EQ(text_of(installed_apps_text, "package:a\npackage:b\npackage:c\n"), "3");
  EXPECT_EQ(text_of(installed_apps_text, ""), "");
}

TEST(ReportProbes, SystemTexts) {
  EXPECT_EQ(text_of(selinux_text, "Enforcing\r\n"), "Enforcing");
  EXPECT_EQ(text_of(kernel_text, "Linux version 5.15.104-android13-8 (kleaf@build) #1 SMP\n"), "5.15.104-android13-8");
  EXPECT_EQ(text_of(kernel_text, "cat: /proc/version: denied\n"), "");
  EXPECT_EQ(text_of(root_text, "uid=0(root) gid=0(root)\n"), "Yes");
  EXPECT_EQ(text_of(root_text, "uid=2000(shell) gid=2000(shell)\n"), "No");
  EXPECT_EQ(text_of(root_text, ""), "");
}
