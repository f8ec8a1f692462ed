#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/actions_client.h"
#include "tests/e2e/bridge_harness.h"

using actions_e2e::framed;
using actions_e2e::trusted_get;
using e2e::Bridge;

namespace {

constexpr char bad_name[] = "{\"ok\":false,\"error\":\"partition theek nahi\"}";
constexpr char identity[] = "{\"ok\":false,\"error\":\"identity partition - BLOCK (legal)\"}";
constexpr char bad_url[] = "{\"ok\":false,\"error\":\"URL theek nahi\"}";
constexpr char no_download[] =
    "{\"ok\":false,\"error\":\"file download nahi hui (link/internet check karein)\",\"log\":\"";

// A download failure's reply: the fixed error, and the downloader's words.
::testing::AssertionResult download_failed(const std::string& body) {
  if (body.rfind(no_download, 0) == 0 && body.size() >= 2 && body.compare(body.size() - 2, 2, "\"}") == 0) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << body;
}

std::string image_bytes() {
  std::string s(150000, '\0');
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>((i * 7 + i / 256) & 0xff);
  s.replace(0, 8, actions_e2e::boot_magic);
  return s;
}

// A small HTTP server on 127.0.0.1 for curl: /image.img is the test image,
// /empty.img has no bytes, /cut.img stops half way, /huge.img announces
// more than 2 GiB, /endless.img announces no size and sends zeros until the
// reader goes, /go/REST redirects to http://REST, anything else is 404.
class ImageServer {
 public:
  ImageServer() {
    listener_ = e2e::listen_loopback(0, 8, &port_);
    thread_ = std::thread([this] { serve(); });
  }
  ~ImageServer() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
  }
  std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
  std::vector<std::string> paths() {
    std::lock_guard<std::mutex> lock(mutex_);
    return paths_;
  }

 private:
  void serve() {
    while (!stop_) {
      pollfd p{listener_, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) continue;
      std::string request = e2e_read_head(fd);
      std::string path = request.substr(4, request.find(' ', 4) - 4);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        paths_.push_back(path);
      }
      const std::string image = image_bytes();
      if (path == "/image.img" || path == "/a[1].bin") {
        e2e::send_bytes(fd, head(image.size()) + image);
      } else if (path.rfind("/go/", 0) == 0) {
        // A redirect to http://REST.
        e2e::send_bytes(fd, "HTTP/1.1 302 Found\r\nLocation: http://" + path.substr(4) +
                                "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
      } else if (path == "/huge.img") {
        e2e::send_bytes(fd, head(2147483649ULL) + image);  // more than 2 GiB announced
      } else if (path == "/endless.img") {
        send_until_gone(fd);
      } else if (path == "/empty.img") {
        e2e::send_bytes(fd, head(0));
      } else if (path == "/cut.img") {
        e2e::send_bytes(fd, head(image.size()) + image.substr(0, 1000));
      } else {
        e2e::send_bytes(fd, "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\nnot found");
      }
      ::close(fd);
    }
  }
  void send_until_gone(int fd) {
    const std::string start = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n\r\n";
    if (::send(fd, start.data(), start.size(), MSG_NOSIGNAL) < 0) return;
    const std::string zeros(1 << 20, '\0');
    while (!stop_ && ::send(fd, zeros.data(), zeros.size(), MSG_NOSIGNAL) > 0) {
    }
  }
  static std::string head(size_t length) {
    return "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " + std::to_string(length) +
           "\r\nConnection: close\r\n\r\n";
  }
  static std::string e2e_read_head(int fd) {
    std::string text;
    char buf[4096];
    while (text.find("\r\n\r\n") == std::string::npos) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 10000) <= 0) break;
      ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      text.append(buf, static_cast<size_t>(n));
    }
    return text.size() > 4 ? text : "GET ? ";
  }

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> paths_;
};

// Percent-encodes every byte outside letters and digits.
std::string encoded(const std::string& text) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

