// GET /info with Debian's own adb and fastboot (no phone attached): the
// report must come back, also when adb first has to start its server.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/e2e/bridge_harness.h"

namespace {

const std::string kNoPhone =
    "{\"ok\":false,\"error\":\"Koi phone nahi mila. ADB: USB debugging ON + phone par Allow. Ya phone Fastboot mode "
    "mein layein. Cable theek hai?\"}";

// An adb server port of the test's own, so no other adb server is touched.
constexpr const char* kAdbPort = "5291";

void stop_adb_server() {
  std::string command = std::string("adb -P ") + kAdbPort + " kill-server >/dev/null 2>&1";
  (void)std::system(command.c_str());
}

}  // namespace

TEST(RealToolsInfo, NoPhoneGivesTheNoPhoneBodyAfterStartingTheAdbServer) {
  if (e2e::under_wine()) GTEST_SKIP() << "Debian's adb and fastboot are Linux programs";
  stop_adb_server();  // adb has to start its server during the report
  e2e::Bridge bridge;
  bridge.set_env("ANDROID_ADB_SERVER_PORT", kAdbPort);
  ASSERT_TRUE(bridge.start()) << bridge.console();
  auto first = bridge.get("/info");
  EXPECT_EQ(first.body, kNoPhone);
  // With the server running now, the same answer.
  EXPECT_EQ(bridge.get("/info").body, kNoPhone);
  EXPECT_EQ(bridge.get("/ping").status_line, "HTTP/1.1 200 OK");
  bridge.stop();
  stop_adb_server();
}
