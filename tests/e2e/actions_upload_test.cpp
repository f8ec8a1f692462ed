#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/actions_client.h"
#include "tests/e2e/bridge_harness.h"

using actions_e2e::framed;
using actions_e2e::upload_head;
using e2e::Bridge;

namespace {

constexpr char bad_name[] = "{\"ok\":false,\"error\":\"partition name theek nahi\"}";
constexpr char identity[] =
    "{\"ok\":false,\"error\":\"Ye identity partition (IMEI/EFS/NV/FRP) hai - ispar flash BLOCK hai (legal).\"}";
constexpr char bad_size[] = "{\"ok\":false,\"error\":\"file size theek nahi (0 ya 2GB se zyada)\"}";
constexpr char incomplete[] = "{\"ok\":false,\"error\":\"file poori receive nahi hui\"}";
constexpr char no_image[] =
    "{\"ok\":false,\"error\":\"Ye flash wali image nahi lagti (web page ya ghalat file). Seedhi image file dein.\"}";

// A fastboot that keeps the image it was handed and reports success.
const std::string saving_fastboot =
    std::string(actions_e2e::one_fastboot_phone) +
    "match flash \nsave 5 received.img\nsay Sending 'boot' (4 KB)    OKAY [  0.1s]\\r\\nWriting 'boot'    OKAY [  "
    "0.1s]\\r\\nFinished. Total time: 1.234s\\r\\n\n"
    "match boot\nsave 4 received.img\nsay Sending 'boot.img' (4 KB)    OKAY [  0.1s]\\r\\nBooting    OKAY [  "
    "0.1s]\\r\\nFinished. Total time: 0.2s\\r\\n\n";

// A boot image header, then bytes of every value, so a shifted or dropped
// byte shows.
std::string image_bytes(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + i / 251) & 0xff);
  s.replace(0, 8, actions_e2e::boot_magic);
  return s;
}

class Upload : public ::testing::Test {
 protected:
  void SetUp() override {
    bridge.add_tool("fastboot", saving_fastboot);
    ASSERT_TRUE(bridge.start()) << bridge.console();
  }

  // Sends the pieces with a pause between them, then reads the reply.
  e2e::Reply send_in_pieces(const std::vector<std::string>& pieces, bool close_early = false) {
    int fd = e2e::connect_loopback(bridge.port());
    EXPECT_GE(fd, 0);
    for (const std::string& piece : pieces) {
      e2e::send_bytes(fd, piece);
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    if (close_early) ::shutdown(fd, SHUT_WR);
    std::string raw = e2e::read_until_close(fd);
    ::close(fd);
    return e2e::parse_reply(raw);
  }

  std::string received() { return e2e::read_file(bridge.path("received.img")); }
  bool image_left() { return e2e::file_exists(actions_e2e::image_path_on_disk(bridge)); }

  Bridge bridge;
};

}  // namespace

TEST_F(Upload, RefusalsComeInOrderWithTheirExactBodies) {
  struct Case {
    std::string target;
    std::string length;
    const char* body;
  };
  const Case cases[] = {
      {"/flash", "4", bad_name},
      {"/flash?partition=", "4", bad_name},
      {"/flash?partition=system-a", "0", bad_name},  // name error before size error
      {"/flash?partition=" + std::string(42, 'a'), "4", bad_name},
      {"/flash?partition=EFS", "4", identity},
      {"/flash?partition=Nvram", "-1", identity},
      // Other names of the same areas, and the slot copies of any of them.
      {"/flash?partition=protect_f", "4", identity},
      {"/flash?partition=Protect_S", "4", identity},
      {"/flash?partition=l_fixnv1", "4", identity},
      {"/flash?partition=nvdata_b", "4", identity},
      {"/flash?partition=EFS_A", "4", identity},
      {"/flash?partition=boot", "0", bad_size},
      {"/flash?partition=boot", "-5", bad_size},
      {"/flash?partition=boot", "2147483649", bad_size},
      {"/flash?partition=boot", "99999999999999999999999", bad_size},
      {"/boot?partition=efs", "0", bad_size},  // boot mode checks no name
  };
  for (const Case& c : cases) {
    auto reply = bridge.request(upload_head(bridge, c.target, c.length));
    EXPECT_TRUE(framed(reply)) << c.target;
    EXPECT_EQ(reply.body, c.body) << c.target << " " << c.length;
  }
  // No Content-Length at all, as with a chunked upload.
  auto reply =
      bridge.request(actions_e2e::trusted_head(bridge, "POST /flash?partition=boot", "Transfer-Encoding: chunked\r\n") +
                     "4\r\nabcd\r\n0\r\n\r\n");
  EXPECT_EQ(reply.body, bad_size);
  EXPECT_TRUE(bridge.tool_calls("fastboot").empty());
  EXPECT_FALSE(image_left());
}

