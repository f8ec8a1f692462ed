// When no phone is seen: the flashing routes name a fastboot that could not
// be had, and GET /doctor says why no phone is seen and what to do.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "tests/e2e/actions_client.h"
#include "tests/e2e/bridge_harness.h"

namespace fs = std::filesystem;
using actions_e2e::framed;
using actions_e2e::upload_head;
using e2e::Bridge;
using Codes = std::vector<std::string>;

namespace {

constexpr char reboot_fastboot_missing[] =
    "{\"ok\":false,\"error\":\"fastboot nahi mila. Pehla flash ise khud download kar leta hai, ya platform-tools "
    "bridge ke folder mein rakhein.\"}";
constexpr char fastboot_missing[] =
    "{\"ok\":false,\"error\":\"fastboot nahi mila aur download bhi nahi ho saka. Internet check karein, ya "
    "platform-tools bridge ke folder mein rakhein.\"}";

// The finding codes of a /doctor body, in order.
Codes codes_of(const std::string& body) {
  Codes out;
  const std::regex code("\"code\":\"([a-z_]+)\"");
  for (std::sregex_iterator it(body.begin(), body.end(), code), end; it != end; ++it) out.push_back((*it)[1]);
  return out;
}

// No fastboot anywhere and a downloader that fails as it would offline:
// PowerShell beside the bridge under Wine (found first for the bare word),
// curl and unzip in bin/, the only folder of its PATH, on Linux (so neither
// the system's fastboot nor its adb is found).
void fastboot_cannot_be_had(Bridge& bridge) {
  if (e2e::under_wine()) {
    bridge.add_tool("powershell", "say Invoke-WebRequest : The remote name could not be resolved: 'dl.google.com'\n");
    return;
  }
  fs::create_directories(bridge.path("bin"));
  bridge.add_tool("curl", "say curl: (6) Could not resolve host: dl.google.com\nexit 6\n", "bin");
  bridge.add_tool("unzip", "say unzip:  cannot find or open pt.zip\nexit 9\n", "bin");
  bridge.set_env("PATH", bridge.path("bin"));
}

std::vector<std::string> downloads(const Bridge& bridge) {
  return e2e::under_wine() ? bridge.tool_calls("powershell") : bridge.tool_calls("curl", "bin");
}

// A made-up USB tree for the Linux bridge: TALVIK_USB_ROOT stands for "/".
void usb_tree(Bridge& bridge, const std::vector<std::pair<std::string, std::string>>& devices) {
  const std::string root = bridge.path("usb");
  fs::create_directories(root + "/sys/bus/usb/devices");
  for (const auto& [name, ids] : devices) {
    fs::create_directories(root + "/sys/bus/usb/devices/" + name);
    e2e::write_file(root + "/sys/bus/usb/devices/" + name + "/idVendor", ids.substr(0, 4) + "\n");
    e2e::write_file(root + "/sys/bus/usb/devices/" + name + "/idProduct", ids.substr(5, 4) + "\n");
  }
  bridge.set_env("TALVIK_USB_ROOT", root);
}

// An interface of a device in that tree, with its class (subclass and
// protocol 00).
void interface(Bridge& bridge, const std::string& name, const std::string& usb_class) {
  const std::string dir = bridge.path("usb") + "/sys/bus/usb/devices/" + name;
  fs::create_directories(dir);
  e2e::write_file(dir + "/bInterfaceClass", usb_class + "\n");
  e2e::write_file(dir + "/bInterfaceSubClass", "00\n");
  e2e::write_file(dir + "/bInterfaceProtocol", "00\n");
}

}  // namespace

TEST(FastbootMissing, EveryFlashingRouteSaysSoAndTheDoctorToo) {
  Bridge bridge;
  fastboot_cannot_be_had(bridge);
  ASSERT_TRUE(bridge.start()) << bridge.console();

  EXPECT_EQ(bridge.request(upload_head(bridge, "/flash?partition=boot", "8") + "ANDROID!").body, fastboot_missing);
  // A large body nobody reads is drained, so the refusal reaches the client.
  const std::string big(4 << 20, 'z');
  auto boot = bridge.request(upload_head(bridge, "/boot", std::to_string(big.size())) + big);
  EXPECT_TRUE(framed(boot));
  EXPECT_EQ(boot.body, fastboot_missing);
  auto url = actions_e2e::trusted_get(bridge, "/flashurl?partition=boot&u=https%3A%2F%2Fexample.com%2Fboot.img");
  EXPECT_EQ(url.body, fastboot_missing);
  // A reboot never downloads: it says how fastboot comes, for any phone.
  for (const char* target : {"/reboot?to=fbsystem", "/reboot?to=fastbootd&serial=tcp:127.0.0.1:1"}) {
    EXPECT_EQ(actions_e2e::trusted_get(bridge, target).body, reboot_fastboot_missing) << target;
  }

  // Each request tried the archive again; the image itself was never fetched.
  const auto calls = downloads(bridge);
  EXPECT_EQ(calls.size(), 3u);
  for (const std::string& call : calls) EXPECT_NE(call.find("platform-tools-latest"), std::string::npos) << call;
  EXPECT_FALSE(e2e::file_exists(actions_e2e::image_path_on_disk(bridge)));

  // The doctor names the failed download and runs no download itself.
  auto doctor = bridge.get("/doctor");
  EXPECT_TRUE(framed(doctor));
  const Codes codes = codes_of(doctor.body);
  EXPECT_NE(std::find(codes.begin(), codes.end(), "fastboot_missing"), codes.end()) << doctor.body;
  EXPECT_NE(doctor.body.find("{\"code\":\"fastboot_missing\",\"mode\":\"Fastboot\",\"text\":\"fastboot nahi mila aur "
                             "uska download bhi nahi ho saka."),
            std::string::npos)
      << doctor.body;
  EXPECT_EQ(downloads(bridge).size(), 3u);
}

