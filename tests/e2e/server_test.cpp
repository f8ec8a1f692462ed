// The request loop, routing, CORS and framing, against the real binary.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/bridge_harness.h"

using e2e::Bridge;

namespace {

const std::string kForbidden = "{\"ok\":false,\"error\":\"forbidden (origin)\"}";
const std::string kUnknown = "{\"ok\":false,\"error\":\"unknown\"}";
const std::string kPing =
    "{\"ok\":true,\"name\":\"Talvik Web Bridge\",\"version\":\"1.0.0\",\"adb\":false,\"fastboot\":false}";

std::string expected_head(int length, const std::string& origin) {
  return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(length) +
         "\r\nAccess-Control-Allow-Origin: " + origin +
         "\r\nVary: Origin\r\nAccess-Control-Allow-Methods: GET, POST, OPTIONS\r\n"
         "Access-Control-Allow-Headers: Content-Type, X-Talvik-Bridge\r\n"
         "Access-Control-Allow-Private-Network: true\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n";
}

// Holds 127.0.0.1:port as another program would.
struct PortHolder {
  int fd = -1;
  explicit PortHolder(int port) : fd(e2e::listen_loopback(port, 1)) {}
  ~PortHolder() {
    if (fd >= 0) ::close(fd);
  }
};

std::string strip_cr(std::string s) {
  std::string out;
  for (char c : s)
    if (c != '\r') out += c;
  return out;
}

// A search path without the system's adb and fastboot, which would
// otherwise count as found.
void without_system_tools(Bridge& bridge) {
  if (!e2e::under_wine()) bridge.set_env("PATH", bridge.dir());
}

class Server : public ::testing::Test {
 protected:
  void SetUp() override {
    without_system_tools(bridge);
    ASSERT_TRUE(bridge.start()) << bridge.console();
  }
  Bridge bridge;
};

}  // namespace

TEST_F(Server, BannerIsExact) {
  std::string expected =
      "============================================================\n"
      "  Talvik Web Bridge  v1.0.0\n"
      "============================================================\n"
      "  Chal raha hai. Browser mein talvik.pk/adb.html kholkar\n"
      "  'Phone parho (Bridge)' dabayein.\n\n"
      "  adb:      PATH se (ya platform-tools rakhein)\n"
      "  fastboot: PATH se\n"
      "  Port:     127.0.0.1:" +
      std::to_string(bridge.port()) + "\n\n" +
      // Windows: the words users know. Linux: the entry's file, and that
      // the test's config folder is read by no log-in; Ctrl+C stops it.
      (e2e::under_wine() ? "  Ye helper ab Windows ke saath KHUD start hoga (background) \xE2\x80\x94\n"
                           "  dobara download/launch ki zaroorat nahi.\n"
                           "  Band karne ke liye ye window close karein.\n"
                         : "  Log-on entry likha gaya: " + bridge.path("config/autostart/talvik-web-bridge.desktop") +
                               "\n"
                               "  Ye folder aap ke login ka nahi (HOME ya XDG_CONFIG_HOME badla hua hai):\n"
                               "  login par ye helper khud start NAHI hoga.\n"
                               "  Band karne ke liye is window mein Ctrl+C dabayein.\n") +
      "============================================================\n";
  EXPECT_EQ(strip_cr(bridge.console()), expected);
}