TEST_F(Upload, FlashesExactlyTheBodyWhereverItsBytesArrive) {
  const std::string image = image_bytes(200000);
  const std::string head = upload_head(bridge, "/flash?partition=BOOT", std::to_string(image.size()));
  const std::string expected_call = "-s 0A1B2C3D flash BOOT " + actions_e2e::image_path_in_commands(bridge);

  // Body in the same send as the head, with surplus bytes after it.
  auto reply = bridge.request(head + image + "SURPLUS");
  EXPECT_TRUE(framed(reply));
  EXPECT_EQ(
      reply.body.rfind("{\"ok\":true,\"partition\":\"BOOT\",\"log\":\"Sending 'boot' (4 KB)    OKAY [  0.1s]\\n", 0),
      0u)
      << reply.body;
  EXPECT_EQ(reply.body.find('\r'), std::string::npos);
  EXPECT_TRUE(received() == image);

  // Head alone first, body later.
  std::remove(bridge.path("received.img").c_str());
  reply = send_in_pieces({head, image});
  EXPECT_EQ(reply.body.rfind("{\"ok\":true,\"partition\":\"BOOT\"", 0), 0u) << reply.body;
  EXPECT_TRUE(received() == image);

  // Many small pieces, the first one cutting the head.
  std::remove(bridge.path("received.img").c_str());
  std::vector<std::string> pieces = {head.substr(0, 20), head.substr(20) + image.substr(0, 3)};
  size_t at = 3;
  for (; pieces.size() < 40; at += 97) pieces.push_back(image.substr(at, 97));
  pieces.push_back(image.substr(at));
  reply = send_in_pieces(pieces);
  EXPECT_EQ(reply.body.rfind("{\"ok\":true,\"partition\":\"BOOT\"", 0), 0u) << reply.body;
  EXPECT_TRUE(received() == image);

  auto calls = bridge.tool_calls("fastboot");
  ASSERT_EQ(calls.size(), 6u);  // each flash after its "devices"
  for (size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(calls[i], i % 2 == 0 ? "devices" : expected_call);
  EXPECT_FALSE(image_left());
}

TEST_F(Upload, BootRunsFastbootBootAndNamesNoPartition) {
  const std::string image = image_bytes(5000);
  auto reply = bridge.request(upload_head(bridge, "/boot?partition=efs", "5000") + image);
  EXPECT_TRUE(framed(reply));
  EXPECT_EQ(reply.body.rfind("{\"ok\":true,\"partition\":\"(boot)\",\"log\":\"Sending 'boot.img'", 0), 0u)
      << reply.body;
  EXPECT_EQ(bridge.tool_calls("fastboot"),
            (std::vector<std::string>{"devices", "-s 0A1B2C3D boot " + actions_e2e::image_path_in_commands(bridge)}));
  EXPECT_TRUE(received() == image);
  EXPECT_FALSE(image_left());
}

TEST_F(Upload, CutOffBodiesLeaveNothingAndFlashNothing) {
  const std::string image = image_bytes(100000);
  // The peer stops sending half way.
  auto reply = send_in_pieces({upload_head(bridge, "/flash?partition=boot", "100000"), image.substr(0, 50000)}, true);
  EXPECT_TRUE(framed(reply));
  EXPECT_EQ(reply.body, incomplete);
  EXPECT_FALSE(image_left());

  // The largest size passes the size check; the bytes are simply not sent.
  reply = send_in_pieces({upload_head(bridge, "/flash?partition=boot", "2147483648"), image}, true);
  EXPECT_EQ(reply.body, incomplete);
  EXPECT_FALSE(image_left());

  // A head that does not fit in 4,095 bytes.
  std::string big_head = upload_head(bridge, "/flash?partition=boot", "10");
  big_head.insert(big_head.size() - 2, "X-Pad: " + std::string(5000, 'p') + "\r\n");
  reply = bridge.request(big_head + "0123456789");
  EXPECT_EQ(reply.body, incomplete);
  EXPECT_FALSE(image_left());
  for (const auto& call : bridge.tool_calls("fastboot")) EXPECT_EQ(call, "devices");
}

TEST_F(Upload, RefusedBigBodyStillGetsItsReply) {
  const std::string body(8 * 1024 * 1024, 'z');
  for (const char* target : {"/flash?partition=frp", "/flash?partition=a.b"}) {
    auto reply = bridge.request(upload_head(bridge, target, std::to_string(body.size())) + body);
    EXPECT_TRUE(framed(reply)) << target;
    EXPECT_EQ(reply.body, std::string(target).find("frp") != std::string::npos ? identity : bad_name);
  }
  // The bridge serves the next request normally.
  EXPECT_EQ(actions_e2e::trusted_get(bridge, "/ping").status_line, "HTTP/1.1 200 OK");
}

TEST_F(Upload, AWebPageAfterAnyAmountOfWhiteSpaceIsNotFlashed) {
  std::string lines;
  for (int i = 0; i < 40000; ++i) lines += "\r\n";
  for (const std::string& body : {lines + "<!DOCTYPE html><html></html>", "\xEF\xBB\xBF" + lines}) {
    auto reply = bridge.request(upload_head(bridge, "/flash?partition=system", std::to_string(body.size())) + body);
    EXPECT_TRUE(framed(reply));
    EXPECT_EQ(reply.body, no_image);
  }
  for (const auto& call : bridge.tool_calls("fastboot")) EXPECT_EQ(call, "devices");
  EXPECT_FALSE(image_left());
}

// A made-up Android sparse image of one raw chunk of 4 KiB blocks whose
// data begins with `magic`, then a don't-care chunk: what img2simg writes.
std::string sparse_image(const std::string& magic) {
  auto le = [](uint32_t v, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out += static_cast<char>(v >> (8 * i) & 0xff);
    return out;
  };
  std::string data(2 * 4096, 'd');
  data.replace(0, magic.size(), magic);
  return std::string("\x3a\xff\x26\xed", 4) + le(1, 2) + le(0, 2) + le(28, 2) + le(12, 2) + le(4096, 4) + le(10, 4) +
         le(2, 4) + le(0, 4) + le(0xCAC1, 2) + le(0, 2) + le(2, 4) + le(12 + 8192, 4) + data + le(0xCAC3, 2) +
         le(0, 2) + le(8, 4) + le(12, 4);
}

TEST_F(Upload, AnImageOfAnotherKindThanItsPartitionTakesIsNotFlashed) {
  std::string vendor_boot = image_bytes(6000);
  vendor_boot.replace(0, 8, "VNDRBOOT");
  struct Case {
    std::string target;
    std::string body;
    std::string reply;
  };
  const Case cases[] = {
      {"/flash?partition=boot", vendor_boot,
       "{\"ok\":false,\"error\":\"Ye file vendor_boot image (VNDRBOOT) hai, magar boot partition ko boot image "
       "(ANDROID!) chahiye.\"}"},
      {"/flash?partition=Vendor_Boot_b", image_bytes(6000),
       "{\"ok\":false,\"error\":\"Ye file boot image (ANDROID!) hai, magar Vendor_Boot_b partition ko vendor_boot "
       "image (VNDRBOOT) chahiye.\"}"},
      {"/flash?partition=init_boot", sparse_image("VNDRBOOT"),
       "{\"ok\":false,\"error\":\"Ye file sparse vendor_boot image (VNDRBOOT) hai, magar init_boot partition ko "
       "boot image (ANDROID!) chahiye.\"}"},
      {"/boot", vendor_boot,
       "{\"ok\":false,\"error\":\"Ye file vendor_boot image (VNDRBOOT) hai, magar boot karne ke liye seedhi (sparse "
       "nahi) boot image (ANDROID!) chahiye.\"}"},
      {"/boot", sparse_image("ANDROID!"),
       "{\"ok\":false,\"error\":\"Ye file sparse boot image (ANDROID!) hai, magar boot karne ke liye seedhi (sparse "
       "nahi) boot image (ANDROID!) chahiye.\"}"},
  };
  for (const Case& c : cases) {
    auto reply = bridge.request(upload_head(bridge, c.target, std::to_string(c.body.size())) + c.body);
    EXPECT_TRUE(framed(reply)) << c.target;
    EXPECT_EQ(reply.body, c.reply) << c.target;
    EXPECT_FALSE(image_left()) << c.target;
  }
  for (const auto& call : bridge.tool_calls("fastboot")) EXPECT_EQ(call, "devices");
}

TEST_F(Upload, EachBootPartitionTakesItsOwnKindPlainOrSparse) {
  std::string vendor_boot = image_bytes(6000);
  vendor_boot.replace(0, 8, "VNDRBOOT");
  const std::string sparse_boot = sparse_image("ANDROID!");
  const std::string file = actions_e2e::image_path_in_commands(bridge);
  struct Case {
    std::string partition;
    std::string body;
  };
  const Case cases[] = {
      {"vendor_boot", vendor_boot}, {"boot_a", sparse_boot}, {"vendor_boot_a", sparse_image("VNDRBOOT")}};
  std::vector<std::string> expected_calls;
  for (const Case& c : cases) {
    std::remove(bridge.path("received.img").c_str());
    auto reply =
        bridge.request(upload_head(bridge, "/flash?partition=" + c.partition, std::to_string(c.body.size())) + c.body);
    EXPECT_EQ(reply.body.rfind("{\"ok\":true,\"partition\":\"" + c.partition + "\"", 0), 0u) << reply.body;
    // fastboot gets the file as sent, sparse or not.
    EXPECT_TRUE(received() == c.body) << c.partition;
    expected_calls.push_back("devices");
    expected_calls.push_back("-s 0A1B2C3D flash " + c.partition + " " + file);
  }
  EXPECT_EQ(bridge.tool_calls("fastboot"), expected_calls);
}

TEST_F(Upload, FastbootFailureIsReportedWithItsLog) {
  bridge.add_tool("fastboot",
                  std::string(actions_e2e::one_fastboot_phone) +
                      "match flash\nsay Sending 'boot' (12302 KB)    OKAY [  0.578s]\\r\\nWriting 'boot'    FAILED "
                      "(remote: 'not supported in locked device')\\r\\nfastboot: error: Command failed\n");
  auto reply = bridge.request(upload_head(bridge, "/flash?partition=dtbo", "3") + "abc");
  EXPECT_TRUE(framed(reply));
  EXPECT_EQ(reply.body,
            "{\"ok\":false,\"partition\":\"dtbo\",\"log\":\"Sending 'boot' (12302 KB)    OKAY [  0.578s]\\nWriting "
            "'boot'    FAILED (remote: 'not supported in locked device')\\nfastboot: error: Command failed\"}");
  EXPECT_FALSE(image_left());
}

TEST_F(Upload, ATrickleThatIsNeverSilentLongStillEndsAsCutOff) {
  // One byte every 5 s never falls silent for the 30 s the silence rule
  // allows, but brings far less than 64 KiB in 30 s: cut off at the first
  // window, and the bridge serves the next request.
  int fd = e2e::connect_loopback(bridge.port());
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(e2e::send_bytes(fd, upload_head(bridge, "/flash?partition=boot", "1000000") + "ANDROID!"));
  std::string raw;
  for (int i = 0; i < 20 && raw.empty(); ++i) {  // 100 s at most
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 5000) > 0) break;
    e2e::send_bytes(fd, "x");
  }
  raw = e2e::read_until_close(fd);
  ::close(fd);
  EXPECT_EQ(e2e::parse_reply(raw).body, incomplete) << raw;
  EXPECT_FALSE(image_left());
  EXPECT_EQ(bridge.get("/ping").body.rfind("{\"ok\":true,", 0), 0u);
}