TEST(FastbootMissing, FetchLinesWithNoConsoleReaderCostNoReply) {
  Bridge bridge;
  fastboot_cannot_be_had(bridge);
  ASSERT_TRUE(bridge.start()) << bridge.console();
  // As after "run.sh | tee log" when tee has ended: the download's console
  // lines go to a pipe nobody reads.
  bridge.close_console();
  EXPECT_EQ(bridge.request(upload_head(bridge, "/flash?partition=boot", "8") + "ANDROID!", 60000).body,
            fastboot_missing);
  EXPECT_EQ(downloads(bridge).size(), 1u);
  EXPECT_NE(bridge.get("/ping").body.find("\"ok\":true"), std::string::npos);
  EXPECT_TRUE(bridge.running());
}

TEST(FastbootMissing, ToolFilesThatCannotReallyRunCountAsMissing) {
  // Files of the tools' names with their run bit that are no working
  // program: a half-copied (zero-filled) file, a text, a Windows program on
  // Linux, a cut Linux program that starts and crashes.
  std::vector<std::pair<std::string, std::string>> files = {{"zero-filled", std::string(65536, '\0')},
                                                            {"text", "echo List of devices attached\n"}};
  if (!e2e::under_wine()) {
    files.emplace_back("pe", "MZ" + std::string(4094, '\0'));
    files.emplace_back("cut", e2e::read_file(e2e::test_program("tool_double")).substr(0, 8192));
  }
  for (const auto& [kind, bytes] : files) {
    SCOPED_TRACE(kind);
    Bridge bridge;
    for (const char* tool : {"adb", "fastboot"}) {
      const std::string file = bridge.path(tool + e2e::exe_suffix());
      e2e::write_file(file, bytes);
      fs::permissions(file, fs::perms::owner_all);
    }
    if (!e2e::under_wine()) usb_tree(bridge, {});
    ASSERT_TRUE(bridge.start()) << bridge.console();
    EXPECT_EQ(bridge.request(upload_head(bridge, "/boot", "8") + "ANDROID!").body, fastboot_missing);
    EXPECT_FALSE(e2e::file_exists(actions_e2e::image_path_on_disk(bridge)));
    const std::string doctor = bridge.get("/doctor").body;
    EXPECT_EQ(codes_of(doctor), (Codes{"adb_missing", "fastboot_missing"})) << doctor;
    EXPECT_NE(doctor.find("\"text\":\"fastboot ki file mili magar chal nahi saki"), std::string::npos) << doctor;
    // A file that is there needs no download.
    EXPECT_EQ(bridge.console().find("laa raha hoon"), std::string::npos) << bridge.console();
  }
}

TEST(Doctor, ListedStatesComeInOrderAndNothingIsDownloaded) {
  Bridge bridge;
  for (const char* name : {"adb-devices-unauthorized.txt", "fastboot-devices-no-permissions.txt"}) {
    e2e::write_file(bridge.path(name), e2e::read_file(e2e::fixtures_dir() + "/doctor/" + name));
  }
  bridge.add_tool("adb", "match devices\nfile adb-devices-unauthorized.txt\n");
  bridge.add_tool("fastboot", "match devices\nfile fastboot-devices-no-permissions.txt\n");
  if (!e2e::under_wine()) usb_tree(bridge, {});
  ASSERT_TRUE(bridge.start()) << bridge.console();

  auto reply = bridge.get("/doctor");
  EXPECT_TRUE(framed(reply));
  EXPECT_EQ(codes_of(reply.body), (Codes{"fastboot_no_permissions", "adb_unauthorized"})) << reply.body;
  // fastboot's "no permissions; see [...]" is no serial to repeat.
  EXPECT_EQ(reply.body.find("see ["), std::string::npos) << reply.body;
  EXPECT_NE(reply.body.find("{\"code\":\"adb_unauthorized\",\"serial\":\"8XV5000A20007972\",\"mode\":\"ADB\","),
            std::string::npos)
      << reply.body;
  EXPECT_EQ(bridge.tool_calls("adb"), std::vector<std::string>{"devices"});
  EXPECT_EQ(bridge.tool_calls("fastboot"), std::vector<std::string>{"devices"});
}

