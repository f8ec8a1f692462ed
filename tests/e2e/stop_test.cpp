// The temporary image and a bridge stopped from outside: a stop while an
// image is being received or flashed takes the image with it, and a start
// removes the one an earlier run on the same port left behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/actions_client.h"
#include "tests/e2e/bridge_harness.h"

using e2e::Bridge;

namespace {

// A fastboot that opens the image, as one sending it does, makes the folder
// "sending" beside itself to say so, and keeps on.
const std::string flashing_fastboot = std::string(actions_e2e::one_fastboot_phone) +
                                      "match flash\nkeep 5\nmkdir sending\nsay Sending 'dtbo' (1024 KB)\\r\\n\nhang\n";

std::string image_name(int port) {
  return port == 9765 ? "_bridge_flash.tmp" : "_bridge_flash_" + std::to_string(port) + ".tmp";
}

// Asks `check` every 20 ms until it holds, for 30 s at most.
template <class Check>
bool eventually(Check check) {
  for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30); std::chrono::steady_clock::now() < end;
       std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
    if (check()) return true;
  }
  return check();
}

bool has_call(const Bridge& bridge, const std::string& text) {
  for (const std::string& call : bridge.tool_calls("fastboot")) {
    if (call.find(text) != std::string::npos) return true;
  }
  return false;
}

// The stops each build takes its image with: under Wine a SIGINT is the
// console's Ctrl+C, while SIGTERM and SIGHUP end the process at once.
std::vector<int> stop_signals() {
  if (e2e::under_wine()) return {SIGINT};
  return {SIGINT, SIGTERM, SIGHUP};
}

// Stops the bridge with `signal_number` and waits until it has ended and
// its image is gone.
::testing::AssertionResult stopped_without_image(Bridge& bridge, int signal_number) {
  ::kill(bridge.pid(), signal_number);
  if (bridge.wait_exit(60000) == -1) return ::testing::AssertionFailure() << "still running";
  // Under Wine the file goes when the Wine server has closed the handles.
  if (!eventually([&] { return !e2e::file_exists(actions_e2e::image_path_on_disk(bridge)); })) {
    return ::testing::AssertionFailure() << "image left behind";
  }
  return ::testing::AssertionSuccess();
}

}  // namespace

TEST(StopFromOutside, AStartRemovesTheImageOfItsOwnPortOnly) {
  Bridge bridge;
  for (int port = 9765; port <= 9769; ++port) e2e::write_file(bridge.path(image_name(port)), "left by a killed run");
  ASSERT_TRUE(bridge.start()) << bridge.console();
  for (int port = 9765; port <= 9769; ++port) {
    EXPECT_EQ(e2e::file_exists(bridge.path(image_name(port))), port != bridge.port()) << port;
  }
}

TEST(StopFromOutside, AStopDuringAnUploadRemovesTheImage) {
  for (int signal_number : stop_signals()) {
    SCOPED_TRACE(signal_number);
    Bridge bridge;
    bridge.add_tool("fastboot", flashing_fastboot);
    ASSERT_TRUE(bridge.start()) << bridge.console();
    int fd = e2e::connect_loopback(bridge.port());
    ASSERT_GE(fd, 0);
    // Half of the announced body: the bridge holds the file open and waits.
    e2e::send_bytes(
        fd, actions_e2e::upload_head(bridge, "/flash?partition=dtbo", "4194304") + std::string(2 * 1024 * 1024, 'd'));
    EXPECT_TRUE(eventually([&] { return e2e::file_exists(actions_e2e::image_path_on_disk(bridge)); }));
    EXPECT_TRUE(stopped_without_image(bridge, signal_number));
    EXPECT_FALSE(has_call(bridge, "flash"));
    ::close(fd);
  }
}

TEST(StopFromOutside, AStopDuringAFlashRemovesTheImage) {
  for (int signal_number : stop_signals()) {
    SCOPED_TRACE(signal_number);
    Bridge bridge;
    bridge.add_tool("fastboot", flashing_fastboot);
    ASSERT_TRUE(bridge.start()) << bridge.console();
    int fd = e2e::connect_loopback(bridge.port());
    ASSERT_GE(fd, 0);
    const std::string body(1024 * 1024, 'd');
    e2e::send_bytes(fd, actions_e2e::upload_head(bridge, "/flash?partition=dtbo", std::to_string(body.size())) + body);
    ASSERT_TRUE(eventually([&] { return e2e::file_exists(bridge.path("sending")); }));
    EXPECT_TRUE(has_call(bridge, "flash dtbo"));
    EXPECT_TRUE(e2e::file_exists(actions_e2e::image_path_on_disk(bridge)));
    EXPECT_TRUE(stopped_without_image(bridge, signal_number));
    ::close(fd);
  }
}
