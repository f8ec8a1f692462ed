// The HTTP edge against the real binary: head forms, body framing, what is
// read after a reply, and start-up conditions of the host system.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/actions_client.h"
#include "tests/e2e/bridge_harness.h"
#include "tests/support/json_check.h"

using actions_e2e::framed;
using actions_e2e::trusted_head;
using actions_e2e::upload_head;
using e2e::Bridge;

namespace {

constexpr char bad_size[] = "{\"ok\":false,\"error\":\"file size theek nahi (0 ya 2GB se zyada)\"}";
constexpr char bad_name[] = "{\"ok\":false,\"error\":\"partition name theek nahi\"}";
constexpr char incomplete[] = "{\"ok\":false,\"error\":\"file poori receive nahi hui\"}";
constexpr char forbidden[] = "{\"ok\":false,\"error\":\"forbidden (origin)\"}";
constexpr char continue_line[] = "HTTP/1.1 100 Continue\r\n\r\n";
// One phone in Fastboot mode, whose flashes keep the image and succeed.
const std::string flash_ok_script = std::string(actions_e2e::one_fastboot_phone) +
                                    "match flash\nsave 5 received.img\nsay OKAY\\nFinished. Total time: 0.1s\\n\n";

// Reads until the peer closes; `*reset` tells whether the end was a reset
// rather than a clean close.
std::string read_to_end(int fd, bool* reset) {
  std::string out;
  char buf[65536];
  *reset = false;
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 120000) <= 0) break;
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n < 0) *reset = errno == ECONNRESET;
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

// Reads until `text` has arrived or the peer closed.
std::string read_until(int fd, const std::string& text) {
  std::string out;
  char buf[4096];
  while (out.find(text) == std::string::npos) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 120000) <= 0) break;
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

// Sends `request`, ends the sending side (as a client does that has nothing
// more to send), and reads the reply.
e2e::Reply exchange(int port, const std::string& request) {
  int fd = e2e::connect_loopback(port);
  if (fd < 0) return {};
  e2e::send_bytes(fd, request);
  ::shutdown(fd, SHUT_WR);
  bool reset = false;
  std::string raw = read_to_end(fd, &reset);
  ::close(fd);
  return e2e::parse_reply(raw);
}

class Edge : public ::testing::Test {
 protected:
  void SetUp() override {
    bridge.add_tool("fastboot", flash_ok_script);
    ASSERT_TRUE(bridge.start()) << bridge.console();
  }
  bool image_left() { return e2e::file_exists(actions_e2e::image_path_on_disk(bridge)); }

  Bridge bridge;
};

}  // namespace

TEST_F(Edge, BareLineFeedHeadsEndAtTheirBlankLine) {
  // Without waiting for more, the body after the LF blank line is the image.
  std::string head =
      "POST /flash?partition=dtbo HTTP/1.1\nHost: 127.0.0.1\nOrigin: " + std::string(actions_e2e::page_origin) +
      "\nX-Talvik-Bridge: 1\nContent-Length: 5\n\n";
  auto reply = bridge.request(head + "HELLO");
  EXPECT_TRUE(framed(reply));
  EXPECT_EQ(reply.body.rfind("{\"ok\":true,\"partition\":\"dtbo\"", 0), 0u) << reply.body;
  EXPECT_EQ(e2e::read_file(bridge.path("received.img")), "HELLO");

  // A bridge header that only appears in the body does not make the page trusted.
  head = "POST /flash?partition=dtbo HTTP/1.1\nHost: 127.0.0.1\nOrigin: " + std::string(actions_e2e::page_origin) +
         "\nContent-Length: 20\n\n";
  reply = bridge.request(head + "X-Talvik-Bridge: 1\n\n");
  EXPECT_EQ(reply.body, forbidden);
  EXPECT_EQ(bridge.tool_calls("fastboot").size(), 2u);  // devices, flash
}