// The downloader double under Wine: a powershell.exe that writes what a
// real download of each test address would leave.
constexpr char powershell_script[] =
    "match /image.img'\noutfile image.src -OutFile '\n"
    "match /empty.img'\noutfile empty.src -OutFile '\n"
    "match /cut.img'\noutfile part.src -OutFile '\n"
    "say Invoke-WebRequest : The underlying connection was closed\\r\\n    + FullyQualifiedErrorId : "
    "WebCmdletWebResponseException\\r\\n\n"
    "match /missing.img'\nsay Invoke-WebRequest : The remote server returned an error: (404) Not Found.\\r\\n"
    "    + FullyQualifiedErrorId : WebCmdletWebResponseException\\r\\n\n"
    "match /endless.img'\noutsize 2147483700 -OutFile '\nhang\n"
    // The redirect line of the PowerShell download: /go/image leads to the
    // image, /go/loop to itself.
    "match /go/image'\nsay \\ntalvik-redirect:http://127.0.0.1:9/dl/image.img\\n\n"
    "match /go/loop'\nsay \\ntalvik-redirect:http://127.0.0.1:9/dl/go/loop\\n\n";

class FlashUrl : public ::testing::Test {
 protected:
  void SetUp() override {
    bridge.add_tool("fastboot",
                    std::string(actions_e2e::one_fastboot_phone) +
                        "match flash \nsave 5 received.img\nsay OKAY [  0.1s]\\r\\nFinished. Total time: 0.1s\\r\\n\n");
    if (e2e::under_wine()) {
      bridge.add_tool("powershell", powershell_script);
      e2e::write_file(bridge.path("image.src"), image_bytes());
      e2e::write_file(bridge.path("empty.src"), "");
      e2e::write_file(bridge.path("part.src"), image_bytes().substr(0, 1000));
    }
    ASSERT_TRUE(bridge.start()) << bridge.console();
  }

  // The address of a test file: served for curl on Linux, known to the
  // PowerShell double under Wine.
  std::string url(const std::string& path) {
    return e2e::under_wine() ? "http://127.0.0.1:9/dl" + path : server.url(path);
  }
  std::vector<std::string> downloads() { return e2e::under_wine() ? bridge.tool_calls("powershell") : server.paths(); }
  bool image_left() { return e2e::file_exists(actions_e2e::image_path_on_disk(bridge)); }

  Bridge bridge;
  ImageServer server;
};

}  // namespace

TEST_F(FlashUrl, DownloadsFlashesAndCleansUp) {
  const std::string u = encoded(url("/image.img"));
  auto reply = trusted_get(bridge, "/flashurl?partition=boot_a&u=" + u);
  EXPECT_TRUE(framed(reply));
  EXPECT_EQ(reply.body,
            "{\"ok\":true,\"partition\":\"boot_a\",\"log\":\"OKAY [  0.1s]\\nFinished. Total time: 0.1s\\n\"}");
  EXPECT_TRUE(e2e::read_file(bridge.path("received.img")) == image_bytes());
  const std::string file = actions_e2e::image_path_in_commands(bridge);
  EXPECT_EQ(bridge.tool_calls("fastboot"), (std::vector<std::string>{"devices", "-s 0A1B2C3D flash boot_a " + file}));
  EXPECT_FALSE(image_left());

  // The fields in the other order work the same way.
  reply = trusted_get(bridge, "/flashurl?u=" + u + "&partition=Init_Boot");
  EXPECT_EQ(reply.body.rfind("{\"ok\":true,\"partition\":\"Init_Boot\"", 0), 0u) << reply.body;

  if (e2e::under_wine()) {
    // The exact PowerShell line, as PowerShell receives its arguments.
    auto calls = bridge.tool_calls("powershell");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0],
              "-NoProfile -ExecutionPolicy Bypass -Command $ProgressPreference='SilentlyContinue';"
              "$ErrorActionPreference='Stop';[Net.ServicePointManager]::SecurityProtocol=[Net.SecurityProtocolType]"
              "::Tls12;$u='" +
                  url("/image.img") +
                  "';$r=Invoke-WebRequest -UseBasicParsing -TimeoutSec 60 -MaximumRedirection 0 -Uri $u -OutFile '" +
                  file +
                  "' -PassThru;if($r.StatusCode -ge 300 -and $r.StatusCode -lt 400){[Console]::Out.Write([char]10+"
                  "'talvik-redirect:'+(New-Object Uri -ArgumentList ([Uri]$u),([string]$r.Headers['Location']))."
                  "AbsoluteUri+[char]10)}");
  } else {
    EXPECT_EQ(server.paths(), (std::vector<std::string>{"/image.img", "/image.img"}));
  }
}

