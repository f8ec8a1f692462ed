#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/actions_client.h"
#include "tests/e2e/bridge_harness.h"
#include "tests/support/json_check.h"

using actions_e2e::framed;
using actions_e2e::trusted_get;
using e2e::Bridge;

namespace {

// An adb whose answers are outputs measured from the real adb.
constexpr char adb_script[] =
    "match devices\nsay List of devices attached\\nU1\\tunauthorized\\nR58N12345\\tdevice\\n\n"
    "match pair 192.168.1.20:37123\nsay Successfully paired to 192.168.1.20:37123 [guid=adb-XXXX]\\n\n"
    "match pair\nsay adb: unknown command pair\\n\n"
    "match disconnect\nsay disconnected everything\\r\\n\n"
    "match connect 127.0.0.1:1\nsay failed to connect to '127.0.0.1:1': Connection refused\\r\\n\n"
    "match connect\nsay already connected to My-Phone.local:5555\\r\\n\n"
    "match mdns\nsay error: unknown host service\\tx \"q\"\\r\\n\n";

class DeviceActions : public ::testing::Test {
 protected:
  void SetUp() override {
    bridge.add_tool("adb", adb_script);
    bridge.add_tool("fastboot", actions_e2e::one_fastboot_phone);
    ASSERT_TRUE(bridge.start()) << bridge.console();
  }
  std::string body_of(const std::string& target) {
    auto reply = trusted_get(bridge, target);
    EXPECT_TRUE(framed(reply)) << target;
    return reply.body;
  }
  Bridge bridge;
};

constexpr char bad_pair[] = "{\"ok\":false,\"error\":\"ip/port/code theek nahi\"}";
constexpr char bad_connect[] = "{\"ok\":false,\"error\":\"ip/port theek nahi\"}";
constexpr char unknown[] = "{\"ok\":false,\"error\":\"unknown\"}";
constexpr char unknown_target[] = "{\"ok\":false,\"error\":\"unknown target\"}";

}  // namespace

TEST_F(DeviceActions, WirelessActionsRunAdbAndReadItsVerdict) {
  EXPECT_EQ(body_of("/wifi-pair?ip=192.168.1.20&port=37123&code=123456"),
            "{\"ok\":true,\"log\":\"Successfully paired to 192.168.1.20:37123 [guid=adb-XXXX]\\n\"}");
  EXPECT_EQ(body_of("/wifi-pair?ip=10.0.0.2&port=5&code=1"), "{\"ok\":false,\"log\":\"adb: unknown command pair\\n\"}");
  EXPECT_EQ(body_of("/wifi-connect?ip=127.0.0.1&port=1"),
            "{\"ok\":false,\"log\":\"failed to connect to '127.0.0.1:1': Connection refused\\n\"}");
  EXPECT_EQ(body_of("/wifi-connect?ip=My-Phone.local&port=5555&code=x"),
            "{\"ok\":true,\"log\":\"already connected to My-Phone.local:5555\\n\"}");
  EXPECT_EQ(body_of("/wifi-disconnect?ip=1.2.3.4"), "{\"ok\":true,\"log\":\"disconnected everything\\n\"}");
  // mdns is ok whatever adb printed.
  EXPECT_EQ(body_of("/wifi-mdns"), "{\"ok\":true,\"log\":\"error: unknown host service\\tx \\\"q\\\"\\n\"}");
  EXPECT_EQ(bridge.tool_calls("adb"),
            (std::vector<std::string>{"pair 192.168.1.20:37123 123456", "pair 10.0.0.2:5 1", "connect 127.0.0.1:1",
                                      "connect My-Phone.local:5555", "disconnect", "mdns services"}));
}

// The value rules themselves are covered by the unit tests.
TEST_F(DeviceActions, WirelessRefusalsRunNothing) {
  EXPECT_EQ(body_of("/wifi-pair"), bad_pair);
  EXPECT_EQ(body_of("/wifi-pair?ip=1.2.3.4&port=5555"), bad_pair);
  EXPECT_EQ(body_of("/wifi-pair?ip=a%3Bb&port=1&code=1"), bad_pair);
  EXPECT_EQ(body_of("/wifi-connect?ip=1.2.3.4%20-a&port=1"), bad_connect);
  EXPECT_EQ(body_of("/wifi-connect?ip=1.2.3.4&port=123456"), bad_connect);
  for (const char* target : {"/wifi-Pair?ip=1.2.3.4&port=1&code=1", "/wifi-pairing", "/wifi-"}) {
    EXPECT_EQ(body_of(target), unknown) << target;
  }
  EXPECT_TRUE(bridge.tool_calls("adb").empty());
}