TEST_F(Edge, ExpectContinueIsAnsweredOnlyAfterTheChecksPass) {
  int fd = e2e::connect_loopback(bridge.port());
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(e2e::send_bytes(
      fd, trusted_head(bridge, "POST /flash?partition=dtbo", "Content-Length: 6\r\nExpect: 100-continue\r\n")));
  // The client holds its body back until the bridge says to go on.
  std::string got = read_until(fd, "\r\n\r\n");
  ASSERT_EQ(got, continue_line);
  ASSERT_TRUE(e2e::send_bytes(fd, "IMAGE!"));
  bool reset = false;
  auto reply = e2e::parse_reply(read_to_end(fd, &reset));
  ::close(fd);
  EXPECT_TRUE(framed(reply));
  EXPECT_EQ(reply.body.rfind("{\"ok\":true", 0), 0u) << reply.body;
  EXPECT_EQ(e2e::read_file(bridge.path("received.img")), "IMAGE!");

  // A refused upload gets its error reply and no go-ahead.
  reply = exchange(bridge.port(), trusted_head(bridge, "POST /flash?partition=bad-name",
                                               "Content-Length: 6\r\nExpect: 100-continue\r\n"));
  EXPECT_EQ(reply.status_line, "HTTP/1.1 200 OK");
  EXPECT_EQ(reply.body, bad_name);
}

TEST_F(Edge, UnspokenBodyFramingIsRefusedBeforeAnythingIsWritten) {
  const std::string cases[] = {
      trusted_head(bridge, "POST /flash?partition=boot", "Transfer-Encoding: chunked\r\nContent-Length: 11\r\n") +
          "6\r\nIMAGE!\r\n0\r\n\r\n",
      trusted_head(bridge, "POST /boot", "Content-Length: 6\r\nContent-Length: 12\r\n") + "IMAGE!IMAGE!",
  };
  for (const std::string& request : cases) {
    auto reply = exchange(bridge.port(), request);
    EXPECT_TRUE(framed(reply));
    EXPECT_EQ(reply.body, bad_size) << request;
  }
  EXPECT_TRUE(bridge.tool_calls("fastboot").empty());
  EXPECT_FALSE(image_left());
}

TEST_F(Edge, ATricklingUnreadBodyIsCutOff) {
  int fd = e2e::connect_loopback(bridge.port());
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(e2e::send_bytes(fd, upload_head(bridge, "/flash?partition=bad-name", "1000000000")));
  EXPECT_EQ(e2e::parse_reply(read_until(fd, "}")).body, bad_name);
  // One byte a second, for far longer than the bridge reads what nobody wants.
  std::atomic<int> sent{0};
  std::thread trickle([&] {
    for (int i = 0; i < 90; ++i) {
      if (::send(fd, "x", 1, MSG_NOSIGNAL) != 1) return;
      ++sent;
      ::usleep(1000000);
    }
  });
  // The next client is served; the trickling one finds its connection gone.
  auto reply = bridge.get("/ping");
  trickle.join();
  ::close(fd);
  EXPECT_TRUE(framed(reply));
  EXPECT_LT(sent.load(), 90);
}

// A browser sends all of a large refused upload before it reads the
// reply; the bridge reads and drops the whole body, so the reply arrives.
TEST_F(Edge, ARefusedLargeUploadIsReadToItsEndAndGetsItsReply) {
  constexpr long long body_size = 200LL * 1024 * 1024;
  const std::string chunk(1 << 20, 'z');
  const std::string no_phone =
      "{\"ok\":false,\"error\":\"Fastboot mode mein koi phone nahi mila. Phone ko bootloader (Fastboot) mode mein "
      "layein.\"}";
  struct Case {
    const char* target;
    bool phone;
    std::string body;
  };
  for (const Case& c :
       {Case{"/flash?partition=bad-name", true, bad_name}, Case{"/flash?partition=dtbo", false, no_phone}}) {
    bridge.add_tool("fastboot", c.phone ? flash_ok_script : "");
    int fd = e2e::connect_loopback(bridge.port());
    ASSERT_GE(fd, 0);
    bool sent_all = e2e::send_bytes(fd, upload_head(bridge, c.target, std::to_string(body_size)));
    for (long long sent = 0; sent_all && sent < body_size; sent += static_cast<long long>(chunk.size())) {
      sent_all = e2e::send_bytes(fd, chunk);
    }
    ::shutdown(fd, SHUT_WR);
    bool reset = true;
    auto reply = e2e::parse_reply(read_to_end(fd, &reset));
    ::close(fd);
    EXPECT_TRUE(sent_all) << c.target;
    EXPECT_FALSE(reset) << c.target;
    EXPECT_TRUE(framed(reply)) << c.target;
    EXPECT_EQ(reply.body, c.body);
  }
  EXPECT_FALSE(image_left());
  for (const auto& call : bridge.tool_calls("fastboot")) EXPECT_EQ(call, "devices");
}

