// The bridge against the system's own adb (Debian's package), found through
// PATH because no tool double sits beside the bridge. No phone is needed.
// Each test gives the bridge a private adb server port, so that no other
// adb server on this machine is touched, and stops that server at the end.
// Linux only: the Windows build would need Windows' adb.
#include <arpa/inet.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "tests/e2e/actions_client.h"
#include "tests/e2e/bridge_harness.h"

using actions_e2e::trusted_get;
using e2e::Bridge;

namespace {

// The inode of the socket listening on 127.0.0.1:port (from /proc/net/tcp),
// or "" when nothing listens there.
std::string listening_inode(int port) {
  std::ifstream in("/proc/net/tcp");
  char local[32];
  std::snprintf(local, sizeof local, "0100007F:%04X", port);
  std::string line;
  std::getline(in, line);  // column titles
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string slot, local_addr, remote_addr, state, queues, timer, retransmits, uid, timeout, inode;
    fields >> slot >> local_addr >> remote_addr >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
    if (local_addr == local && state == "0A") return inode;
  }
  return "";
}

// Waits (ten seconds at most) until something listens on the port or,
// with `listening` false, until nothing does; returns whether it happened.
bool wait_listening(int port, bool listening) {
  for (int i = 0; i < 200; ++i) {
    if (listening_inode(port).empty() != listening) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// Every process that holds socket `inode` open, as "pid" lines.
std::string holders_of(const std::string& inode) {
  const std::string link = "socket:[" + inode + "]";
  std::string holders;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return holders;
  while (dirent* entry = ::readdir(proc)) {
    std::string pid = entry->d_name;
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string fd_dir = "/proc/" + pid + "/fd";
    DIR* fds = ::opendir(fd_dir.c_str());
    if (fds == nullptr) continue;  // another user's process, or gone
    while (dirent* fd = ::readdir(fds)) {
      char target[256];
      ssize_t n = ::readlink((fd_dir + "/" + fd->d_name).c_str(), target, sizeof target - 1);
      if (n > 0 && std::string(target, static_cast<size_t>(n)) == link) holders += pid + "\n";
    }
    ::closedir(fds);
  }
  ::closedir(proc);
  return holders;
}

// adb's answer to "disconnect" as the bridge passes it on; when adb had to
// start its server first, its own notes about that come before it.
::testing::AssertionResult disconnected_everything(const std::string& body) {
  const std::string start = "{\"ok\":true,\"log\":\"";
  const std::string end = "disconnected everything\\n\"}";
  if (body.rfind(start, 0) == 0 && body.size() >= start.size() + end.size() &&
      body.compare(body.size() - end.size(), end.size(), end) == 0) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << body;
}

// A bridge with no tool beside it, talking to an adb server of its own port.
class RealPlatformTools : public ::testing::Test {
 protected:
  void SetUp() override {
    if (e2e::under_wine()) GTEST_SKIP() << "the system's adb is a Linux program";
    // A port apart from the default 5037, one per test name.
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    adb_port = 5137 + static_cast<int>(std::hash<std::string>{}(name) % 50);
    ASSERT_TRUE(listening_inode(adb_port).empty()) << "adb port " << adb_port << " is taken";
    bridge.set_env("ANDROID_ADB_SERVER_PORT", std::to_string(adb_port));
    ASSERT_TRUE(bridge.start()) << bridge.console();
  }

  void TearDown() override {
    if (adb_port != 0) adb("kill-server");
  }

  // Runs the system's adb against this test's server; returns its exit code.
  int adb(const std::string& args) {
    std::string command = "adb -P " + std::to_string(adb_port) + " " + args + " >/dev/null 2>&1 </dev/null";
    return std::system(command.c_str());
  }

  int adb_port = 0;
  Bridge bridge;
};

}  // namespace

TEST_F(RealPlatformTools, WifiConnectToAClosedPortFailsWithAdbsOwnWords) {
  // Port 1 on the loopback address: nothing listens there.
  auto reply = trusted_get(bridge, "/wifi-connect?ip=127.0.0.1&port=1");
  ASSERT_TRUE(actions_e2e::framed(reply)) << reply.raw;
  EXPECT_EQ(reply.body.rfind("{\"ok\":false,\"log\":\"", 0), 0u) << reply.body;
  EXPECT_NE(reply.body.find("failed to connect to '127.0.0.1:1'"), std::string::npos) << reply.body;
  EXPECT_EQ(reply.body.substr(reply.body.size() - 2), "\"}");
}

TEST_F(RealPlatformTools, WifiDisconnectDisconnectsEverything) {
  auto reply = trusted_get(bridge, "/wifi-disconnect");
  ASSERT_TRUE(actions_e2e::framed(reply)) << reply.raw;
  EXPECT_TRUE(disconnected_everything(reply.body));
  // With the server running, the answer is adb's one line alone.
  EXPECT_EQ(trusted_get(bridge, "/wifi-disconnect").body, "{\"ok\":true,\"log\":\"disconnected everything\\n\"}");
}

TEST_F(RealPlatformTools, AdbkillStopsARunningServer) {
  ASSERT_EQ(adb("start-server"), 0);
  ASSERT_TRUE(wait_listening(adb_port, true));
  auto reply = trusted_get(bridge, "/adbkill");
  EXPECT_EQ(reply.body, "{\"ok\":true}");
  EXPECT_TRUE(wait_listening(adb_port, false)) << "the adb server still listens on " << adb_port;
}

TEST_F(RealPlatformTools, ServerStartedByTheBridgeOutlivesItWithoutHoldingItsPort) {
  // The wireless routes start adb's server when none runs.
  ASSERT_TRUE(listening_inode(adb_port).empty());
  EXPECT_TRUE(disconnected_everything(trusted_get(bridge, "/wifi-disconnect").body));
  ASSERT_TRUE(wait_listening(adb_port, true));

  const int port = bridge.port();
  const std::string inode = listening_inode(port);
  ASSERT_FALSE(inode.empty());
  EXPECT_EQ(holders_of(inode), std::to_string(bridge.pid()) + "\n") << "the bridge's listener leaked into a child";

  bridge.stop();
  EXPECT_FALSE(listening_inode(adb_port).empty()) << "the adb server ended with the bridge";
  EXPECT_EQ(holders_of(inode), "");
  EXPECT_TRUE(listening_inode(port).empty());

  // A new bridge takes the same port at once.
  Bridge again;
  again.set_env("ANDROID_ADB_SERVER_PORT", std::to_string(adb_port));
  ASSERT_TRUE(again.start()) << again.console();
  EXPECT_EQ(again.port(), port);
  EXPECT_EQ(trusted_get(again, "/wifi-disconnect").body, "{\"ok\":true,\"log\":\"disconnected everything\\n\"}");
}