TEST_F(DeviceActions, RebootRunsEachTargetsCommand) {
  struct Case {
    const char* target;
    const char* to;
    const char* tool;
    const char* args;
  };
  const Case cases[] = {
      {"/reboot", "system", "adb", "-s R58N12345 reboot"},
      {"/reboot?to=system", "system", "adb", "-s R58N12345 reboot"},
      {"/reboot?to=bootloader", "bootloader", "adb", "-s R58N12345 reboot bootloader"},
      {"/reboot?to=download", "download", "adb", "-s R58N12345 reboot download"},
      {"/reboot?to=recovery&x=1", "recovery", "adb", "-s R58N12345 reboot recovery"},
      {"/reboot?to=fbsystem", "fbsystem", "fastboot", "-s 0A1B2C3D reboot"},
      {"/reboot?to=fbbootloader", "fbbootloader", "fastboot", "-s 0A1B2C3D reboot-bootloader"},
      {"/reboot?to=fastbootd", "fastbootd", "fastboot", "-s 0A1B2C3D reboot fastboot"},
  };
  std::vector<std::string> adb_calls;
  std::vector<std::string> fastboot_calls;
  for (const Case& c : cases) {
    EXPECT_EQ(body_of(c.target), std::string("{\"ok\":true,\"to\":\"") + c.to + "\"}") << c.target;
    // Each reboot lists the phones first and acts on the single ready one.
    auto& calls = std::string(c.tool) == "adb" ? adb_calls : fastboot_calls;
    calls.push_back("devices");
    calls.push_back(c.args);
  }
  EXPECT_EQ(bridge.tool_calls("adb"), adb_calls);
  EXPECT_EQ(bridge.tool_calls("fastboot"), fastboot_calls);
}

TEST_F(DeviceActions, UnknownRebootTargetsRunNothing) {
  for (const std::string& target :
       {std::string("/reboot?to="), std::string("/reboot?to=Recovery"), std::string("/reboot?to=edl"),
        "/reboot?to=recovery" + std::string(20, 'x'), std::string("/reboot?to=recovery%20")}) {
    EXPECT_EQ(body_of(target), unknown_target) << target;
  }
  EXPECT_TRUE(bridge.tool_calls("adb").empty());
  EXPECT_TRUE(bridge.tool_calls("fastboot").empty());
}

TEST_F(DeviceActions, AdbKillStopsTheServer) {
  auto reply = trusted_get(bridge, "/adbkill");
  EXPECT_EQ(reply.header("Content-Length"), "11");
  EXPECT_EQ(reply.body, "{\"ok\":true}");
  EXPECT_EQ(bridge.tool_calls("adb"), std::vector<std::string>{"kill-server"});
}

// Which phone a reboot reaches, and failures reported as failures.
TEST(RebootChoice, TheNamedOrOnlyPhoneAndHonestVerdicts) {
  Bridge bridge;
  bridge.add_tool("adb",
                  "match devices\nsay List of devices attached\\nA1\\tdevice\\nB2\\tdevice\\n\n"
                  "match -s GONE\nsay error: device 'GONE' not found\\n\nmatch reboot\n");
  bridge.add_tool("fastboot",
                  "match devices\nmatch tcp:127.0.0.1:1 reboot\nsay < waiting for tcp:127.0.0.1:1 >\\n\n"
                  "match reboot\nsay Rebooting    FAILED (remote: 'unknown command')\\n\n");
  ASSERT_TRUE(bridge.start()) << bridge.console();
  auto body_of = [&](const std::string& target) {
    auto reply = trusted_get(bridge, target);
    EXPECT_TRUE(framed(reply)) << target;
    return reply.body;
  };
  EXPECT_EQ(
      body_of("/reboot?to=recovery"),
      "{\"ok\":false,\"error\":\"Ek se zyada phone lage hain. Ek phone chunein (serial) ya baaki nikaal dein.\"}");
  EXPECT_EQ(body_of("/reboot?to=recovery&serial=B2"), "{\"ok\":true,\"to\":\"recovery\"}");
  EXPECT_EQ(body_of("/reboot?serial=GONE"),
            "{\"ok\":false,\"to\":\"system\",\"log\":\"error: device 'GONE' not found\\n\"}");
  EXPECT_EQ(body_of("/reboot?serial=B2%20-H%201"), "{\"ok\":false,\"error\":\"serial theek nahi\"}");
  EXPECT_EQ(body_of("/reboot?to=fbsystem"),
            "{\"ok\":false,\"error\":\"Fastboot mode mein koi phone nahi mila. Phone ko bootloader (Fastboot) mode "
            "mein layein.\"}");
  EXPECT_EQ(body_of("/reboot?to=fbsystem&serial=F9"),
            "{\"ok\":false,\"error\":\"Fastboot mode mein koi phone nahi mila. Phone ko bootloader (Fastboot) mode "
            "mein layein.\"}");
  EXPECT_EQ(body_of("/reboot?to=fastbootd&serial=tcp:127.0.0.1:1"),
            "{\"ok\":false,\"to\":\"fastbootd\",\"log\":\"< waiting for tcp:127.0.0.1:1 >\\n\"}");
  EXPECT_EQ(bridge.tool_calls("adb"),
            (std::vector<std::string>{"devices", "devices", "-s B2 reboot recovery", "devices", "-s GONE reboot"}));
  EXPECT_EQ(bridge.tool_calls("fastboot"),
            (std::vector<std::string>{"devices", "devices", "-s tcp:127.0.0.1:1 reboot fastboot"}));
}