TEST_F(FlashUrl, RefusalsRunNothing) {
  const std::string good = encoded(url("/image.img"));
  struct Case {
    std::string query;
    const char* body;
  };
  const Case cases[] = {
      {"u=" + good, bad_name},
      {"partition=&u=ftp%3A%2F%2Fx", bad_name},  // partition error before URL error
      {"partition=system-a&u=" + good, bad_name},
      {"partition=EFS&u=" + good, identity},
      {"partition=protect_s&u=" + good, identity},
      {"partition=modemst1_b&u=" + good, identity},
      {"partition=boot", bad_url},
      {"partition=boot&u=HTTPS%3A%2F%2Fx%2Fa.img", bad_url},
      {"partition=boot&u=ftp%3A%2F%2Fx%2Fa.img", bad_url},
      // Attempts to step out of the quoted URL.
      {"partition=boot&u=" + encoded(url("/image.img") + "';Start-Process calc;'"), bad_url},
      {"partition=boot&u=" + encoded(url("/image.img") + "\" & calc & \""), bad_url},
      {"partition=boot&u=" + encoded(url("/image.img")) + "%91%3BStart-Process%20calc%3B%92", bad_url},
      {"partition=boot&u=" + encoded(url("/image.img")) + "%0D%0Acalc", bad_url},
      {"partition=boot&u=" + encoded(url("/image.img")) + "%7F", bad_url},
  };
  for (const Case& c : cases) {
    auto reply = trusted_get(bridge, "/flashurl?" + c.query);
    EXPECT_TRUE(framed(reply)) << c.query;
    EXPECT_EQ(reply.body, c.body) << c.query;
  }
  EXPECT_TRUE(downloads().empty());
  EXPECT_TRUE(bridge.tool_calls("fastboot").empty());
  EXPECT_FALSE(image_left());
}

TEST_F(FlashUrl, ADownloadedImageOfAnotherKindIsNotFlashed) {
  // The test image is a boot image; vendor_boot takes a vendor_boot image.
  auto reply = trusted_get(bridge, "/flashurl?partition=vendor_boot_a&u=" + encoded(url("/image.img")));
  EXPECT_TRUE(framed(reply));
  EXPECT_EQ(reply.body,
            "{\"ok\":false,\"error\":\"Ye file boot image (ANDROID!) hai, magar vendor_boot_a partition ko vendor_boot "
            "image (VNDRBOOT) chahiye.\"}");
  EXPECT_EQ(downloads().size(), 1u);
  EXPECT_EQ(bridge.tool_calls("fastboot"), std::vector<std::string>{"devices"});
  EXPECT_FALSE(image_left());
}

TEST_F(FlashUrl, AddressesOfTheBridgeItselfAreRefused) {
  const std::string port = std::to_string(bridge.port());
  for (const std::string& address :
       {"http://127.0.0.1:" + port + "/ping", "http://LOCALHOST:" + port + "/ping", "http://0x7f000001:" + port + "/",
        "http://[::ffff:127.0.0.1]:" + port + "/ping", "http://user@127.1:" + port + "\\x",
        "http://example.com\\@127.0.0.1:" + port + "/ping"}) {
    auto reply = trusted_get(bridge, "/flashurl?partition=boot&u=" + encoded(address));
    EXPECT_TRUE(framed(reply)) << address;
    EXPECT_EQ(reply.body, bad_url) << address;
  }
  EXPECT_TRUE(downloads().empty());
  EXPECT_TRUE(bridge.tool_calls("fastboot").empty());
}

TEST_F(FlashUrl, OnlyAFreshCompleteDownloadIsFlashed) {
  // A file left over from an earlier run must not pass for a download.
  e2e::write_file(actions_e2e::image_path_on_disk(bridge), "stale image");
  for (const char* path : {"/missing.img", "/empty.img", "/cut.img"}) {
    auto reply = trusted_get(bridge, "/flashurl?partition=boot&u=" + encoded(url(path)));
    EXPECT_TRUE(framed(reply)) << path;
    EXPECT_TRUE(download_failed(reply.body)) << path;
    EXPECT_FALSE(image_left()) << path;
    // The page can name the HTTP status the server gave.
    if (std::string(path) == "/missing.img") EXPECT_NE(reply.body.find("404"), std::string::npos) << reply.body;
  }
  EXPECT_EQ(downloads().size(), 3u);
  for (const auto& call : bridge.tool_calls("fastboot")) EXPECT_EQ(call, "devices");
}