// The script that serves the page beside a Linux bridge names its address
// through TALVIK_PAGE_URL; the Windows banner keeps the site's.
TEST(Startup, BannerNamesAServedPageOnLinuxOnly) {
  const std::string site_line = "  Chal raha hai. Browser mein talvik.pk/adb.html kholkar\n";
  for (const char* value : {"http://localhost:8080/adb.html", "http://localhost:8080/a b", "javascript:alert(1)",
                            "ftp://localhost/adb.html"}) {
    Bridge bridge;
    without_system_tools(bridge);
    bridge.set_env("TALVIK_PAGE_URL", value);
    ASSERT_TRUE(bridge.start()) << bridge.console();
    std::string text;
    for (int i = 0; i < 3000 && text.find("Band karne ke liye") == std::string::npos; ++i) {
      text = strip_cr(bridge.console());
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const bool named = !e2e::under_wine() && value == std::string("http://localhost:8080/adb.html");
    EXPECT_NE(text.find(named ? "  Chal raha hai. Browser mein http://localhost:8080/adb.html kholkar\n" : site_line),
              std::string::npos)
        << value << "\n"
        << text;
    EXPECT_EQ(text.find("adb.html"), text.rfind("adb.html")) << text;
  }
}

TEST_F(Server, PingHeadAndBodyAreExact) {
  auto reply = bridge.get("/ping", "http://localhost:8080");
  EXPECT_EQ(reply.head, expected_head(static_cast<int>(kPing.size()), "http://localhost:8080"));
  EXPECT_EQ(reply.body, kPing);
}

TEST_F(Server, RoutesMatchByPrefix) {
  for (const char* target : {"/pingx", "/ping?t=1", "/pingpong"}) {
    EXPECT_EQ(bridge.get(target).body, kPing) << target;
  }
  EXPECT_EQ(bridge.get("/information").body, bridge.get("/info").body);
  for (const char* raw : {"GET /flash HTTP/1.1\r\n\r\n", "HEAD /ping HTTP/1.1\r\n\r\n", "get /ping HTTP/1.1\r\n\r\n",
                          "PUT /info HTTP/1.1\r\n\r\n", "GET / HTTP/1.1\r\n\r\n"}) {
    auto reply = bridge.request(raw);
    EXPECT_EQ(reply.head, expected_head(30, "https://www.talvik.pk")) << raw;
    EXPECT_EQ(reply.body, kUnknown) << raw;
  }
}

TEST_F(Server, PreflightIsNeverRefused) {
  for (const std::string& origin : {"http://localhost:8080", "http://evil.example"}) {
    auto reply = bridge.request("OPTIONS /anything HTTP/1.1\r\nHost: evil.example\r\nOrigin: " + origin +
                                "\r\nAccess-Control-Request-Method: POST\r\n\r\n");
    std::string echoed = origin == "http://localhost:8080" ? origin : "https://www.talvik.pk";
    EXPECT_EQ(reply.raw, "HTTP/1.1 204 No Content\r\nContent-Length: 0\r\nAccess-Control-Allow-Origin: " + echoed +
                             "\r\nVary: Origin\r\nAccess-Control-Allow-Methods: GET, POST, OPTIONS\r\n"
                             "Access-Control-Allow-Headers: Content-Type, X-Talvik-Bridge\r\n"
                             "Access-Control-Allow-Private-Network: true\r\nConnection: close\r\n\r\n");
  }
}

TEST_F(Server, ActingRoutesNeedAllowedOriginAndBridgeHeader) {
  const std::vector<std::string> acting = {"GET /flashurl?partition=boot&u=http://x",
                                           "GET /wifi-mdns",
                                           "GET /adbkill",
                                           "GET /reboot?to=nowhere",
                                           "POST /flash?partition=boot",
                                           "POST /boot"};
  for (const auto& line : acting) {
    auto no_origin = bridge.request(line + " HTTP/1.1\r\nX-Talvik-Bridge: 1\r\n\r\n");
    EXPECT_EQ(no_origin.raw, expected_head(41, "https://www.talvik.pk") + kForbidden) << line;
    auto no_header = bridge.request(line + " HTTP/1.1\r\nOrigin: http://127.0.0.1:8080\r\n\r\n");
    EXPECT_EQ(no_header.raw, expected_head(41, "http://127.0.0.1:8080") + kForbidden) << line;
    auto other_origin =
        bridge.request(line + " HTTP/1.1\r\nOrigin: http://localhost:8081\r\nX-Talvik-Bridge: 1\r\n\r\n");
    EXPECT_EQ(other_origin.body, kForbidden) << line;
    // Header names in any letter case, as Chromium's Headers API sends them.
    auto trusted = bridge.request(line + " HTTP/1.1\r\norigin: http://localhost:8080\r\nx-talvik-bridge: 1\r\n\r\n");
    EXPECT_NE(trusted.body, kForbidden) << line;
    EXPECT_EQ(trusted.header("Access-Control-Allow-Origin"), "http://localhost:8080") << line;
  }
}

TEST_F(Server, RebindingGuardRefusesForeignHostNames) {
  auto foreign =
      bridge.request("GET /info HTTP/1.1\r\nHost: attacker.example:" + std::to_string(bridge.port()) + "\r\n\r\n");
  EXPECT_EQ(foreign.body, kForbidden);
  EXPECT_EQ(bridge.request("GET /ping HTTP/1.1\r\nHost: localhost:1\r\n\r\n").body, kForbidden);
  EXPECT_EQ(bridge.request("GET /ping HTTP/1.1\r\nHost: localhost\r\n\r\n").body, kPing);
  EXPECT_EQ(bridge.request("GET /ping HTTP/1.1\r\nHost: localhost:" + std::to_string(bridge.port()) + "\r\n\r\n").body,
            kPing);
  EXPECT_EQ(bridge.request("GET /ping HTTP/1.1\r\n\r\n").body, kPing);
}

TEST_F(Server, HeadMayArriveInPieces) {
  int fd = e2e::connect_loopback(bridge.port());
  ASSERT_GE(fd, 0);
  const std::string pieces[] = {"GET /wifi-mdns HTTP/1.1\r\n", "Origin: http://localhost:8080\r\n", "X-Talvik-",
                                "Bridge: 1\r\n", "\r\n"};
  for (const auto& piece : pieces) {
    e2e::send_bytes(fd, piece);
    usleep(100 * 1000);
  }
  auto reply = e2e::parse_reply(e2e::read_until_close(fd));
  ::close(fd);
  EXPECT_NE(reply.body, kForbidden);
  EXPECT_EQ(reply.header("Access-Control-Allow-Origin"), "http://localhost:8080");
}

TEST_F(Server, SilentOrEmptyConnectionsDoNotStopTheNextClient) {
  int empty = e2e::connect_loopback(bridge.port());
  ::close(empty);
  int silent = e2e::connect_loopback(bridge.port());
  ASSERT_GE(silent, 0);
  // Served once the silent client's time is up.
  EXPECT_EQ(bridge.get("/ping").body, kPing);
  EXPECT_EQ(e2e::read_until_close(silent, 30000), "");
  ::close(silent);
}

TEST_F(Server, LongRequestsAreJudgedOnTheirFirst4095Bytes) {
  std::string exact = "GET /ping HTTP/1.1\r\nX-Pad: ";
  exact += std::string(4095 - exact.size() - 4, 'p') + "\r\n\r\n";
  ASSERT_EQ(exact.size(), 4095u);
  EXPECT_EQ(bridge.request(exact).body, kPing);
  // The Origin header beyond the first 4,095 bytes is never seen.
  std::string longer =
      "GET /ping HTTP/1.1\r\nX-Pad: " + std::string(5000, 'p') + "\r\nOrigin: http://localhost:8080\r\n\r\n";
  auto reply = bridge.request(longer);
  EXPECT_EQ(reply.body, kPing);
  EXPECT_EQ(reply.header("Access-Control-Allow-Origin"), "https://www.talvik.pk");
}

TEST_F(Server, RefusedUploadIsDrainedSoTheClientReadsTheReply) {
  int fd = e2e::connect_loopback(bridge.port());
  ASSERT_GE(fd, 0);
  const size_t size = 5 * 1024 * 1024;
  std::string request = "POST /flash?partition=boot HTTP/1.1\r\nOrigin: http://localhost:8081\r\nContent-Length: " +
                        std::to_string(size) + "\r\n\r\n" + std::string(size, 'i');
  EXPECT_TRUE(e2e::send_bytes(fd, request));
  auto reply = e2e::parse_reply(e2e::read_until_close(fd));
  ::close(fd);
  EXPECT_EQ(reply.body, kForbidden);
  EXPECT_EQ(bridge.get("/ping").body, kPing);
}

TEST(Startup, SecondCopyServesOnTheNextPort) {
  Bridge first;
  ASSERT_TRUE(first.start()) << first.console();
  Bridge second;
  without_system_tools(second);
  ASSERT_TRUE(second.start()) << second.console();
  EXPECT_GT(second.port(), first.port());
  EXPECT_EQ(second.get("/ping").body, kPing);
}

TEST(Startup, NoFreePort) {
  std::vector<std::unique_ptr<PortHolder>> holders;
  for (int port = 9765; port <= 9769; ++port) {
    holders.push_back(std::make_unique<PortHolder>(port));
    ASSERT_GE(holders.back()->fd, 0) << "port " << port << " is in use by something else";
  }
  {
    Bridge normal;
    EXPECT_FALSE(normal.start());
    EXPECT_EQ(normal.wait_exit(60000), 1);
    EXPECT_EQ(strip_cr(normal.console()),
              "Koi port free nahi mila. Doosra bridge window band karke dobara chalayein.\nEnter dabayein...");
  }
  Bridge autostart;
  EXPECT_FALSE(autostart.start({"--autostart"}));
  EXPECT_EQ(autostart.wait_exit(60000), 0);
  EXPECT_EQ(autostart.console(), "");
  EXPECT_FALSE(e2e::file_exists(autostart.path("platform-tools")));
}

TEST(Startup, AutostartModeServesWithoutConsoleOutput) {
  Bridge bridge;
  without_system_tools(bridge);
  bridge.launch({"--autostart"});
  std::string reply;
  for (int i = 0; i < 600 && reply.empty(); ++i) {
    usleep(100 * 1000);
    int fd = e2e::connect_loopback(9765);
    if (fd < 0) continue;
    e2e::send_bytes(fd, "GET /ping HTTP/1.1\r\n\r\n");
    reply = e2e::parse_reply(e2e::read_until_close(fd)).body;
    ::close(fd);
  }
  EXPECT_EQ(reply, kPing);
  // On Windows releasing the console does not touch a redirected output.
  if (!e2e::under_wine()) EXPECT_EQ(bridge.console(), "");
}

TEST(Startup, PortIsFreeAfterExitThoughAToolLeftAProcessBehind) {
  Bridge bridge;
  bridge.add_tool("adb", "match devices\nsay List of devices attached\\n\nhold 20000\n");
  ASSERT_TRUE(bridge.start()) << bridge.console();
  int port = bridge.port();
  bridge.get("/info");
  bridge.stop();
  // Wine's server lets go of a dead process's sockets shortly after it ends.
  std::unique_ptr<PortHolder> again;
  for (int i = 0; i < 50 && (again == nullptr || again->fd < 0); ++i) {
    if (again != nullptr) usleep(100 * 1000);
    again = std::make_unique<PortHolder>(port);
  }
  EXPECT_GE(again->fd, 0) << "port " << port << " still held after the bridge exited";
}