// A named serial is judged on every byte it decodes to: one holding an
// encoded NUL (which would cut it to a listed phone's serial), a line end or
// any other byte outside the rule gets the serial error on every route, and
// no tool runs.
TEST(RebootChoice, ASerialWithAnyByteOutsideTheRuleRunsNothing) {
  Bridge bridge;
  bridge.add_tool("adb", "match devices\nsay List of devices attached\\nR1\\tdevice\\n\n");
  bridge.add_tool("fastboot", "match devices\nsay R1\\tfastboot\\n\n");
  ASSERT_TRUE(bridge.start()) << bridge.console();
  constexpr char bad_serial[] = "{\"ok\":false,\"error\":\"serial theek nahi\"}";
  for (const char* serial : {"R1%00EVIL", "R1%00", "R1%0D%0AX", "R1%0A", "R1%09", "R1%C3%A9"}) {
    const std::string s = serial;
    EXPECT_EQ(trusted_get(bridge, "/reboot?serial=" + s).body, bad_serial) << s;
    EXPECT_EQ(trusted_get(bridge, "/reboot?to=bootloader&serial=" + s).body, bad_serial) << s;
    EXPECT_EQ(trusted_get(bridge, "/reboot?to=fbsystem&serial=" + s).body, bad_serial) << s;
    EXPECT_EQ(bridge.get("/info?serial=" + s).body, bad_serial) << s;
    auto upload = bridge.request(actions_e2e::upload_head(bridge, "/flash?partition=dtbo&serial=" + s, "4") + "dtbo");
    EXPECT_TRUE(framed(upload)) << s;
    EXPECT_EQ(upload.body, bad_serial) << s;
    EXPECT_EQ(trusted_get(bridge, "/flashurl?partition=dtbo&u=http%3A%2F%2F127.0.0.1%3A9%2Fa.img&serial=" + s).body,
              bad_serial)
        << s;
  }
  EXPECT_TRUE(bridge.tool_calls("adb").empty());
  EXPECT_TRUE(bridge.tool_calls("fastboot").empty());
}

// A phone that takes the command and never answers: the run is ended at
// its time-out, and that is no success.
TEST(RebootChoice, ARebootThatHangsIsEndedAndReportedAsAFailure) {
  Bridge bridge;
  bridge.add_tool("fastboot", "match reboot\nhang\n");
  ASSERT_TRUE(bridge.start()) << bridge.console();
  auto reply = trusted_get(bridge, "/reboot?to=fbsystem&serial=tcp:127.0.0.1:1");
  EXPECT_TRUE(framed(reply));
  EXPECT_EQ(reply.body.rfind("{\"ok\":false,\"to\":\"fbsystem\",\"log\":\"Bridge ne ye kaam ", 0), 0u) << reply.body;
  EXPECT_NE(reply.body.find(" second baad rok diya (phone ya tool ne jawab nahi diya).\"}"), std::string::npos)
      << reply.body;
}

// A tool that prints more than the 4 KiB kept and then says it failed: the
// verdict sees the failure, and the log says where it was cut.
TEST(RebootChoice, AFailurePastTheKeptOutputIsStillAFailure) {
  Bridge bridge;
  bridge.add_tool("adb",
                  "match devices\nsay List of devices attached\\nA1\\tdevice\\n\n"
                  "match reboot\nsay * daemon started successfully\\n\nfill 5000\nsay \\nerror: device offline\\n\n"
                  "match connect\nsay connected to 10.0.0.9:5555\\n\nfill 5000\n"
                  "say \\nfailed to authenticate to 10.0.0.9:5555\\n\n");
  bridge.add_tool("fastboot",
                  "match devices\nsay F1\\tfastboot\\n\n"
                  "match reboot\nsay Rebooting    \nfill 5000\nsay FAILED (remote: 'unknown command')\\n\n");
  ASSERT_TRUE(bridge.start()) << bridge.console();
  const std::string cut_note = "[... log yahan se kaata gaya: tool ne kul ";
  for (const std::string& target : {std::string("/reboot?to=recovery"), std::string("/reboot?to=fbsystem")}) {
    auto reply = trusted_get(bridge, target);
    ASSERT_TRUE(framed(reply)) << target;
    EXPECT_EQ(reply.body.rfind("{\"ok\":false,\"to\":", 0), 0u) << target << ": " << reply.body.substr(0, 80);
    EXPECT_NE(reply.body.find(cut_note), std::string::npos) << target;
    EXPECT_TRUE(json_check::well_formed(reply.body)) << target;
  }
  auto connect = trusted_get(bridge, "/wifi-connect?ip=10.0.0.9&port=5555");
  ASSERT_TRUE(framed(connect));
  EXPECT_EQ(connect.body.rfind("{\"ok\":false,\"log\":\"connected to 10.0.0.9:5555\\n", 0), 0u)
      << connect.body.substr(0, 80);
  EXPECT_NE(connect.body.find(cut_note), std::string::npos);
  EXPECT_EQ(connect.body.substr(connect.body.size() - 22), " byte likhe the ...]\"}");
}
