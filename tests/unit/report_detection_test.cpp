#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "report/device_report.h"

namespace {

std::string adb_pick(const std::string& out) {
  char serial[device_serial_size];
  std::memset(serial, '?', sizeof serial);
  return pick_adb_serial(out.c_str(), serial) ? std::string(serial) : "<none>";
}

std::string fastboot_pick(const std::string& out) {
  char serial[device_serial_size];
  std::memset(serial, '?', sizeof serial);
  return pick_fastboot_serial(out.c_str(), serial) ? std::string(serial) : "<none>";
}

}  // namespace

TEST(ReportDetection, AdbTakesTheFirstReadyLineAfterTheHeader) {
  EXPECT_EQ(adb_pick("List of devices attached\nA1\tunauthorized\nB2\tdevice\n"), "B2");
  EXPECT_EQ(adb_pick("List of devices attached\r\n\r\nX1\tdevice\r\nX2\tdevice\r\n"), "X1");
  EXPECT_EQ(adb_pick("A1\tdevice\n"), "<none>");  // the first line is never a device
  EXPECT_EQ(adb_pick("List of devices attached\nA1\toffline\nB2    device\n"), "<none>");
  EXPECT_EQ(adb_pick("* daemon not running; starting now at tcp:5037\n* daemon started successfully\n"
                     "List of devices attached\nR5CY\tdevice\n"),
            "R5CY");
  EXPECT_EQ(adb_pick(""), "<none>");
  EXPECT_EQ(adb_pick("List\n" + std::string(200, 's') + "\tdevice\n"), std::string(127, 's'));
}

TEST(ReportDetection, FastbootTakesTabOrSpaceSeparatedSerials) {
  EXPECT_EQ(fastboot_pick("00153156J000498\tfastboot\n"), "00153156J000498");
  EXPECT_EQ(fastboot_pick("F9   fastboot\n"), "F9");
  EXPECT_EQ(fastboot_pick(" leading space\nF8\tfastboot\n"), "F8");
  EXPECT_EQ(fastboot_pick("LONELYSERIAL\n"), "<none>");
  EXPECT_EQ(fastboot_pick(""), "<none>");
}
