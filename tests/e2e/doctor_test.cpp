// When no phone is seen: the flashing routes name a fastboot that could not
// be had, and GET /doctor says why no phone is seen and what to do.
#include <gtest/gtest.h>

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

constexpr char fastboot_missing[] =
    "{\"ok\":false,\"code\":\"fastboot_missing\",\"error\":\"fastboot nahi mila aur Google se download bhi nahi ho "
    "saka. Internet check karke dobara koshish karein, ya Google ka platform-tools folder (fastboot ke saath) bridge "
    "ke folder mein rakhein.\"}";

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
  EXPECT_EQ(doctor.body.rfind("{\"ok\":true,\"ready\":false,\"findings\":[", 0), 0u) << doctor.body;
  EXPECT_EQ(downloads(bridge).size(), 3u);
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
  EXPECT_EQ(codes_of(reply.body), (Codes{"no_permissions", "unauthorized"})) << reply.body;
  EXPECT_EQ(reply.body.rfind("{\"ok\":true,\"ready\":false,", 0), 0u);
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
  ASSERT_TRUE(bridge.start()) << bridge.console();
  auto reply = bridge.get("/doctor");
  EXPECT_EQ(codes_of(reply.body), Codes{"usb_debugging_off"}) << reply.body;
  EXPECT_NE(reply.body.find("\"usb\":\"2717:ff48 Xiaomi\"}]}"), std::string::npos) << reply.body;

  fs::remove_all(bridge.path("usb/sys/bus/usb/devices/1-1"));
  EXPECT_EQ(codes_of(bridge.get("/doctor").body), Codes{"no_usb_phone"});
}
