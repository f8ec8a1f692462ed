// Device lists, the serial a request names, and which phone a route or the
// report takes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report/device_report.h"
#include "tools/device_list.h"
#include "tools/phone_choice.h"

namespace {

std::vector<std::string> serials(const PhoneList& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.count; ++i) out.push_back(std::string(list.phones[i].serial) + "/" + list.phones[i].state);
  return out;
}

std::vector<std::string> adb_list(const std::string& output) {
  PhoneList list;
  parse_adb_devices(output.c_str(), list);
  return serials(list);
}

std::vector<std::string> fastboot_list(const std::string& output) {
  PhoneList list;
  parse_fastboot_devices(output.c_str(), list);
  return serials(list);
}

using V = std::vector<std::string>;

// "serial" query value (nullptr: none) and ANDROID_SERIAL (nullptr: unset).
std::string asked(const char* query, const char* environment) {
  char serial[serial_cap + 1];
  switch (requested_serial(query, environment, serial)) {
    case SerialRequest::none:
      return "<none>";
    case SerialRequest::bad:
      return "<bad>";
    case SerialRequest::given:
      break;
  }
  return serial;
}

std::string decided(ToolKind kind, const char* query, const std::string& listed) {
  char serial[serial_cap + 1];
  SerialRequest request = requested_serial(query, nullptr, serial);
  switch (decide_phone(kind, request, listed.c_str(), serial)) {
    case PhoneChoice::bad_serial:
      return "<bad>";
    case PhoneChoice::no_phone:
      return "<no phone>";
    case PhoneChoice::several:
      return "<several>";
    case PhoneChoice::chosen:
      break;
  }
  return serial;
}

const std::string adb_header = "List of devices attached\n";

}  // namespace

TEST(DeviceLists, AdbLinesAfterTheHeaderWithATab) {
  EXPECT_EQ(adb_list(adb_header + "A1\tunauthorized\nB2\tdevice\n"), (V{"A1/unauthorized", "B2/device"}));
  EXPECT_EQ(adb_list("A1\tdevice\n"), V{});  // the first line is the header, whatever it holds
  EXPECT_EQ(adb_list("* daemon not running; starting now at tcp:5037\n* daemon started successfully\n" + adb_header +
                     "R5CY\tdevice\r\n\r\n127.0.0.1:5555\toffline\r\n"),
            (V{"R5CY/device", "127.0.0.1:5555/offline"}));
  EXPECT_EQ(adb_list(adb_header + "B2    device\n"), V{});  // no tab
}

TEST(DeviceLists, SerialsThatCouldChangeACommandLineAreNeverListed) {
  // adb options, a quote and backslash, a space, over-long: each passed over.
  EXPECT_EQ(adb_list(adb_header + "ABC -H 127.0.0.1 -P 1\tdevice\nA\"B\\\tdevice\n" + std::string(64, 's') +
                     "\tdevice\nOK-1.2_3:4\tdevice\n"),
            V{"OK-1.2_3:4/device"});
  EXPECT_EQ(fastboot_list("no permissions; see [http://developer.android.com/tools/device.html]\tfastboot\n"
                          "F1 \x01"
                          "fast\xff"
                          "boot\n"),
            V{"F1/fastboot"});  // a state is kept as printable ASCII only
  EXPECT_TRUE(is_valid_serial(std::string(63, 's').c_str()));
  EXPECT_FALSE(is_valid_serial(""));
}

TEST(DeviceLists, FastbootSerialsBeforeATabOrTheFirstSpace) {
  EXPECT_EQ(fastboot_list("00153156J000498\tfastboot\nF9   fastboot\n leading\nLONELY\n"),
            (V{"00153156J000498/fastboot", "F9/fastboot"}));
}