TEST_F(FlashUrl, BracketsAndBracesInTheAddressAreFetchedAsWritten) {
  if (e2e::under_wine()) GTEST_SKIP() << "curl's URL patterns; the PowerShell line is checked by the unit tests";
  auto reply = trusted_get(bridge, "/flashurl?partition=boot&u=" + encoded(url("/a[1].bin")));
  EXPECT_EQ(reply.body.rfind("{\"ok\":true", 0), 0u) << reply.body;
  EXPECT_TRUE(e2e::read_file(bridge.path("received.img")) == image_bytes());
  // Neither is a pattern of several downloads: each address is fetched once, as written.
  for (const char* path : {"/img[1-2].bin", "/img{2,1}.bin"}) {
    EXPECT_TRUE(download_failed(trusted_get(bridge, "/flashurl?partition=boot&u=" + encoded(url(path))).body)) << path;
  }
  EXPECT_EQ(server.paths(), (std::vector<std::string>{"/a[1].bin", "/img[1-2].bin", "/img{2,1}.bin"}));
}

TEST_F(FlashUrl, AFileOverTwoGigabytesIsRefusedAsTooBig) {
  if (e2e::under_wine()) GTEST_SKIP() << "the PowerShell double cannot stand for a 2 GiB download";
  auto reply = trusted_get(bridge, "/flashurl?partition=boot&u=" + encoded(url("/huge.img")));
  EXPECT_TRUE(framed(reply));
  EXPECT_EQ(reply.body,
            "{\"ok\":false,\"error\":\"Link ki file bohat bari hai (2GB se zyada) - flash nahi ho sakti. Sahi image "
            "ka link dein.\"}");
  EXPECT_EQ(bridge.tool_calls("fastboot"), std::vector<std::string>{"devices"});
  EXPECT_FALSE(image_left());
}

TEST_F(FlashUrl, AFileThatGrowsPastTwoGigabytesIsEndedWhileItDownloads) {
  // No size announced, so only the file's own size can tell; the download
  // is ended as it passes 2 GiB, not after the disk is full.
  auto reply = trusted_get(bridge, "/flashurl?partition=boot&u=" + encoded(url("/endless.img")));
  EXPECT_TRUE(framed(reply));
  EXPECT_EQ(reply.body,
            "{\"ok\":false,\"error\":\"Link ki file bohat bari hai (2GB se zyada) - flash nahi ho sakti. Sahi image "
            "ka link dein.\"}");
  EXPECT_EQ(bridge.tool_calls("fastboot"), std::vector<std::string>{"devices"});
  EXPECT_FALSE(image_left());
}

TEST_F(FlashUrl, RedirectsAreFollowedOnlyWhereThePageItselfCouldLead) {
  // Under Wine the PowerShell double prints the redirect line the real
  // download command prints; the bridge's checks are the same.
  const std::string server_host = e2e::under_wine() ? "127.0.0.1:9/dl" : server.url("").substr(7);
  // Two hops on the image server itself: followed, the image flashed.
  const std::string two_hops =
      e2e::under_wine() ? "/go/image" : "/go/" + server_host + "/go/" + server_host + "/image.img";
  auto reply = trusted_get(bridge, "/flashurl?partition=boot&u=" + encoded(url(two_hops)));
  EXPECT_EQ(reply.body.rfind("{\"ok\":true,\"partition\":\"boot\"", 0), 0u) << reply.body;
  EXPECT_TRUE(e2e::read_file(bridge.path("received.img")) == image_bytes());

  // A redirect back to the bridge is refused before anything fetches it,
  // and so is a sixth hop.
  const std::string to_bridge = "localhost:" + std::to_string(bridge.port()) + "/devices";
  if (e2e::under_wine()) {
    bridge.add_tool("powershell", std::string(powershell_script) + "match /go/bridge'\nsay \\ntalvik-redirect:http://" +
                                      to_bridge + "\\n\n");
  }
  EXPECT_EQ(trusted_get(bridge, "/flashurl?partition=boot&u=" +
                                    encoded(url(e2e::under_wine() ? "/go/bridge" : "/go/" + to_bridge)))
                .body,
            "{\"ok\":false,\"error\":\"URL theek nahi\"}");
  std::string chain = "/image.img";
  for (int i = 0; i < 6; ++i) chain = "/go/" + server_host + chain;
  EXPECT_EQ(
      trusted_get(bridge, "/flashurl?partition=boot&u=" + encoded(url(e2e::under_wine() ? "/go/loop" : chain))).body,
      "{\"ok\":false,\"error\":\"URL theek nahi\"}");
  EXPECT_EQ(bridge.tool_calls("fastboot").size(), 4u);  // devices, flash, devices, devices
  if (e2e::under_wine()) EXPECT_EQ(bridge.tool_calls("powershell").size(), 2u + 1u + 6u);
  EXPECT_FALSE(image_left());
}
