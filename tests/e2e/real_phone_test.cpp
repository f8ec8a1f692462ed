// The bridge with Debian's own adb and fastboot (found through PATH: no tool
// double beside the bridge) against simulated phones (tests/sim/phone_sim.py)
// that the tools reach over TCP: `adb connect 127.0.0.1:PORT` for ADB mode,
// serial tcp:127.0.0.1:PORT for Fastboot mode. Each phone records every
// service and command it receives and the bytes of every download, so the
// tests check what reached the phone, not only what the bridge answered.
// Each test has an adb server port and a HOME of its own, and stops that
// server at the end. Linux only: the Windows build would need Windows' adb.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/actions_client.h"
#include "tests/e2e/bridge_harness.h"
#include "tests/support/json_check.h"

namespace fs = std::filesystem;
using actions_e2e::trusted_get;
using e2e::Bridge;

namespace {

const std::string kNoPhone =
    "{\"ok\":false,\"error\":\"Koi phone nahi mila. ADB: USB debugging ON + phone par Allow. Ya phone Fastboot mode "
    "mein layein. Cable theek hai?\"}";
const std::string kNoAdbPhone =
    "{\"ok\":false,\"error\":\"ADB mein koi phone nahi mila. USB debugging ON karke phone par Allow dabayein.\"}";
const std::string kNoFastbootPhone =
    "{\"ok\":false,\"error\":\"Fastboot mode mein koi phone nahi mila. Phone ko bootloader (Fastboot) mode mein "
    "layein.\"}";
const std::string kManyPhones =
    "{\"ok\":false,\"error\":\"Ek se zyada phone lage hain. Ek phone chunein (serial) ya baaki nikaal dein.\"}";

std::string report_fixture(const std::string& name) { return e2e::fixtures_dir() + "/report/" + name; }

// One simulated phone: tests/sim/phone_sim.py on a port of its own, with a
// folder for what it records. Ended (and its folder removed) with the object.
class PhoneSim {
 public:
  explicit PhoneSim(const std::vector<std::string>& options) {
    char tmpl[] = "/tmp/talvik-phone-XXXXXX";
    record_ = ::mkdtemp(tmpl);
    int fds[2];
    if (::pipe(fds) != 0) return;
    std::vector<std::string> argv_s = {"python3", TALVIK_PHONE_SIM, "--port", "0", "--record", record_};
    argv_s.insert(argv_s.end(), options.begin(), options.end());
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(fds[1], 1);
      ::close(fds[0]);
      ::close(fds[1]);
      std::vector<char*> argv;
      for (auto& a : argv_s) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execvp(argv[0], argv.data());
      _exit(127);
    }
    ::close(fds[1]);
    // The first line it prints is its port.
    std::string line;
    char c;
    pollfd p{fds[0], POLLIN, 0};
    while (::poll(&p, 1, 30000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') line += c;
    ::close(fds[0]);
    port_ = std::atoi(line.c_str());
  }
  ~PhoneSim() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    std::error_code ec;
    fs::remove_all(record_, ec);
  }
  PhoneSim(const PhoneSim&) = delete;
  PhoneSim& operator=(const PhoneSim&) = delete;

  int port() const { return port_; }
  // The serial adb lists it under, and the one fastboot reaches it by.
  std::string serial() const { return "127.0.0.1:" + std::to_string(port_); }
  std::string tcp_serial() const { return "tcp:" + serial(); }

  // Every service (ADB) and command (fastboot) received so far, in order.
  std::vector<std::string> journal() const {
    std::istringstream in(e2e::read_file(record_ + "/journal.txt"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // The journal from line `from` on.
  std::vector<std::string> journal_since(size_t from) const {
    auto all = journal();
    return from < all.size() ? std::vector<std::string>(all.begin() + static_cast<long>(from), all.end())
                             : std::vector<std::string>{};
  }
  // The bytes of the nth download (1-based); "" when there was none.
  std::string download(int n) const { return e2e::read_file(record_ + "/download-" + std::to_string(n) + ".bin"); }
  bool has_download(int n) const { return e2e::file_exists(record_ + "/download-" + std::to_string(n) + ".bin"); }

 private:
  std::string record_;
  pid_t pid_ = -1;
  int port_ = 0;
};

// `size` bytes that start like a boot image and are otherwise random.
std::string boot_image(size_t size, unsigned seed) {
  std::string bytes = "ANDROID!";
  std::mt19937 gen(seed);
  while (bytes.size() < size) bytes += static_cast<char>(gen() & 0xFF);
  bytes.resize(size);
  return bytes;
}

// A bridge with no tool beside it, an adb server port and a HOME of its own.
class RealPhone : public ::testing::Test {
 protected:
  void SetUp() override {
    if (e2e::under_wine()) GTEST_SKIP() << "Debian's adb and fastboot are Linux programs";
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    adb_port = 5221 + static_cast<int>(std::hash<std::string>{}(name) % 60);
    int probe = e2e::connect_loopback(adb_port);
    if (probe >= 0) ::close(probe);
    ASSERT_LT(probe, 0) << "adb port " << adb_port << " is taken";
    home = bridge.path("home");
    fs::create_directories(home);
    bridge.set_env("ANDROID_ADB_SERVER_PORT", std::to_string(adb_port));
    bridge.set_env("HOME", home);
    bridge.set_env("ANDROID_SERIAL", "");  // an inherited choice of phone must not steer the tests
    ASSERT_TRUE(bridge.start()) << bridge.console();
  }

  void TearDown() override {
    if (adb_port != 0) adb("kill-server");
  }

  // Runs the system's adb against this test's server; returns what it printed.
  std::string adb(const std::string& args) {
    std::string command = "HOME='" + home + "' adb -P " + std::to_string(adb_port) + " " + args + " 2>&1 </dev/null";
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
      char buf[4096];
      size_t n;
      while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
      ::pclose(p);
    }
    return out;
  }

  ::testing::AssertionResult connect(const PhoneSim& phone) {
    if (phone.port() <= 0) return ::testing::AssertionFailure() << "the simulated phone did not start";
    std::string out = adb("connect " + phone.serial());
    if (out.find("connected to " + phone.serial()) == std::string::npos) return ::testing::AssertionFailure() << out;
    return ::testing::AssertionSuccess();
  }

  e2e::Reply upload(const std::string& target, const std::string& body) {
    return bridge.request(actions_e2e::upload_head(bridge, target, std::to_string(body.size())) + body);
  }

  // No temporary image left in the bridge's folder.
  ::testing::AssertionResult no_temporary_image() {
    for (const auto& entry : fs::directory_iterator(bridge.dir())) {
      if (entry.path().extension() == ".tmp") return ::testing::AssertionFailure() << entry.path();
    }
    return ::testing::AssertionSuccess();
  }

  int adb_port = 0;
  std::string home;
  Bridge bridge;
};

// The report and the adb calls of a bridge whose adb is the tool double
// playing the complete phone's script.
std::pair<std::string, std::vector<std::string>> complete_report_from_double() {
  Bridge twin;
  for (const auto& entry : fs::directory_iterator(report_fixture("complete")))
    e2e::write_file(twin.path(entry.path().filename().string()), e2e::read_file(entry.path().string()));
  twin.add_tool("adb", e2e::read_file(report_fixture("complete/adb.script")));
  twin.add_tool("fastboot", "");
  if (!twin.start()) return {};
  std::string body = twin.get("/info").body;
  return {body, twin.tool_calls("adb")};
}

// Serves `body` as the answer to every request on a loopback port of its
// own, for curl, until destroyed.
class OneFileServer {
 public:
  explicit OneFileServer(std::string body) : body_(std::move(body)) {
    listener_ = e2e::listen_loopback(0, 8, &port_);
    thread_ = std::thread([this] {
      while (!stop_) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        int fd = ::accept(listener_, nullptr, nullptr);
        if (fd < 0) continue;
        char head[4096];
        (void)::recv(fd, head, sizeof head, 0);  // one GET; its bytes do not matter
        e2e::send_bytes(fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body_.size()) +
                                "\r\nConnection: close\r\n\r\n" + body_);
        ::close(fd);
      }
    });
  }
  ~OneFileServer() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
  }
  std::string url() const { return "http%3A%2F%2F127.0.0.1%3A" + std::to_string(port_) + "%2Fimage.img"; }