TEST(PhoneChoice, TheQueryValueWinsOverTheEnvironment) {
  EXPECT_EQ(asked("R58N12345", "ENV1"), "R58N12345");
  EXPECT_EQ(asked("tcp%3A127.0.0.1%3A5555", nullptr), "tcp:127.0.0.1:5555");  // as a page encodes it
  EXPECT_EQ(asked(nullptr, "ENV1"), "ENV1");
  EXPECT_EQ(asked(nullptr, "bad serial"), "<none>");  // a broken environment value is ignored
  EXPECT_EQ(asked(nullptr, nullptr), "<none>");
  for (const char* bad : {"", "A%20-P%201", "A\"B", "%2Dw%20", "a/b"}) EXPECT_EQ(asked(bad, "ENV1"), "<bad>") << bad;
  EXPECT_EQ(asked(std::string(64, 's').c_str(), nullptr), "<bad>");
}

TEST(PhoneChoice, AdbTakesTheOnlyReadyPhoneOrTheNamedOne) {
  EXPECT_EQ(decided(ToolKind::adb, nullptr, adb_header), "<no phone>");
  EXPECT_EQ(decided(ToolKind::adb, nullptr, adb_header + "A1\tunauthorized\nB2\tdevice\n"), "B2");
  EXPECT_EQ(decided(ToolKind::adb, nullptr, adb_header + "A1\tunauthorized\n"), "<no phone>");
  EXPECT_EQ(decided(ToolKind::adb, nullptr, adb_header + "A1\tdevice\nB2\tdevice\n"), "<several>");
  EXPECT_EQ(decided(ToolKind::adb, "B2", adb_header + "A1\tdevice\nB2\tdevice\n"), "B2");
  EXPECT_EQ(decided(ToolKind::adb, "A%3B1", adb_header), "<bad>");
}

TEST(PhoneChoice, FastbootNeedsTheNamedPhoneListedUnlessOnTheNetwork) {
  const std::string two = "F1\tfastboot\nF2\tfastboot\n";
  EXPECT_EQ(decided(ToolKind::fastboot, nullptr, ""), "<no phone>");
  EXPECT_EQ(decided(ToolKind::fastboot, nullptr, "F1\tfastboot\n"), "F1");
  EXPECT_EQ(decided(ToolKind::fastboot, nullptr, two), "<several>");
  EXPECT_EQ(decided(ToolKind::fastboot, "F2", two), "F2");
  EXPECT_EQ(decided(ToolKind::fastboot, "F3", two), "<no phone>");
  EXPECT_EQ(decided(ToolKind::fastboot, "tcp:127.0.0.1:5554", ""), "tcp:127.0.0.1:5554");
  EXPECT_EQ(decided(ToolKind::fastboot, "udp:10.0.0.2", two), "udp:10.0.0.2");
}

TEST(PhoneChoice, TheReportTellsAnUnauthorizedPhoneFromNoPhone) {
  PhoneList adb;
  PhoneList fastboot;
  char serial[serial_cap + 1] = {};
  parse_adb_devices((adb_header + "U1\tunauthorized\nO1\toffline\n").c_str(), adb);
  EXPECT_EQ(report_from_adb_list(adb, SerialRequest::none, serial), ReportKind::none);
  EXPECT_EQ(report_from_fastboot_list(fastboot, adb, SerialRequest::none, serial), ReportKind::unauthorized);
  // A phone in Fastboot mode is reported rather than the refusal.
  parse_fastboot_devices("F1\tfastboot\n", fastboot);
  EXPECT_EQ(report_from_fastboot_list(fastboot, adb, SerialRequest::none, serial), ReportKind::fastboot);
  EXPECT_STREQ(serial, "F1");
  // Named phones: as listed, or not at all.
  std::snprintf(serial, sizeof serial, "U1");
  EXPECT_EQ(report_from_adb_list(adb, SerialRequest::given, serial), ReportKind::unauthorized);
  std::snprintf(serial, sizeof serial, "O1");
  EXPECT_EQ(report_from_adb_list(adb, SerialRequest::given, serial), ReportKind::none);
  EXPECT_EQ(report_from_fastboot_list(fastboot, adb, SerialRequest::given, serial), ReportKind::none);
  std::snprintf(serial, sizeof serial, "tcp:127.0.0.1:1");
  EXPECT_EQ(report_from_fastboot_list(fastboot, adb, SerialRequest::given, serial), ReportKind::fastboot);
}