TEST(Doctor, NoListedPhoneIsExplainedByTheUsbList) {
  if (e2e::under_wine()) GTEST_SKIP() << "the made-up USB tree is read by the Linux bridge only";
  Bridge bridge;
  bridge.add_tool("adb", "match devices\nsay List of devices attached\\n\\n\n");
  bridge.add_tool("fastboot", "match devices\n");
  // A Linux root hub, Intel Bluetooth and a Xiaomi phone without ADB.
  usb_tree(bridge, {{"usb1", "1d6b:0002"}, {"1-4", "8087:0026"}, {"1-1", "2717:ff48"}});
  interface(bridge, "1-1:1.0", "06");
  ASSERT_TRUE(bridge.start()) << bridge.console();
  auto reply = bridge.get("/doctor");
  EXPECT_EQ(codes_of(reply.body), Codes{"usb_debugging_off"}) << reply.body;
  EXPECT_NE(reply.body.find("{\"code\":\"usb_debugging_off\",\"usb\":\"2717:ff48\",\"maker\":\"Xiaomi\",\"text\":"),
            std::string::npos)
      << reply.body;

  fs::remove_all(bridge.path("usb/sys/bus/usb/devices/1-1"));
  EXPECT_EQ(codes_of(bridge.get("/doctor").body), Codes{"none_seen"});
}

// fastboot never lists the network phone ANDROID_SERIAL names: one that
// answers "getvar product" is a phone seen, one that does not is none.
TEST(Doctor, TheNetworkFastbootPhoneThatAnswersIsAPhoneSeen) {
  Bridge bridge;
  bridge.add_tool("adb", "match devices\nsay List of devices attached\\n\\n\n");
  bridge.add_tool("fastboot",
                  "match devices\nmatch getvar product\nerr product: cheetah\\nFinished. Total time: 0.001s\\n\n");
  bridge.set_env("ANDROID_SERIAL", "tcp:127.0.0.1:1");
  if (!e2e::under_wine()) usb_tree(bridge, {});
  ASSERT_TRUE(bridge.start()) << bridge.console();
  EXPECT_EQ(bridge.get("/doctor").body, "{\"ok\":true,\"findings\":[]}");
  EXPECT_EQ(bridge.tool_calls("fastboot"), (std::vector<std::string>{"devices", "-s tcp:127.0.0.1:1 getvar product"}));

  e2e::write_file(bridge.path("fastboot.script"),
                  "match devices\nmatch getvar product\nerr < waiting for tcp:127.0.0.1:1 >\\n\nexit 1\n");
  EXPECT_EQ(codes_of(bridge.get("/doctor").body), Codes{"none_seen"});
}

