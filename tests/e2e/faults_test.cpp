// Faults from the client's side: uploads cut off at arbitrary bytes, and
// clients that connect and then stall. The bridge must clean up after each
// and go on serving the next client.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>
#include <string>

#include "tests/e2e/actions_client.h"
#include "tests/e2e/bridge_harness.h"

using e2e::Bridge;

namespace {

constexpr char incomplete[] = "{\"ok\":false,\"error\":\"file poori receive nahi hui\"}";
constexpr char ping_start[] = "{\"ok\":true,\"name\":\"Talvik Web Bridge\"";
constexpr int upload_size = 300000;

class Faults : public ::testing::Test {
 protected:
  void SetUp() override {
    bridge.add_tool("fastboot", std::string(actions_e2e::one_fastboot_phone) +
                                    "match flash\nsay OKAY\\nFinished. Total time: 0.1s\\n\n");
    ASSERT_TRUE(bridge.start()) << bridge.console();
  }

  // The whole upload request: head and body.
  std::string upload() {
    return actions_e2e::upload_head(bridge, "/flash?partition=boot", std::to_string(upload_size)) +
           actions_e2e::boot_magic + std::string(upload_size - 8, 'i');
  }

  // Sends the first `cut` bytes of `request`, then either half-closes the
  // connection and returns the reply, or drops the connection at once.
  std::string send_cut(const std::string& request, size_t cut, bool half_close) {
    int fd = e2e::connect_loopback(bridge.port());
    EXPECT_GE(fd, 0);
    e2e::send_bytes(fd, request.substr(0, cut));
    std::string reply;
    if (half_close) {
      ::shutdown(fd, SHUT_WR);
      reply = e2e::read_until_close(fd, 60000);
    }
    ::close(fd);
    return reply;
  }

  bool serving() { return bridge.get("/ping").body.rfind(ping_start, 0) == 0; }
  bool image_left() { return e2e::file_exists(actions_e2e::image_path_on_disk(bridge)); }

  Bridge bridge;
};

}  // namespace

TEST_F(Faults, UploadsCutAtAnyByteLeaveNoFileBehind) {
  const std::string request = upload();
  const size_t head = request.size() - upload_size;
  // A fixed seed: the same offsets on every run, so a failure can be replayed.
  std::mt19937 random(6121);
  std::uniform_int_distribution<size_t> in_body(head, request.size() - 1);
  std::uniform_int_distribution<size_t> in_head(1, head - 1);
  for (int round = 0; round < 8; ++round) {
    const size_t cut = round < 2 ? in_head(random) : in_body(random);
    const bool half_close = round % 2 == 0;
    SCOPED_TRACE("cut after " + std::to_string(cut) + " of " + std::to_string(request.size()) + " bytes" +
                 (half_close ? ", half-closed" : ", dropped"));
    std::string raw = send_cut(request, cut, half_close);
    // The bridge answers one client at a time: once /ping is answered the
    // cut upload has been dealt with.
    EXPECT_TRUE(serving());
    EXPECT_FALSE(image_left());
    if (half_close && cut > head) EXPECT_EQ(e2e::parse_reply(raw).body, incomplete);
  }
  for (const auto& call : bridge.tool_calls("fastboot")) EXPECT_EQ(call, "devices") << "a cut image was flashed";

  // The whole upload still goes through afterwards.
  auto reply = bridge.request(request);
  EXPECT_EQ(reply.body.rfind("{\"ok\":true", 0), 0u) << reply.body;
  EXPECT_FALSE(image_left());
}

TEST_F(Faults, StalledClientsHoldTheNextOneOnlyUntilTheirTimeIsUp) {
  // One sends nothing, one half a head, one half a body; each keeps its
  // connection open. The bridge gives up on each after its wait, and the
  // client behind them is served.
  const std::string request = upload();
  const size_t head = request.size() - upload_size;
  int silent = e2e::connect_loopback(bridge.port());
  int half_head = e2e::connect_loopback(bridge.port());
  int half_body = e2e::connect_loopback(bridge.port());
  ASSERT_GE(silent, 0);
  ASSERT_GE(half_head, 0);
  ASSERT_GE(half_body, 0);
  e2e::send_bytes(half_head, "GET /ping HTTP/1.1\r\nX-Pad: 12");
  e2e::send_bytes(half_body, request.substr(0, head + upload_size / 2));

  EXPECT_TRUE(serving());

  EXPECT_EQ(e2e::read_until_close(silent, 120000), "");
  // Half a head is judged on what came: a /ping gets its reply.
  EXPECT_EQ(e2e::parse_reply(e2e::read_until_close(half_head, 120000)).body.rfind(ping_start, 0), 0u);
  EXPECT_EQ(e2e::parse_reply(e2e::read_until_close(half_body, 120000)).body, incomplete);
  for (int fd : {silent, half_head, half_body}) ::close(fd);
  EXPECT_FALSE(image_left());
  EXPECT_TRUE(serving());
}
