// Which phone GET /info reports on, from the lists adb and fastboot print.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "phones/phone_list.h"
#include "report/device_report.h"

namespace {

const std::string adb_header = "List of devices attached\n";

}  // namespace

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

TEST(PhoneChoice, TheReportNeverReadsOneOfTwoPhonesWithOneSerial) {
  PhoneList adb;
  PhoneList fastboot;
  char serial[serial_cap + 1] = {};
  parse_adb_devices((adb_header + "JUNK\rX\tdevice\nD1\tdevice\nD1\tdevice\n").c_str(), adb);
  EXPECT_EQ(report_from_adb_list(adb, SerialRequest::none, serial), ReportKind::none);
  std::snprintf(serial, sizeof serial, "D1");
  EXPECT_EQ(report_from_adb_list(adb, SerialRequest::given, serial), ReportKind::duplicate);
  // Unnamed: a phone listed once is read; with none, the duplicate body.
  parse_fastboot_devices("F0\tfastboot\nF0\tfastboot\n", fastboot);
  EXPECT_EQ(report_from_fastboot_list(fastboot, adb, SerialRequest::none, serial), ReportKind::duplicate);
  parse_fastboot_devices("F0\tfastboot\nF0\tfastboot\nF1\tfastboot\n", fastboot);
  EXPECT_EQ(report_from_fastboot_list(fastboot, adb, SerialRequest::none, serial), ReportKind::fastboot);
  EXPECT_STREQ(serial, "F1");
}