TEST(Doctor, FifosInTheUsbTreeHoldNothing) {
  if (e2e::under_wine()) GTEST_SKIP() << "the made-up USB tree is read by the Linux bridge only";
  Bridge bridge;
  bridge.add_tool("adb", "match devices\nsay List of devices attached\\n\\n\n");
  bridge.add_tool("fastboot", "match devices\n");
  // A Xiaomi phone in file-transfer mode; a FIFO in place of an interface's
  // name and of another device's vendor number.
  usb_tree(bridge, {{"1-1", "2717:ff48"}, {"1-2", "18d1:4ee0"}});
  interface(bridge, "1-1:1.0", "06");
  interface(bridge, "1-1:1.1", "ff");
  const std::string devices = bridge.path("usb/sys/bus/usb/devices");
  fs::remove(devices + "/1-2/idVendor");
  ASSERT_EQ(::mkfifo((devices + "/1-2/idVendor").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo((devices + "/1-1:1.1/interface").c_str(), 0600), 0);
  ASSERT_TRUE(bridge.start()) << bridge.console();

  const auto get_within_20s = [&](const std::string& target) {
    return bridge.request(
        "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(bridge.port()) + "\r\n\r\n", 20000);
  };
  auto reply = get_within_20s("/doctor");
  EXPECT_TRUE(framed(reply)) << "no reply within 20 s";
  EXPECT_EQ(codes_of(reply.body), Codes{"usb_debugging_off"}) << reply.body;
  EXPECT_NE(get_within_20s("/ping").body.find("\"ok\":true"), std::string::npos);
}

TEST(Doctor, EachStateOfAdbsListGivesItsCode) {
  Bridge bridge;
  bridge.add_tool("adb", "match devices\nfile adb-list.txt\n");
  bridge.add_tool("fastboot", "match devices\n");
  if (!e2e::under_wine()) usb_tree(bridge, {});
  ASSERT_TRUE(bridge.start()) << bridge.console();
  const auto listed = [&](const std::string& list) {
    e2e::write_file(bridge.path("adb-list.txt"), list);
    auto reply = bridge.get("/doctor");
    EXPECT_TRUE(framed(reply));
    return codes_of(reply.body);
  };
  const std::string header = "List of devices attached\n";
  const auto recorded = [&](const char* name) {
    return listed(e2e::read_file(e2e::fixtures_dir() + "/doctor/" + name));
  };
  EXPECT_EQ(recorded("adb-devices-offline-windows.txt"), Codes{"adb_offline"});
  EXPECT_EQ(recorded("adb-devices-authorizing-windows.txt"), Codes{"adb_authorizing"});
  EXPECT_EQ(listed(header + "????????????\tno permissions (missing udev rules? user is in the plugdev group); see "
                            "[http://developer.android.com/tools/device.html]\n"),
            Codes{"adb_no_permissions"});
  EXPECT_EQ(listed(header + "R58N12345\trecovery\n"), Codes{"adb_other_mode"});
  EXPECT_EQ(listed(header + "R58N12345\tsideload\n"), Codes{"adb_other_mode"});
  EXPECT_EQ(listed("adb server version (41) doesn't match this client (39); killing...\n"
                   "* daemon started successfully\n" +
                   header + "\n"),
            Codes{"adb_server_conflict"});
  EXPECT_EQ(listed("* daemon not running; starting now at tcp:5037\nerror: could not install *smartsocket* "
                   "listener: Address already in use\n* failed to start daemon\nerror: cannot connect to daemon\n"),
            Codes{"adb_server_conflict"});
  // A ready phone and nothing wrong: no finding.
  e2e::write_file(bridge.path("adb-list.txt"), header + "R58N12345\tdevice\n");
  EXPECT_EQ(bridge.get("/doctor").body, "{\"ok\":true,\"findings\":[]}");
  EXPECT_EQ(bridge.tool_calls("fastboot"), std::vector<std::string>(8, "devices"));
}

TEST(Doctor, AdbFoundNowhereIsNamed) {
  Bridge bridge;
  bridge.add_tool("fastboot", "match devices\n");
  if (!e2e::under_wine()) {
    usb_tree(bridge, {});
    fs::create_directories(bridge.path("bin"));
    bridge.set_env("PATH", bridge.path("bin"));  // neither the system's adb nor its fastboot
  }
  ASSERT_TRUE(bridge.start()) << bridge.console();
  auto reply = bridge.get("/doctor");
  EXPECT_EQ(codes_of(reply.body), Codes{"adb_missing"}) << reply.body;
  // The acting routes keep their own no-phone words.
  EXPECT_EQ(actions_e2e::trusted_get(bridge, "/reboot").body,
            "{\"ok\":false,\"error\":\"ADB mein koi phone nahi mila. USB debugging ON karke phone par Allow "
            "dabayein.\"}");
}

TEST(FastbootMissing, AFastbootThatCannotBeStartedCountsAsMissing) {
  Bridge bridge;
  bridge.add_tool("adb", "match devices\nsay List of devices attached\\n\\n\n");
  // A file of fastboot's name that is no program: found, but never started.
  e2e::write_file(bridge.path(std::string("fastboot") + e2e::exe_suffix()), "not a program\n");
  ASSERT_TRUE(bridge.start()) << bridge.console();
  EXPECT_EQ(bridge.request(upload_head(bridge, "/boot", "8") + "ANDROID!").body, fastboot_missing);
  EXPECT_FALSE(e2e::file_exists(actions_e2e::image_path_on_disk(bridge)));
  // Named over the network, the phone needs no list: the run itself finds
  // that fastboot does not start, and that is no reboot.
  EXPECT_EQ(actions_e2e::trusted_get(bridge, "/reboot?to=fbbootloader&serial=tcp:127.0.0.1:1").body,
            reboot_fastboot_missing);
  // The console says nothing of a download: none was needed.
  EXPECT_EQ(bridge.console().find("laa raha hoon"), std::string::npos) << bridge.console();
  const std::string doctor = bridge.get("/doctor").body;
  EXPECT_NE(doctor.find("{\"code\":\"fastboot_missing\",\"mode\":\"Fastboot\",\"text\":\"fastboot ki file mili magar "
                        "chal nahi saki"),
            std::string::npos)
      << doctor;
}
