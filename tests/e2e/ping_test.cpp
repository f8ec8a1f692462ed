#include <gtest/gtest.h>

#include "tests/e2e/bridge_harness.h"

using e2e::Bridge;

TEST(Ping, AnswersWithNameVersionAndToolState) {
  Bridge bridge;
  bridge.add_tool("adb", "");
  // A search path without the system's adb and fastboot, which would
  // otherwise count as found.
  if (!e2e::under_wine()) bridge.set_env("PATH", bridge.dir());
  ASSERT_TRUE(bridge.start()) << bridge.console();
  auto reply = bridge.get("/ping");
  EXPECT_EQ(reply.status_line, "HTTP/1.1 200 OK");
  EXPECT_EQ(reply.body,
            "{\"ok\":true,\"name\":\"Talvik Web Bridge\",\"version\":\"1.0.0\",\"adb\":true,\"fastboot\":false}");
}
