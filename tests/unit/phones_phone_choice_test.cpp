// The serial a request names, and which phone a route takes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "http/request_values.h"
#include "phones/phone_choice.h"

namespace {

// "serial" query value (URL-encoded; nullptr: none) and ANDROID_SERIAL
// (nullptr: unset).
SerialRequest request_of(const char* query, const char* environment, char* serial) {
  if (query == nullptr) return requested_serial(nullptr, environment, serial);
  char decoded[url_decoded_size];
  url_decode(query, decoded);
  return requested_serial(decoded, environment, serial);
}

std::string asked(const char* query, const char* environment) {
  char serial[serial_cap + 1];
  switch (request_of(query, environment, serial)) {
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
  SerialRequest request = request_of(query, nullptr, serial);
  switch (decide_phone(kind, request, listed.c_str(), serial)) {
    case PhoneChoice::duplicate:
      return "<duplicate>";
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

TEST(PhoneChoice, AToolThatCannotBeStartedIsMissingNotPhoneless) {
  char serial[serial_cap + 1] = "";
  EXPECT_EQ(choose_phone(ToolKind::fastboot, "/no/such/folder/fastboot", SerialRequest::none, serial),
            PhoneChoice::tool_missing);
  EXPECT_EQ(choose_phone(ToolKind::adb, "/no/such/folder/adb", SerialRequest::none, serial), PhoneChoice::tool_missing);
  // A network serial needs no list, so nothing is run to find out.
  std::snprintf(serial, sizeof serial, "tcp:127.0.0.1:5554");
  EXPECT_EQ(choose_phone(ToolKind::fastboot, "/no/such/folder/fastboot", SerialRequest::given, serial),
            PhoneChoice::chosen);
}

TEST(PhoneChoice, ASerialListedTwiceIsNeverChosen) {
  const std::string twins = "0123456789ABCDEF\tfastboot\n0123456789ABCDEF\tfastboot\n";
  EXPECT_EQ(decided(ToolKind::fastboot, "0123456789ABCDEF", twins), "<duplicate>");
  EXPECT_EQ(decided(ToolKind::fastboot, nullptr, twins), "<duplicate>");
  EXPECT_EQ(decided(ToolKind::fastboot, nullptr, "F1\tfastboot\n" + twins), "<several>");
  EXPECT_EQ(decided(ToolKind::fastboot, "F1", "F1\tfastboot\n" + twins), "F1");
  const std::string adb_twins = adb_header + "R5CY\tdevice\nR5CY\tdevice\n";
  EXPECT_EQ(decided(ToolKind::adb, "R5CY", adb_twins), "<duplicate>");
  EXPECT_EQ(decided(ToolKind::adb, nullptr, adb_twins), "<duplicate>");
}

TEST(PhoneChoice, ASerialListedTwiceIsNotChosenWhenOnlyOneOfItsLinesIsReady) {
  // Only one line is ready, but "-s ABC" could still reach the other phone.
  EXPECT_EQ(decided(ToolKind::adb, nullptr, adb_header + "ABC\tdevice\nABC\toffline\n"), "<duplicate>");
  EXPECT_EQ(decided(ToolKind::adb, nullptr, adb_header + "ABC\tunauthorized\nABC\tdevice\n"), "<duplicate>");
  EXPECT_EQ(decided(ToolKind::adb, "ABC", adb_header + "ABC\toffline\nABC\tdevice\n"), "<duplicate>");
  // Another serial that is listed once and ready is not held back by them.
  EXPECT_EQ(decided(ToolKind::adb, nullptr, adb_header + "ABC\toffline\nR5CY\tdevice\nABC\toffline\n"), "R5CY");
}

TEST(PhoneChoice, PhonesWithUnusableSerialsCountButAreNeverChosen) {
  EXPECT_EQ(decided(ToolKind::fastboot, nullptr, "ABC DEF 123\tfastboot\nGOOD123\tfastboot\n"), "<several>");
  EXPECT_EQ(
      decided(ToolKind::fastboot, nullptr,
              "no permissions; see [http://developer.android.com/tools/device.html]\tfastboot\nGOOD123\tfastboot\n"),
      "<several>");
  EXPECT_EQ(decided(ToolKind::fastboot, "GOOD123", "ABC DEF 123\tfastboot\nGOOD123\tfastboot\n"), "GOOD123");
  EXPECT_EQ(decided(ToolKind::fastboot, nullptr, "ABC DEF 123\tfastboot\n"), "<no phone>");
  EXPECT_EQ(decided(ToolKind::adb, nullptr, adb_header + "JUNK\rVICTIM7\tdevice\n"), "<no phone>");
  EXPECT_EQ(decided(ToolKind::adb, nullptr, adb_header + "JUNK\rVICTIM7\tdevice\nR5CY\tdevice\n"), "<several>");
  // A phone without USB permission is not ready for adb: the ready one is.
  EXPECT_EQ(decided(ToolKind::adb, nullptr, adb_header + "????????????\tno permissions\nR5CY\tdevice\n"), "R5CY");
}

TEST(PhoneChoice, TheRequestsSerialIsItsQueryValue) {
  if (std::getenv("ANDROID_SERIAL") != nullptr) GTEST_SKIP() << "ANDROID_SERIAL is set";
  char serial[serial_cap + 1];
  EXPECT_EQ(serial_in_request("GET /reboot?to=system&serial=tcp%3A127.0.0.1%3A5555 HTTP/1.1\r\n\r\n", serial),
            SerialRequest::given);
  EXPECT_STREQ(serial, "tcp:127.0.0.1:5555");
  EXPECT_EQ(serial_in_request("GET /reboot?serial= HTTP/1.1\r\n\r\n", serial), SerialRequest::bad);
  EXPECT_EQ(serial_in_request("GET /reboot?myserial=A1 HTTP/1.1\r\n\r\n", serial), SerialRequest::none);
  // Every decoded byte must pass the serial rule, a NUL that would end the
  // text early included.
  for (const char* query : {"serial=R1%00EVIL", "serial=R1%00", "serial=%00R1", "serial=R1%0D%0AHost", "serial=R1%0A",
                            "serial=R1%09", "serial=R1%7F", "serial=R1%C3%A9", "serial=R1%zz"}) {
    const std::string request = std::string("GET /reboot?") + query + " HTTP/1.1\r\n\r\n";
    std::snprintf(serial, sizeof serial, "stale");
    EXPECT_EQ(serial_in_request(request.c_str(), serial), SerialRequest::bad) << query;
    EXPECT_STREQ(serial, "") << query;
  }
}