// A sender that stops half way through a refused upload, keeping its
// connection open, is let go after a few silent seconds.
TEST_F(Edge, ASenderThatFallsSilentAfterARefusalIsLetGo) {
  int fd = e2e::connect_loopback(bridge.port());
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(e2e::send_bytes(fd, upload_head(bridge, "/flash?partition=bad-name", "200000000")));
  ASSERT_TRUE(e2e::send_bytes(fd, std::string(1 << 20, 'z')));
  EXPECT_EQ(e2e::parse_reply(read_until(fd, "}")).body, bad_name);
  // While this sender still holds its connection open, the bridge serves
  // the next client well within the two minutes a body that keeps coming
  // may take.
  auto ping = bridge.request("GET /ping HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 60000);
  EXPECT_TRUE(framed(ping));
  ::close(fd);
}

TEST_F(Edge, AnOverLongHeadGetsItsReplyAndAnOrderlyClose) {
  const std::string padding(6000, 'a');
  int fd = e2e::connect_loopback(bridge.port());
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(e2e::send_bytes(fd, "GET /ping HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Pad: " + padding + "\r\n\r\n"));
  bool reset = true;
  auto reply = e2e::parse_reply(read_to_end(fd, &reset));
  ::close(fd);
  EXPECT_TRUE(framed(reply));
  EXPECT_FALSE(reset);
}

TEST_F(Edge, ToolOutputThatIsNotUtf8StillGivesJson) {
  bridge.add_tool("adb", "match\nsay \\xFF\\xFEdisconnected \\xE2\\x80\\x94 everything\\xE2\\x80\n");
  auto reply = actions_e2e::trusted_get(bridge, "/wifi-disconnect");
  EXPECT_TRUE(framed(reply));
  EXPECT_TRUE(json_check::well_formed(reply.body)) << reply.body;
  EXPECT_EQ(reply.body, "{\"ok\":true,\"log\":\"disconnected \xE2\x80\x94 everything\"}");
}

// ---- The host system -------------------------------------------------------

TEST(EdgeHost, TheBannerDashShowsOnAWindowsConsole) {
  if (!e2e::under_wine()) GTEST_SKIP() << "a Windows console";
  // Started on a terminal, a program under Wine gets a console that turns
  // its output from the console's code page into the terminal's UTF-8.
  Bridge bridge;
  int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  winsize size{};
  size.ws_row = 40;
  size.ws_col = 120;
  ::ioctl(master, TIOCSWINSZ, &size);
  const std::string terminal = ::ptsname(master);
  const std::string binary = bridge.binary();
  pid_t pid = ::fork();
  if (pid == 0) {
    ::setsid();
    int slave = ::open(terminal.c_str(), O_RDWR);
    ::dup2(slave, 0);
    ::dup2(slave, 1);
    ::dup2(slave, 2);
    if (::chdir(bridge.dir().c_str()) != 0) ::_exit(126);
    ::setenv("XDG_CONFIG_HOME", bridge.path("config").c_str(), 1);
    ::execlp("wine", "wine", binary.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // The banner is out once the bridge answers; the terminal also carries
  // Wine's cursor commands, so only the dash's bytes are looked for.
  bool answered = false;
  for (int i = 0; i < 600 && !answered; ++i) {
    for (int port = 9765; port <= 9769 && !answered; ++port) {
      int fd = e2e::connect_loopback(port);
      if (fd < 0) continue;
      e2e::send_bytes(fd, "GET /ping HTTP/1.1\r\n\r\n");
      answered = e2e::read_until_close(fd, 10000).find("Talvik") != std::string::npos;
      ::close(fd);
    }
    if (!answered) ::usleep(100000);
  }
  // The console reaches the terminal on its own time: read until the dash
  // has come (a minute at most).
  const std::string dash = "\xE2\x80\x94";
  std::string console;
  char buf[4096];
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (answered && console.find(dash) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd p{master, POLLIN, 0};
    if (::poll(&p, 1, 1000) < 0) break;
    if (p.revents == 0) continue;
    ssize_t n = ::read(master, buf, sizeof buf);
    if (n <= 0) break;
    console.append(buf, static_cast<size_t>(n));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  ::close(master);
  EXPECT_TRUE(answered);
  EXPECT_NE(console.find(dash), std::string::npos) << console;
}

// POSIX only: Windows has neither the signal nor such folder names, and
// Wine keeps its own search path.

TEST(EdgeHost, AFileSizeLimitEndsTheUploadNotTheBridge) {
  if (e2e::under_wine()) GTEST_SKIP() << "SIGXFSZ is a POSIX signal";
  Bridge bridge;
  bridge.add_tool("fastboot", flash_ok_script);
  rlimit before{};
  ::getrlimit(RLIMIT_FSIZE, &before);
  rlimit small = before;
  small.rlim_cur = 1 << 20;
  ::setrlimit(RLIMIT_FSIZE, &small);  // inherited by the bridge only
  bool started = bridge.start();
  ::setrlimit(RLIMIT_FSIZE, &before);
  ASSERT_TRUE(started) << bridge.console();

  const std::string body(3 << 20, 'z');
  auto reply = bridge.request(upload_head(bridge, "/flash?partition=dtbo", std::to_string(body.size())) + body);
  EXPECT_EQ(reply.body, incomplete);
  EXPECT_FALSE(e2e::file_exists(actions_e2e::image_path_on_disk(bridge)));
  EXPECT_TRUE(bridge.running());
  EXPECT_TRUE(framed(bridge.get("/ping")));
}

TEST(EdgeHost, ToolsOnTheSearchPathCountAsFound) {
  if (e2e::under_wine()) GTEST_SKIP() << "Wine keeps its own search path";
  Bridge bridge;
  bridge.add_tool("fastboot", "", "bin");
  bridge.set_env("PATH", bridge.path("empty") + ":" + bridge.path("bin"));
  ASSERT_TRUE(bridge.start()) << bridge.console();
  EXPECT_EQ(bridge.get("/ping").body,
            "{\"ok\":true,\"name\":\"Talvik Web Bridge\",\"version\":\"1.0.0\",\"adb\":false,\"fastboot\":true}");
  EXPECT_NE(bridge.console().find("  fastboot: mila\n"), std::string::npos) << bridge.console();
  EXPECT_NE(bridge.console().find("  adb:      PATH se (ya platform-tools rakhein)\n"), std::string::npos);
}

TEST(EdgeHost, AFolderNameWithADoubleQuoteIsRefusedAtStart) {
  if (e2e::under_wine()) GTEST_SKIP() << "Windows folder names cannot hold a double quote";
  Bridge holder;
  const std::string folder = holder.path("q\"x");
  std::filesystem::create_directories(folder);
  const std::string program = folder + "/talvik-web-bridge";
  std::filesystem::copy_file(holder.binary(), program);

  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  pid_t pid = ::fork();
  if (pid == 0) {
    // Were it to start, its log-on entry stays in the test folder.
    ::setenv("XDG_CONFIG_HOME", holder.path("config").c_str(), 1);
    ::dup2(out[1], 1);
    ::close(out[0]);
    ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(out[1]);
  // Until the program ends (or two minutes pass: a bridge that started).
  std::string console;
  char buf[4096];
  for (;;) {
    pollfd p{out[0], POLLIN, 0};
    if (::poll(&p, 1, 120000) <= 0) break;
    ssize_t n = ::read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    console.append(buf, static_cast<size_t>(n));
  }
  ::close(out[0]);
  int status = 0;
  pid_t ended = 0;
  for (int i = 0; i < 100 && ended == 0; ++i) {
    ended = ::waitpid(pid, &status, WNOHANG);
    if (ended == 0) ::usleep(100000);
  }
  if (ended == 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    FAIL() << "the bridge started: " << console;
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  EXPECT_EQ(console, "Is folder ke naam mein \" hai. Bridge ko aise folder mein rakhein jis ke naam mein \" na ho.\n");
}
