// The phones a tool lists, and the rules every route asks about them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "phones/phone_list.h"

namespace {

std::vector<std::string> serials(const PhoneList& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.count; ++i) {
    const ListedPhone& phone = list.phones[i];
    out.push_back(std::string(phone.serial) + "/" + phone.state + (phone.duplicate ? "*" : ""));
  }
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

TEST(DeviceLists, SerialsThatCouldChangeACommandLineCountButAreNeverKept) {
  // adb options, a quote and backslash, a space, over-long: each listed
  // with its state and no serial.
  EXPECT_EQ(adb_list(adb_header + "ABC -H 127.0.0.1 -P 1\tdevice\nA\"B\\\tdevice\n" + std::string(64, 's') +
                     "\tdevice\nOK-1.2_3:4\tdevice\n"),
            (V{"/device", "/device", "/device", "OK-1.2_3:4/device"}));
  EXPECT_EQ(fastboot_list("no permissions; see [http://developer.android.com/tools/device.html]\tfastboot\n"
                          "ABC DEF 123\tfastboot\n"
                          "F1 \x01"
                          "fast\xff"
                          "boot\n"),
            (V{"/fastboot", "/fastboot", "F1/fastboot"}));  // a state is kept as printable ASCII only
  // A lone CR stays inside its line: it never starts a phone of its own.
  EXPECT_EQ(adb_list(adb_header + "JUNK\rVICTIM7\tdevice\r\nR5CY\tdevice\r\r\n"), (V{"/device", "R5CY/device"}));
  EXPECT_TRUE(is_valid_serial(std::string(63, 's').c_str()));
  EXPECT_FALSE(is_valid_serial(""));
}

TEST(DeviceLists, ASerialListedTwiceIsMarkedEvenPastTheKeptPhones) {
  EXPECT_EQ(fastboot_list("0123456789ABCDEF\tfastboot\nF2\tfastboot\n0123456789ABCDEF\tfastboot\n"),
            (V{"0123456789ABCDEF/fastboot*", "F2/fastboot", "0123456789ABCDEF/fastboot*"}));
  std::string many = "D1\tfastboot\n";
  for (int i = 0; i < max_listed_phones + 4; ++i) many += "P" + std::to_string(i) + "\tfastboot\n";
  PhoneList list;
  parse_fastboot_devices((many + "D1\tfastboot\n").c_str(), list);
  EXPECT_EQ(list.count, max_listed_phones);
  EXPECT_EQ(list.total, max_listed_phones + 6);
  EXPECT_TRUE(list.phones[0].duplicate);
  EXPECT_FALSE(list.phones[1].duplicate);
}

TEST(DeviceLists, FastbootSerialsBeforeATabOrTheFirstSpace) {
  EXPECT_EQ(fastboot_list("00153156J000498\tfastboot\nF9   fastboot\n leading\nLONELY\n"),
            (V{"00153156J000498/fastboot", "F9/fastboot"}));
}

TEST(PhoneRules, ReadyDependsOnTheToolWhoseListItIs) {
  PhoneList adb;
  parse_adb_devices((adb_header + "R1\tdevice\nU1\tunauthorized\nJUNK\rX\tdevice\nD1\tdevice\nD1\toffline\n").c_str(),
                    adb);
  ASSERT_EQ(adb.count, 5);
  EXPECT_TRUE(is_ready(adb, adb.phones[0]));
  EXPECT_FALSE(is_ready(adb, adb.phones[1]));
  // A ready phone without a usable serial is ready, but never taken.
  EXPECT_TRUE(is_ready(adb, adb.phones[2]));
  EXPECT_FALSE(is_usable(adb.phones[2]));
  EXPECT_FALSE(may_take_unnamed(adb, adb.phones[2]));
  // A serial listed twice is never taken, whatever its other line's state.
  EXPECT_TRUE(is_ready(adb, adb.phones[3]));
  EXPECT_FALSE(may_take_unnamed(adb, adb.phones[3]));
  EXPECT_TRUE(shows_ready_duplicate(adb));
  EXPECT_EQ(first_unnamed(adb), &adb.phones[0]);

  // Every phone fastboot lists is in Fastboot mode, whatever its word.
  PhoneList fastboot;
  parse_fastboot_devices("F1\tfastboot\nF2 anything\n", fastboot);
  EXPECT_TRUE(is_ready(fastboot, fastboot.phones[0]));
  EXPECT_TRUE(is_ready(fastboot, fastboot.phones[1]));
  EXPECT_FALSE(shows_ready_duplicate(fastboot));
  EXPECT_TRUE(shows_usable_ready_phone(fastboot));

  // Only unusable or waiting phones: none is ready to be used.
  parse_adb_devices((adb_header + "U1\tunauthorized\nJUNK\rX\tdevice\n").c_str(), adb);
  EXPECT_FALSE(shows_usable_ready_phone(adb));
  EXPECT_EQ(first_unnamed(adb), nullptr);
}

// What Debian's fastboot printed for "getvar product" to a phone on the
// network: one that has the variable, one that refuses it, and no phone.
TEST(NetworkPhone, AnsweredWhenFastbootFinishedTalkingToIt) {
  const ToolRun finished{RunEnd::finished, false};
  EXPECT_TRUE(network_phone_answered(finished, "product: cheetah\nFinished. Total time: 0.001s\n"));
  EXPECT_TRUE(network_phone_answered(
      finished,
      "getvar:product                                     FAILED (remote: 'GetVar Variable Not found')\n"
      "Finished. Total time: 0.007s\n"));
  EXPECT_FALSE(network_phone_answered(ToolRun{RunEnd::timed_out, false},
                                      "error: Failed to connect to 127.0.0.1:1\n< waiting for tcp:127.0.0.1:1 >\n"));
  EXPECT_FALSE(network_phone_answered(finished, "fastboot: error: invalid network address '127.0.0.1:'\n"));
  EXPECT_FALSE(network_phone_answered(ToolRun{RunEnd::not_started, false}, ""));
}