 private:
  std::string body_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace

TEST_F(RealPhone, AdbReportEqualsTheToolDoublesReportForTheSameOutputs) {
  auto [expected, double_calls] = complete_report_from_double();
  ASSERT_EQ(expected, e2e::read_file(report_fixture("complete/expected.json")));

  PhoneSim phone({"--profile", report_fixture("complete/adb.script")});
  ASSERT_TRUE(connect(phone));
  auto reply = bridge.get("/info");
  ASSERT_TRUE(actions_e2e::framed(reply)) << reply.raw;
  EXPECT_EQ(reply.body, expected);

  // The phone was asked the double's shell commands, in the same order.
  std::vector<std::string> shells;
  const std::string marker = " shell ";
  for (const auto& call : double_calls) {
    size_t at = call.find(marker);
    if (at != std::string::npos) shells.push_back("shell:" + call.substr(at + marker.size()));
  }
  ASSERT_GT(shells.size(), 15u);
  EXPECT_EQ(phone.journal(), shells);
}

// 200 KB of accounts through the real adb: more than the run's buffer and
// a pipe hold. The excess is dropped and the report stays whole.
TEST_F(RealPhone, AnAccountListLargerThanItsBufferLeavesTheReportWhole) {
  std::string script = e2e::read_file(report_fixture("complete/adb.script"));
  const std::string accounts = "match dumpsys account\nfile account.txt\n";
  ASSERT_NE(script.find(accounts), std::string::npos);
  script.replace(script.find(accounts), accounts.size(), accounts + "say \\n\nfill 200000\n");
  // File names in the profile are read beside it: name the fixtures' folder.
  for (size_t at = 0; (at = script.find("\nfile ", at)) != std::string::npos; at += 6) {
    script.insert(at + 6, report_fixture("complete") + "/");
  }
  const std::string profile = bridge.path("big-accounts.script");
  e2e::write_file(profile, script);
  PhoneSim phone({"--profile", profile});
  ASSERT_TRUE(connect(phone));
  auto reply = bridge.get("/info");
  ASSERT_TRUE(actions_e2e::framed(reply)) << reply.raw;
  EXPECT_EQ(reply.body, e2e::read_file(report_fixture("complete/expected.json")));
}

TEST_F(RealPhone, FastbootReportThroughATcpSerial) {
  PhoneSim phone({"--getvar", report_fixture("pixel-7-pro-getvar.txt")});
  ASSERT_GT(phone.port(), 0);
  std::string expected;
  {  // The same getvar text printed by the tool double.
    Bridge twin;
    e2e::write_file(twin.path("getvar.txt"), e2e::read_file(report_fixture("pixel-7-pro-getvar.txt")));
    twin.add_tool("adb", "match devices\nsay List of devices attached\\n\\n\n");
    twin.add_tool("fastboot", "match getvar all\nfile getvar.txt\n");
    ASSERT_TRUE(twin.start()) << twin.console();
    expected = twin.get("/info?serial=" + phone.tcp_serial()).body;
  }
  ASSERT_NE(expected.find("[\"Product / Model\",\"cheetah\"]"), std::string::npos) << expected;

  auto reply = bridge.get("/info?serial=" + phone.tcp_serial());
  ASSERT_TRUE(actions_e2e::framed(reply)) << reply.raw;
  EXPECT_EQ(reply.body, expected);
  EXPECT_EQ(phone.journal(), std::vector<std::string>{"getvar:all"});
}

TEST_F(RealPhone, FlashAndBootHandThePhoneExactlyTheUploadedBytes) {
  PhoneSim phone({});
  ASSERT_GT(phone.port(), 0);
  const std::string image = boot_image(5 * 1024 * 1024, 1);
  auto flash = upload("/flash?partition=boot&serial=" + phone.tcp_serial(), image);
  ASSERT_TRUE(actions_e2e::framed(flash)) << flash.raw;
  EXPECT_EQ(flash.body.rfind("{\"ok\":true,\"partition\":\"boot\",\"log\":\"", 0), 0u) << flash.body;
  EXPECT_TRUE(json_check::well_formed(flash.body));
  auto journal = phone.journal();
  ASSERT_GE(journal.size(), 2u);
  EXPECT_EQ(journal[journal.size() - 2], "download:00500000");
  EXPECT_EQ(journal.back(), "flash:boot");
  EXPECT_TRUE(phone.download(1) == image) << "the phone got " << phone.download(1).size() << " bytes";
  EXPECT_TRUE(no_temporary_image());

  const std::string kernel = boot_image(300 * 1024 + 7, 2);
  auto boot = upload("/boot?serial=" + phone.tcp_serial(), kernel);
  ASSERT_TRUE(actions_e2e::framed(boot)) << boot.raw;
  EXPECT_EQ(boot.body.rfind("{\"ok\":true,\"partition\":\"(boot)\",\"log\":\"", 0), 0u) << boot.body;
  EXPECT_EQ(phone.journal().back(), "boot");
  EXPECT_TRUE(phone.download(2) == kernel) << "the phone got " << phone.download(2).size() << " bytes";
  EXPECT_TRUE(no_temporary_image());
}

// Images made by Android's own image tools (Debian's mkbootimg and img2simg)
// through Debian's fastboot: a sparse boot image reaches the phone as it
// is, and each kind of boot image only its own partition.
TEST_F(RealPhone, ImagesMadeByTheAndroidToolsReachThePhoneOnTheirOwnPartitionOnly) {
  if (std::system("command -v mkbootimg >/dev/null && command -v img2simg >/dev/null") != 0) {
    GTEST_SKIP() << "mkbootimg and img2simg (Debian: mkbootimg, android-sdk-libsparse-utils) are not installed";
  }
  const std::string dir = bridge.path("images");
  fs::create_directories(dir);
  e2e::write_file(dir + "/kernel", boot_image(300 * 1024, 7).substr(8));
  e2e::write_file(dir + "/ramdisk", boot_image(20 * 1024, 8).substr(8));
  e2e::write_file(dir + "/dtb", boot_image(2 * 1024, 9).substr(8));
  const std::string make = "cd '" + dir +
                           "' && mkbootimg --kernel kernel --ramdisk ramdisk -o boot.img && img2simg boot.img "
                           "boot.simg && mkbootimg --header_version 3 --vendor_boot vendor_boot.img "
                           "--vendor_ramdisk ramdisk --dtb dtb >/dev/null";
  ASSERT_EQ(std::system(make.c_str()), 0) << make;
  const std::string sparse_boot = e2e::read_file(dir + "/boot.simg");
  const std::string vendor_boot = e2e::read_file(dir + "/vendor_boot.img");
  ASSERT_EQ(sparse_boot.compare(0, 4, "\x3a\xff\x26\xed"), 0);
  ASSERT_EQ(vendor_boot.compare(0, 8, "VNDRBOOT"), 0);

  PhoneSim phone({});
  ASSERT_GT(phone.port(), 0);
  const std::string serial = "&serial=" + phone.tcp_serial();
  auto flash = upload("/flash?partition=boot" + serial, sparse_boot);
  ASSERT_TRUE(actions_e2e::framed(flash)) << flash.raw;
  EXPECT_EQ(flash.body.rfind("{\"ok\":true,\"partition\":\"boot\",\"log\":\"", 0), 0u) << flash.body;
  EXPECT_EQ(phone.journal().back(), "flash:boot");
  EXPECT_TRUE(phone.download(1) == sparse_boot) << "the phone got " << phone.download(1).size() << " bytes";

  // A vendor_boot image for boot, and a boot image for vendor_boot: refused
  // before fastboot runs, so the phone hears nothing.
  const size_t heard = phone.journal().size();
  EXPECT_EQ(upload("/flash?partition=boot" + serial, vendor_boot).body,
            "{\"ok\":false,\"error\":\"Ye file vendor_boot image (VNDRBOOT) hai, magar boot partition ko boot image "
            "(ANDROID!) chahiye.\"}");
  EXPECT_EQ(upload("/flash?partition=vendor_boot" + serial, sparse_boot).body,
            "{\"ok\":false,\"error\":\"Ye file sparse boot image (ANDROID!) hai, magar vendor_boot partition ko "
            "vendor_boot image (VNDRBOOT) chahiye.\"}");
  EXPECT_EQ(phone.journal().size(), heard);
  EXPECT_FALSE(phone.has_download(2));

  auto vendor = upload("/flash?partition=vendor_boot" + serial, vendor_boot);
  EXPECT_EQ(vendor.body.rfind("{\"ok\":true,\"partition\":\"vendor_boot\"", 0), 0u) << vendor.body;
  EXPECT_EQ(phone.journal().back(), "flash:vendor_boot");
  EXPECT_TRUE(phone.download(2) == vendor_boot) << "the phone got " << phone.download(2).size() << " bytes";
  EXPECT_TRUE(no_temporary_image());
}

TEST_F(RealPhone, FlashFromAnAddressHandsThePhoneTheDownloadedBytes) {
  PhoneSim phone({});
  ASSERT_GT(phone.port(), 0);
  const std::string image = boot_image(700 * 1024 + 3, 3);
  OneFileServer server(image);
  auto reply = trusted_get(bridge, "/flashurl?partition=boot&serial=" + phone.tcp_serial() + "&u=" + server.url());
  ASSERT_TRUE(actions_e2e::framed(reply)) << reply.raw;
  EXPECT_EQ(reply.body.rfind("{\"ok\":true,\"partition\":\"boot\",\"log\":\"", 0), 0u) << reply.body;
  EXPECT_EQ(phone.journal().back(), "flash:boot");
  EXPECT_TRUE(phone.download(1) == image) << "the phone got " << phone.download(1).size() << " bytes";
  EXPECT_TRUE(no_temporary_image());
}

TEST_F(RealPhone, LockedBootloaderRefusalComesBackAsAFailure) {
  PhoneSim phone({"--flash-fail", "Flashing is not allowed in Lock State"});
  ASSERT_GT(phone.port(), 0);
  auto reply = upload("/flash?partition=boot&serial=" + phone.tcp_serial(), boot_image(64 * 1024, 3));
  ASSERT_TRUE(actions_e2e::framed(reply)) << reply.raw;
  EXPECT_EQ(reply.body.rfind("{\"ok\":false,\"partition\":\"boot\",\"log\":\"", 0), 0u) << reply.body;
  EXPECT_NE(reply.body.find("Flashing is not allowed in Lock State"), std::string::npos) << reply.body;
  EXPECT_EQ(phone.journal().back(), "flash:boot");
  EXPECT_TRUE(no_temporary_image());
}

TEST_F(RealPhone, AFailureAfterMoreOutputThanTheLogKeepsIsStillAFailure) {
  // 2,000 INFO lines (about 130 KB from fastboot) and then FAIL: fastboot's
  // FAILED line comes long after the 64 KiB the log keeps, and after its
  // OKAY for the download.
  PhoneSim phone({"--flash-info", "2000", "--flash-fail", "flash write failure"});
  ASSERT_GT(phone.port(), 0);
  auto reply = upload("/flash?partition=boot&serial=" + phone.tcp_serial(), boot_image(64 * 1024, 4));
  ASSERT_TRUE(actions_e2e::framed(reply)) << reply.raw;
  EXPECT_EQ(reply.body.rfind("{\"ok\":false,\"partition\":\"boot\",\"log\":\"", 0), 0u) << reply.body.substr(0, 200);
  EXPECT_TRUE(json_check::well_formed(reply.body));
  EXPECT_NE(reply.body.find("[... log yahan se kaata gaya: tool ne kul "), std::string::npos)
      << reply.body.substr(reply.body.size() - 300);
  EXPECT_EQ(phone.journal().back(), "flash:boot");
  EXPECT_TRUE(no_temporary_image());

  // The same amount of output ending in success is a success.
  PhoneSim talkative({"--flash-info", "2000"});
  ASSERT_GT(talkative.port(), 0);
  auto ok = upload("/flash?partition=boot&serial=" + talkative.tcp_serial(), boot_image(64 * 1024, 5));
  EXPECT_EQ(ok.body.rfind("{\"ok\":true,\"partition\":\"boot\",\"log\":\"", 0), 0u) << ok.body.substr(0, 200);
}

TEST_F(RealPhone, AWriteThatGoesQuietAfterALateStartIsNotCut) {
  // The phone answers 3 s late, so fastboot first prints its waiting line;
  // then the write itself says nothing for longer than the bound that
  // holds while fastboot waits for a phone (30 s), and succeeds.
  PhoneSim phone({"--listen-late", "3000", "--write-ms", "35000"});
  ASSERT_GT(phone.port(), 0);
  const std::string image = boot_image(256 * 1024, 6);
  auto reply = upload("/flash?partition=boot&serial=" + phone.tcp_serial(), image);
  ASSERT_TRUE(actions_e2e::framed(reply)) << reply.raw;
  EXPECT_EQ(reply.body.rfind("{\"ok\":true,\"partition\":\"boot\",\"log\":\"", 0), 0u) << reply.body;
  EXPECT_NE(reply.body.find("< waiting for " + phone.tcp_serial()), std::string::npos) << reply.body;
  EXPECT_EQ(phone.journal().back(), "flash:boot");
  EXPECT_TRUE(phone.download(1) == image);
  EXPECT_TRUE(no_temporary_image());
}

TEST_F(RealPhone, AFastbootRebootThePhoneNeverAnswersIsEndedAsAFailure) {
  PhoneSim phone({"--never-answer"});
  ASSERT_GT(phone.port(), 0);
  auto reply = trusted_get(bridge, "/reboot?to=fbsystem&serial=" + phone.tcp_serial());
  ASSERT_TRUE(actions_e2e::framed(reply)) << reply.raw;
  EXPECT_EQ(reply.body.rfind("{\"ok\":false,\"to\":\"fbsystem\",\"log\":\"", 0), 0u) << reply.body;
  EXPECT_NE(reply.body.find(" second baad rok diya (phone ya tool ne jawab nahi diya).\"}"), std::string::npos)
      << reply.body;
  ASSERT_FALSE(phone.journal().empty());
  EXPECT_EQ(phone.journal().back(), "reboot");
}

TEST_F(RealPhone, EveryRebootTargetReachesThePhoneAsItsServiceOrCommand) {
  PhoneSim phone({});
  ASSERT_TRUE(connect(phone));
  const std::vector<std::pair<std::string, std::string>> adb_targets = {{"system", "reboot:"},
                                                                        {"bootloader", "reboot:bootloader"},
                                                                        {"recovery", "reboot:recovery"},
                                                                        {"download", "reboot:download"}};
  for (const auto& [target, service] : adb_targets) {
    // Named by its serial, and as the single connected phone.
    for (const std::string& serial : {"&serial=" + phone.serial(), std::string()}) {
      size_t before = phone.journal().size();
      EXPECT_EQ(trusted_get(bridge, "/reboot?to=" + target + serial).body, "{\"ok\":true,\"to\":\"" + target + "\"}");
      EXPECT_EQ(phone.journal_since(before), std::vector<std::string>{service}) << target << serial;
    }
  }
  const std::vector<std::pair<std::string, std::string>> fastboot_targets = {
      {"fbsystem", "reboot"}, {"fbbootloader", "reboot-bootloader"}, {"fastbootd", "reboot-fastboot"}};
  for (const auto& [target, command] : fastboot_targets) {
    size_t before = phone.journal().size();
    EXPECT_EQ(trusted_get(bridge, "/reboot?to=" + target + "&serial=" + phone.tcp_serial()).body,
              "{\"ok\":true,\"to\":\"" + target + "\"}");
    auto seen = phone.journal_since(before);
    ASSERT_FALSE(seen.empty()) << target;
    EXPECT_EQ(seen.front(), command);
  }
}

TEST_F(RealPhone, WifiConnectReachesASecondPhoneThatAdbThenLists) {
  PhoneSim first({});
  PhoneSim second({});
  ASSERT_TRUE(connect(first));
  ASSERT_GT(second.port(), 0);
  auto reply = trusted_get(bridge, "/wifi-connect?ip=127.0.0.1&port=" + std::to_string(second.port()));
  ASSERT_TRUE(actions_e2e::framed(reply)) << reply.raw;
  EXPECT_EQ(reply.body.rfind("{\"ok\":true,", 0), 0u) << reply.body;
  EXPECT_NE(adb("devices").find(second.serial() + "\tdevice"), std::string::npos) << adb("devices");
  // Both phones, in whatever order adb lists them.
  auto devices = bridge.get("/devices").body;
  EXPECT_TRUE(json_check::well_formed(devices)) << devices;
  EXPECT_EQ(devices.rfind("{\"ok\":true,\"devices\":[{", 0), 0u) << devices;
  for (const PhoneSim* phone : {&first, &second}) {
    EXPECT_NE(devices.find("{\"serial\":\"" + phone->serial() + "\",\"mode\":\"ADB\",\"state\":\"device\"}"),
              std::string::npos)
        << devices;
  }
}

TEST_F(RealPhone, PhoneThatVanishesMidReportGivesAShorterReport) {
  const std::string full = e2e::read_file(report_fixture("complete/expected.json"));
  PhoneSim phone({"--profile", report_fixture("complete/adb.script"), "--drop-after", "4"});
  ASSERT_TRUE(connect(phone));
  auto reply = bridge.get("/info");
  ASSERT_TRUE(actions_e2e::framed(reply)) << reply.raw;
  EXPECT_TRUE(json_check::well_formed(reply.body)) << reply.body;
  EXPECT_EQ(reply.body.rfind("{\"ok\":true,\"mode\":\"ADB\",\"fields\":[", 0), 0u) << reply.body;
  EXPECT_LT(reply.body.size(), full.size()) << reply.body;
  // What getprop gave is still there, and adb's complaints are no values.
  EXPECT_NE(reply.body.find("[\"Model\",\"SM-S918B\"]"), std::string::npos) << reply.body;
  EXPECT_EQ(reply.body.find("error:"), std::string::npos) << reply.body;
  auto journal = phone.journal();
  ASSERT_EQ(journal.size(), 5u);
  EXPECT_EQ(journal.back().rfind("(dropped) shell:", 0), 0u) << journal.back();
  // The bridge serves again.
  EXPECT_EQ(bridge.get("/ping").status_line, "HTTP/1.1 200 OK");
}

TEST_F(RealPhone, NoPhoneGetsTheNoPhoneBodyOfEachMode) {
  EXPECT_EQ(bridge.get("/info").body, kNoPhone);
  EXPECT_EQ(bridge.get("/devices").body, "{\"ok\":true,\"devices\":[]}");
  EXPECT_EQ(trusted_get(bridge, "/reboot?to=recovery").body, kNoAdbPhone);
  EXPECT_EQ(trusted_get(bridge, "/reboot").body, kNoAdbPhone);
  EXPECT_EQ(trusted_get(bridge, "/reboot?to=fbsystem").body, kNoFastbootPhone);
  // Uploads are refused before fastboot could wait for a phone.
  EXPECT_EQ(upload("/flash?partition=boot", boot_image(256 * 1024, 4)).body, kNoFastbootPhone);
  EXPECT_EQ(upload("/boot", boot_image(4096, 5)).body, kNoFastbootPhone);
  EXPECT_TRUE(no_temporary_image());
}

TEST_F(RealPhone, TwoPhonesWantAChoiceAndTheChosenOneAloneActs) {
  const std::string profiles = bridge.path("profiles");
  fs::create_directories(profiles);
  e2e::write_file(profiles + "/alpha.script", "match shell getprop\nsay [ro.product.model]: [Alpha]\\n\n");
  e2e::write_file(profiles + "/beta.script", "match shell getprop\nsay [ro.product.model]: [Beta]\\n\n");
  PhoneSim alpha({"--profile", profiles + "/alpha.script"});
  PhoneSim beta({"--profile", profiles + "/beta.script"});
  ASSERT_TRUE(connect(alpha));
  ASSERT_TRUE(connect(beta));

  EXPECT_EQ(trusted_get(bridge, "/reboot").body, kManyPhones);
  EXPECT_EQ(trusted_get(bridge, "/reboot?to=recovery").body, kManyPhones);
  EXPECT_TRUE(alpha.journal().empty());
  EXPECT_TRUE(beta.journal().empty());

  EXPECT_EQ(trusted_get(bridge, "/reboot?serial=" + beta.serial()).body, "{\"ok\":true,\"to\":\"system\"}");
  EXPECT_EQ(beta.journal(), std::vector<std::string>{"reboot:"});
  EXPECT_TRUE(alpha.journal().empty());

  auto report = bridge.get("/info?serial=" + beta.serial()).body;
  EXPECT_NE(report.find("[\"Model\",\"Beta\"]"), std::string::npos) << report;
  EXPECT_TRUE(alpha.journal().empty());
}

TEST_F(RealPhone, AndroidSerialOfTheBridgeChoosesThePhoneWhenTheQueryDoesNot) {
  // How scripts/demo.sh --fastboot wires the bridge to a phone fastboot cannot list.
  PhoneSim phone({"--getvar", report_fixture("pixel-7-pro-getvar.txt")});
  ASSERT_GT(phone.port(), 0);
  bridge.stop();
  bridge.set_env("ANDROID_SERIAL", phone.tcp_serial());
  ASSERT_TRUE(bridge.start()) << bridge.console();
  auto report = bridge.get("/info").body;
  EXPECT_EQ(report.rfind("{\"ok\":true,\"mode\":\"Fastboot\",\"fields\":[[\"Product / Model\",\"cheetah\"]", 0), 0u)
      << report;
  EXPECT_EQ(trusted_get(bridge, "/reboot?to=fbbootloader").body, "{\"ok\":true,\"to\":\"fbbootloader\"}");
  EXPECT_EQ(phone.journal(), (std::vector<std::string>{"getvar:all", "reboot-bootloader"}));
}

// fastboot never lists a phone on the network: /devices asks the one the
// bridge's ANDROID_SERIAL names, as scripts/demo.sh --fastboot sets it.
TEST_F(RealPhone, DevicesListsTheNetworkFastbootPhoneThatAndroidSerialNames) {
  PhoneSim phone({"--getvar", report_fixture("pixel-7-pro-getvar.txt")});
  ASSERT_GT(phone.port(), 0);
  bridge.stop();
  bridge.set_env("ANDROID_SERIAL", phone.tcp_serial());
  ASSERT_TRUE(bridge.start()) << bridge.console();
  EXPECT_EQ(bridge.get("/devices").body, "{\"ok\":true,\"devices\":[{\"serial\":\"" + phone.tcp_serial() +
                                             "\",\"mode\":\"Fastboot\",\"state\":\"fastboot\"}]}");
  EXPECT_EQ(phone.journal(), (std::vector<std::string>{"getvar:product"}));

  // No phone at that address: nothing listed, and the answer still comes.
  bridge.stop();
  bridge.set_env("ANDROID_SERIAL", "tcp:127.0.0.1:1");
  ASSERT_TRUE(bridge.start()) << bridge.console();
  EXPECT_EQ(bridge.get("/devices").body, "{\"ok\":true,\"devices\":[]}");
}

// The doctor through the real adb. The bridge reads an empty USB tree, so
// what this machine has on USB plays no part.
class RealPhoneDoctor : public RealPhone {
 protected:
  void SetUp() override {
    RealPhone::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    bridge.stop();
    fs::create_directories(bridge.path("usb/sys/bus/usb/devices"));
    bridge.set_env("TALVIK_USB_ROOT", bridge.path("usb"));
    ASSERT_TRUE(bridge.start()) << bridge.console();
  }
  // The first finding of /doctor, up to its text.
  static std::string finding(const std::string& code, const std::string& serial) {
    return "{\"ok\":true,\"findings\":[{\"code\":\"" + code + "\",\"serial\":\"" + serial +
           "\",\"mode\":\"ADB\",\"text\":\"";
  }
};

// The network Fastboot phone that answers the real fastboot is a phone seen:
// the doctor finds nothing to tell. With nothing at the address it says
// that no phone is seen.
TEST_F(RealPhoneDoctor, TheNetworkFastbootPhoneThatAnswersIsNoCaseForTheDoctor) {
  PhoneSim phone({"--getvar", report_fixture("pixel-7-pro-getvar.txt")});
  ASSERT_GT(phone.port(), 0);
  bridge.stop();
  bridge.set_env("ANDROID_SERIAL", phone.tcp_serial());
  ASSERT_TRUE(bridge.start()) << bridge.console();
  EXPECT_EQ(bridge.get("/doctor").body, "{\"ok\":true,\"findings\":[]}");
  EXPECT_EQ(phone.journal(), (std::vector<std::string>{"getvar:product"}));

  bridge.stop();
  bridge.set_env("ANDROID_SERIAL", "tcp:127.0.0.1:1");
  ASSERT_TRUE(bridge.start()) << bridge.console();
  EXPECT_NE(bridge.get("/doctor").body.find("\"code\":\"none_seen\""), std::string::npos);
}

TEST_F(RealPhoneDoctor, AnUnauthorizedPhoneIsNamedAndTheReadyOneStillActs) {
  PhoneSim ready({});
  PhoneSim waiting({"--unauthorized"});
  ASSERT_TRUE(connect(ready));
  // adb cannot authenticate and lists the phone as waiting for "Allow".
  EXPECT_NE(adb("connect " + waiting.serial()).find("failed to authenticate"), std::string::npos);

  const std::string doctor = bridge.get("/doctor").body;
  EXPECT_EQ(doctor.rfind(finding("adb_unauthorized", waiting.serial()), 0), 0u) << doctor;
  EXPECT_EQ(doctor.find("\"code\"", 10), doctor.rfind("\"code\"")) << "one finding only: " << doctor;
  EXPECT_TRUE(json_check::Reader(doctor.data(), doctor.size()).whole_value()) << doctor;

  // Naming no phone, the ready one is the only choice.
  EXPECT_EQ(bridge.get("/info").body.rfind("{\"ok\":true,\"mode\":\"ADB\"", 0), 0u);
  EXPECT_EQ(trusted_get(bridge, "/reboot").body, "{\"ok\":true,\"to\":\"system\"}");
  EXPECT_EQ(ready.journal().back(), "reboot:");
  EXPECT_TRUE(waiting.journal().empty());
}

TEST_F(RealPhoneDoctor, APhoneInRecoveryIsNamed) {
  PhoneSim recovery({"--state", "recovery"});
  ASSERT_TRUE(connect(recovery));
  const std::string doctor = bridge.get("/doctor").body;
  EXPECT_EQ(doctor.rfind(finding("adb_other_mode", recovery.serial()), 0), 0u) << doctor;
  // The acting routes keep their no-phone words.
  EXPECT_EQ(trusted_get(bridge, "/reboot").body, kNoAdbPhone);
}

TEST_F(RealPhoneDoctor, NoPhoneAtAllIsNoneSeen) {
  const std::string doctor = bridge.get("/doctor").body;
  EXPECT_EQ(doctor.rfind("{\"ok\":true,\"findings\":[{\"code\":\"none_seen\",\"text\":\"", 0), 0u) << doctor;
}

// ---- Progress while a flash runs (Accept: application/x-ndjson) -----------

namespace {

constexpr char ndjson_accept[] = "Accept: application/x-ndjson\r\n";

// `size` random bytes: no image header, so fastboot sends it in sparse
// parts when it is larger than the phone's max-download-size.
std::string raw_image(size_t size, unsigned seed) {
  std::string bytes;
  std::mt19937 gen(seed);
  while (bytes.size() < size) bytes += static_cast<char>(gen() & 0xFF);
  return bytes;
}

std::vector<std::string> lines_of(const std::string& body) {
  std::vector<std::string> lines;
  std::istringstream in(body);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A flash log without fastboot's timings, which differ from run to run.
std::string without_timings(std::string text) {
  for (const std::string open : {"[ ", "time: "}) {
    for (size_t at = text.find(open); at != std::string::npos; at = text.find(open, at + 1)) {
      size_t end = at + open.size();
      while (end < text.size() && (text[end] == ' ' || text[end] == '.' || (text[end] >= '0' && text[end] <= '9'))) {
        ++end;
      }
      text.replace(at + open.size(), end - at - open.size(), "T");
    }
  }
  return text;
}

// The phone's parts put back together (simg2img); "" when that fails.
std::string reassembled(const PhoneSim& phone, int parts, const std::string& dir) {
  fs::create_directories(dir);
  std::string command = "simg2img";
  for (int n = 1; n <= parts; ++n) {
    const std::string part = dir + "/part-" + std::to_string(n);
    e2e::write_file(part, phone.download(n));
    command += " '" + part + "'";
  }
  command += " '" + dir + "/whole' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return "";
  return e2e::read_file(dir + "/whole");
}

}  // namespace

TEST_F(RealPhone, AStreamedFlashTellsEachPartAsItGoesAndEndsWithTheSameBody) {
  if (std::system("command -v simg2img >/dev/null") != 0) GTEST_SKIP() << "simg2img is not installed";
  // A 1 MiB max-download-size: a 3 MiB raw image goes in four parts.
  PhoneSim phone({"--max-download-size", "1048576", "--receive-kbps", "8192"});
  ASSERT_GT(phone.port(), 0);
  const std::string image = raw_image(3 * 1024 * 1024, 11);
  const std::string target = "/flash?partition=system&serial=" + phone.tcp_serial();
  const std::string head = actions_e2e::trusted_head(
      bridge, "POST " + target,
      std::string(ndjson_accept) +
          "Content-Type: application/octet-stream\r\nContent-Length: " + std::to_string(image.size()) + "\r\n");
  const e2e::Reply streamed = bridge.request(head + image);
  ASSERT_EQ(streamed.status_line, "HTTP/1.1 200 OK") << streamed.raw.substr(0, 300);
  EXPECT_EQ(streamed.header("Content-Type"), "application/x-ndjson");
  EXPECT_EQ(streamed.header("Content-Length"), "");
  EXPECT_EQ(streamed.header("Access-Control-Allow-Origin"), actions_e2e::page_origin);

  const auto lines = lines_of(streamed.body);
  ASSERT_GE(lines.size(), 3u) << streamed.body;
  for (const auto& line : lines) EXPECT_TRUE(json_check::well_formed(line)) << line;
  EXPECT_EQ(lines[0], "{\"stage\":\"received\",\"bytes\":3145728}");
  EXPECT_EQ(lines[1], "{\"stage\":\"preparing\",\"quiet_s\":0}");
  // Each part is sent, then written, in order; no progress line says "ok".
  std::vector<std::string> steps;
  for (size_t i = 2; i + 1 < lines.size(); ++i) {
    EXPECT_EQ(lines[i].find("\"ok\""), std::string::npos) << lines[i];
    for (int n = 1; n <= 4; ++n) {
      const std::string part = "\"part\":" + std::to_string(n) + ",\"parts\":4";
      if (lines[i].find("{\"stage\":\"sending\"," + part) == 0) steps.push_back("send " + std::to_string(n));
      if (lines[i] == "{\"stage\":\"writing\"," + part + ",\"quiet_s\":0}")
        steps.push_back("write " + std::to_string(n));
    }
  }
  EXPECT_EQ(steps, (std::vector<std::string>{"send 1", "write 1", "send 2", "write 2", "send 3", "write 3", "send 4",
                                             "write 4"}));
  EXPECT_EQ(streamed.body.back(), '\n');
  EXPECT_TRUE(phone.has_download(4) && !phone.has_download(5));
  EXPECT_TRUE(reassembled(phone, 4, bridge.path("parts")) == image) << "the phone did not get the image whole";

  // The last line is the body a plain request for the same flash gets.
  PhoneSim twin({"--max-download-size", "1048576"});
  ASSERT_GT(twin.port(), 0);
  const e2e::Reply plain = upload("/flash?partition=system&serial=" + twin.tcp_serial(), image);
  ASSERT_TRUE(actions_e2e::framed(plain)) << plain.raw.substr(0, 300);
  EXPECT_EQ(plain.body.rfind("{\"ok\":true,\"partition\":\"system\",\"log\":\"", 0), 0u) << plain.body;
  EXPECT_EQ(without_timings(lines.back()), without_timings(plain.body));
  EXPECT_TRUE(no_temporary_image());
}

TEST_F(RealPhone, APageThatGoesAwayMidFlashDoesNotStopTheFlash) {
  // 2 MiB at 512 KiB/s: about four seconds of sending after the page left.
  PhoneSim phone({"--receive-kbps", "512"});
  ASSERT_GT(phone.port(), 0);
  const std::string image = boot_image(2 * 1024 * 1024, 12);
  const std::string head = actions_e2e::trusted_head(
      bridge, "POST /flash?partition=boot&serial=" + phone.tcp_serial(),
      std::string(ndjson_accept) +
          "Content-Type: application/octet-stream\r\nContent-Length: " + std::to_string(image.size()) + "\r\n");
  const int fd = e2e::connect_loopback(bridge.port());
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(e2e::send_bytes(fd, head + image));
  // Wait for the "sending" line, then go away.
  std::string seen;
  char buf[4096];
  pollfd p{fd, POLLIN, 0};
  for (int waited = 0; seen.find("\"stage\":\"sending\"") == std::string::npos && waited < 60000; waited += 100) {
    if (::poll(&p, 1, 100) > 0) {
      const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      seen.append(buf, static_cast<size_t>(n));
    }
  }
  ::close(fd);
  ASSERT_NE(seen.find("\"stage\":\"sending\""), std::string::npos) << seen;
  ASSERT_EQ(seen.find("{\"ok\":"), std::string::npos) << "the flash ended before the page went away: " << seen;

  // The flash goes on to its end, and the bridge serves the next request.
  bool flashed = false;
  for (int waited = 0; !flashed && waited < 120000; waited += 200) {
    const auto journal = phone.journal();
    flashed = !journal.empty() && journal.back() == "flash:boot";
    if (!flashed) std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  ASSERT_TRUE(flashed) << "the phone was never told to write";
  EXPECT_TRUE(phone.download(1) == image) << "the phone got " << phone.download(1).size() << " bytes";
  EXPECT_EQ(bridge.get("/ping").status_line, "HTTP/1.1 200 OK");
  EXPECT_TRUE(no_temporary_image());
}

TEST_F(RealPhone, WithoutTheOptInAFlashRepliesAsAlways) {
  PhoneSim phone({"--max-download-size", "1048576"});
  ASSERT_GT(phone.port(), 0);
  const auto reply = upload("/flash?partition=system&serial=" + phone.tcp_serial(), raw_image(2 * 1024 * 1024, 13));
  ASSERT_TRUE(actions_e2e::framed(reply)) << reply.raw.substr(0, 300);
  EXPECT_EQ(reply.header("Content-Type"), "application/json");
  EXPECT_EQ(reply.body.find('\n'), std::string::npos);
  EXPECT_EQ(reply.body.rfind("{\"ok\":true,", 0), 0u) << reply.body;
}

namespace {

// Serves one image: the head (with its Content-Length) and the first half
// at once, the rest once released, or, with `cut`, nothing more (the
// connection closes short of its length).
class HalfThenRestServer {
 public:
  HalfThenRestServer(std::string body, bool cut) : body_(std::move(body)), cut_(cut) {
    listener_ = e2e::listen_loopback(0, 8, &port_);
    thread_ = std::thread([this] {
      pollfd p{listener_, POLLIN, 0};
      if (::poll(&p, 1, 60000) <= 0) return;
      const int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) return;
      char head[4096];
      (void)::recv(fd, head, sizeof head, 0);
      const size_t half = body_.size() / 2;
      e2e::send_bytes(fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body_.size()) +
                              "\r\nConnection: close\r\n\r\n" + body_.substr(0, half));
      for (int waited = 0; !released_ && waited < 60000; waited += 10) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      if (!cut_) e2e::send_bytes(fd, body_.substr(half));
      ::close(fd);
    });
  }
  ~HalfThenRestServer() {
    released_ = true;
    thread_.join();
    ::close(listener_);
  }
  void release() { released_ = true; }
  std::string url() const { return "http%3A%2F%2F127.0.0.1%3A" + std::to_string(port_) + "%2Fimage.img"; }

 private:
  std::string body_;
  bool cut_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> released_{false};
  std::thread thread_;
};

// Sends a streamed URL flash; once a download line tells some bytes (curl
// writes in blocks, so not every byte the server sent) of `total`, calls
// `then`; returns the whole reply's body and whether that line came.
std::pair<std::string, bool> url_flash_seeing(Bridge& bridge, const std::string& target, size_t total,
                                              const std::function<void()>& then) {
  const int fd = e2e::connect_loopback(bridge.port());
  if (fd < 0) return {"", false};
  e2e::send_bytes(fd, actions_e2e::trusted_head(bridge, "GET " + target, ndjson_accept));
  const std::string opening = "{\"stage\":\"download\",\"bytes\":";
  const std::string of_total = ",\"total\":" + std::to_string(total) + ",";
  std::string got;
  bool seen = false;
  char buf[65536];
  pollfd p{fd, POLLIN, 0};
  for (int waited = 0; waited < 120000;) {
    if (::poll(&p, 1, 100) <= 0) {
      waited += 100;
      continue;
    }
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    got.append(buf, static_cast<size_t>(n));
    for (size_t at = got.find(opening); !seen && at != std::string::npos; at = got.find(opening, at + 1)) {
      const size_t end = got.find('\n', at);
      const std::string line = got.substr(at, end == std::string::npos ? std::string::npos : end - at);
      if (line.find(of_total) != std::string::npos && std::atoll(line.c_str() + opening.size()) > 0) {
        seen = true;
        then();
      }
    }
  }
  ::close(fd);
  return {e2e::parse_reply(got).body, seen};
}

}  // namespace

TEST_F(RealPhone, AStreamedUrlFlashTellsTheBytesRisingToTheTotal) {
  PhoneSim phone({});
  ASSERT_GT(phone.port(), 0);
  const std::string image = boot_image(1024 * 1024, 14);
  HalfThenRestServer server(image, false);
  const auto [body, halfway] =
      url_flash_seeing(bridge, "/flashurl?partition=boot&serial=" + phone.tcp_serial() + "&u=" + server.url(),
                       image.size(), [&] { server.release(); });
  EXPECT_TRUE(halfway) << "no line told half of the bytes with their total: " << body;
  const auto lines = lines_of(body);
  ASSERT_GE(lines.size(), 3u) << body;
  EXPECT_EQ(lines[0], "{\"stage\":\"download\",\"bytes\":0,\"total\":null,\"quiet_s\":0}");
  long long last = 0;
  for (const auto& line : lines) {
    EXPECT_TRUE(json_check::well_formed(line)) << line;
    const size_t at = line.find("\"stage\":\"download\",\"bytes\":");
    if (at == std::string::npos) continue;
    const long long bytes = std::atoll(line.c_str() + at + 27);
    EXPECT_GE(bytes, last) << line;
    last = bytes;
  }
  EXPECT_NE(body.find("{\"stage\":\"received\",\"bytes\":1048576}"), std::string::npos) << body;
  EXPECT_EQ(lines.back().rfind("{\"ok\":true,\"partition\":\"boot\",\"log\":\"", 0), 0u) << lines.back();
  EXPECT_EQ(lines.back().find("HTTP/1.1"), std::string::npos) << "the reply head stays out of the log";
  EXPECT_TRUE(phone.download(1) == image);
  EXPECT_TRUE(no_temporary_image());
}

TEST_F(RealPhone, AStreamedUrlFlashCutShortIsAFailureWithCurlsErrorLine) {
  PhoneSim phone({});
  ASSERT_GT(phone.port(), 0);
  const std::string image = boot_image(1024 * 1024, 15);
  HalfThenRestServer server(image, true);
  const auto [body, halfway] =
      url_flash_seeing(bridge, "/flashurl?partition=boot&serial=" + phone.tcp_serial() + "&u=" + server.url(),
                       image.size(), [&] { server.release(); });
  EXPECT_TRUE(halfway) << body;
  const auto lines = lines_of(body);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().rfind("{\"ok\":false,", 0), 0u) << lines.back();
  EXPECT_NE(lines.back().find("curl: (18)"), std::string::npos) << lines.back();
  EXPECT_EQ(lines.back().find("HTTP/1.1"), std::string::npos) << lines.back();
  EXPECT_TRUE(phone.journal().empty() || phone.journal().back() != "flash:boot");
  EXPECT_TRUE(no_temporary_image());
}
