// The flashing routes act only on a phone they have chosen, never on what
// is plainly not an image, and never through a fastboot that outlives the
// bridge.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/actions_client.h"
#include "tests/e2e/bridge_harness.h"

using actions_e2e::framed;
using actions_e2e::trusted_get;
using actions_e2e::upload_head;
using e2e::Bridge;

namespace {

constexpr char no_fastboot_phone[] =
    "{\"ok\":false,\"error\":\"Fastboot mode mein koi phone nahi mila. Phone ko bootloader (Fastboot) mode mein "
    "layein.\"}";
constexpr char several[] =
    "{\"ok\":false,\"error\":\"Ek se zyada phone lage hain. Ek phone chunein (serial) ya baaki nikaal dein.\"}";
constexpr char duplicate_serial[] =
    "{\"ok\":false,\"error\":\"Do phone ek hi serial dikha rahe hain. Ek phone nikaal kar dobara koshish karein.\"}";
constexpr char not_an_image[] =
    "{\"ok\":false,\"error\":\"Ye flash wali image nahi lagti (web page ya ghalat file). Seedhi image file dein.\"}";

constexpr char flashing_fastboot[] =
    "match devices\nsay F1\\tfastboot\\nF2\\tfastboot\\n\n"
    "match flash\nsay OKAY\\nFinished. Total time: 0.1s\\n\n"
    "match boot\nsay OKAY\\nFinished. Total time: 0.1s\\n\n";

// Processes whose command line names `path`.
int processes_running(const std::string& path) {
  int count = 0;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return 0;
  while (dirent* entry = ::readdir(proc)) {
    std::string pid = entry->d_name;
    if (pid.find_first_not_of("0123456789") != std::string::npos || pid == std::to_string(::getpid())) continue;
    std::ifstream in("/proc/" + pid + "/cmdline", std::ios::binary);
    std::string cmdline((std::istreambuf_iterator<char>(in)), {});
    for (char& c : cmdline) {
      if (c == '\\') c = '/';
    }
    if (cmdline.find(path) != std::string::npos) ++count;
  }
  ::closedir(proc);
  return count;
}

bool becomes(const std::function<bool()>& condition) {
  for (int i = 0; i < 200; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

}  // namespace

TEST(PhoneChoice, UploadsGoToTheNamedPhoneOrAreRefusedBeforeTheBody) {
  Bridge bridge;
  bridge.add_tool("fastboot", flashing_fastboot);
  ASSERT_TRUE(bridge.start()) << bridge.console();

  // Two phones and none named; the 2 GiB body is never read.
  int fd = e2e::connect_loopback(bridge.port());
  ASSERT_GE(fd, 0);
  e2e::send_bytes(fd, upload_head(bridge, "/flash?partition=dtbo", "2147483648") + "first bytes");
  auto reply = e2e::parse_reply(e2e::read_until_close(fd, 60000));
  ::close(fd);
  EXPECT_TRUE(framed(reply));
  EXPECT_EQ(reply.body, several);

  EXPECT_EQ(bridge.request(upload_head(bridge, "/flash?partition=dtbo&serial=F3", "4") + "dtbo").body,
            no_fastboot_phone);
  EXPECT_EQ(bridge.request(upload_head(bridge, "/boot?serial=F1;reboot", "4") + "dtbo").body,
            "{\"ok\":false,\"error\":\"serial theek nahi\"}");
  auto flashed = bridge.request(upload_head(bridge, "/flash?partition=dtbo&serial=F2", "4") + "dtbo");
  EXPECT_EQ(flashed.body.rfind("{\"ok\":true,\"partition\":\"dtbo\"", 0), 0u) << flashed.body;

  const std::string image = actions_e2e::image_path_in_commands(bridge);
  EXPECT_EQ(bridge.tool_calls("fastboot"),
            (std::vector<std::string>{"devices", "devices", "devices", "-s F2 flash dtbo " + image}));
  EXPECT_FALSE(e2e::file_exists(actions_e2e::image_path_on_disk(bridge)));
}

TEST(PhoneChoice, TheEnvironmentNamesThePhoneWhenTheRequestDoesNot) {
  Bridge bridge;
  bridge.add_tool("fastboot", flashing_fastboot);
  bridge.set_env("ANDROID_SERIAL", "F1");
  ASSERT_TRUE(bridge.start()) << bridge.console();
  auto reply = bridge.request(upload_head(bridge, "/boot", "12") + "ANDROID!abcd");
  EXPECT_EQ(reply.body.rfind("{\"ok\":true,\"partition\":\"(boot)\"", 0), 0u) << reply.body;
  EXPECT_EQ(bridge.request(upload_head(bridge, "/boot?serial=F2", "12") + "ANDROID!abcd").body.rfind("{\"ok\":true", 0),
            0u);
  const std::string image = actions_e2e::image_path_in_commands(bridge);
  EXPECT_EQ(bridge.tool_calls("fastboot"),
            (std::vector<std::string>{"devices", "-s F1 boot " + image, "devices", "-s F2 boot " + image}));
}

TEST(PhoneChoice, WebPagesAndHeaderlessBootImagesAreNeverFlashed) {
  Bridge bridge;
  bridge.add_tool("fastboot", flashing_fastboot);
  ASSERT_TRUE(bridge.start()) << bridge.console();
  struct Case {
    std::string target;
    std::string body;
    std::string reply;
  };
  const Case cases[] = {
      {"/flash?partition=super&serial=F1", "\xEF\xBB\xBF\r\n<!DOCTYPE html><html><body>Sign in</body></html>",
       not_an_image},
      {"/flash?partition=dtbo&serial=F1", "  {\"error\":\"file not found\"}", not_an_image},
      {"/flash?partition=boot_b&serial=F1", "\r\n<html>", not_an_image},
      {"/flash?partition=boot_b&serial=F1", std::string(4096, '\0'),
       "{\"ok\":false,\"error\":\"Ye file boot header ke baghair hai, magar boot_b partition ko boot image (ANDROID!) "
       "chahiye.\"}"},
      {"/boot?serial=F1", "kernel bytes",
       "{\"ok\":false,\"error\":\"Ye file boot header ke baghair hai, magar boot karne ke liye seedhi (sparse nahi) "
       "boot image (ANDROID!) chahiye.\"}"},
  };
  for (const Case& c : cases) {
    auto reply = bridge.request(upload_head(bridge, c.target, std::to_string(c.body.size())) + c.body);
    EXPECT_TRUE(framed(reply)) << c.target;
    EXPECT_EQ(reply.body, c.reply) << c.target;
    EXPECT_FALSE(e2e::file_exists(actions_e2e::image_path_on_disk(bridge))) << c.target;
  }
  for (const auto& call : bridge.tool_calls("fastboot")) EXPECT_EQ(call, "devices");
}

TEST(PhoneChoice, AFastbootStillRunningEndsWithTheBridgeAndItsImageIsDeletedAtTheNextStart) {
  Bridge bridge;
  bridge.add_tool("fastboot", "match devices\nsay F1\\tfastboot\\n\nmatch flash\nsay < waiting for F1 >\\n\nhang\n");
  ASSERT_TRUE(bridge.start()) << bridge.console();
  const std::string tool = bridge.dir() + "/fastboot";
  int fd = e2e::connect_loopback(bridge.port());
  ASSERT_GE(fd, 0);
  e2e::send_bytes(fd, upload_head(bridge, "/flash?partition=dtbo", "4") + "dtbo");
  ASSERT_TRUE(becomes([&] { return bridge.tool_calls("fastboot").size() == 2; }));
  ASSERT_TRUE(becomes([&] { return processes_running(tool) > 0; }));
  ASSERT_TRUE(e2e::file_exists(actions_e2e::image_path_on_disk(bridge)));

  bridge.stop();
  ::close(fd);
  EXPECT_TRUE(becomes([&] { return processes_running(tool) == 0; })) << "fastboot outlived the bridge";
  // The image the killed bridge left must not wait for the next phone.
  ASSERT_TRUE(e2e::file_exists(actions_e2e::image_path_on_disk(bridge)));
  ASSERT_TRUE(bridge.start()) << bridge.console();
  EXPECT_FALSE(e2e::file_exists(actions_e2e::image_path_on_disk(bridge)));
}

TEST(PhoneChoice, AFlashWaitingForAPhoneThatLeftEndsAsAFailure) {
  // The download went through ("OKAY"), then the phone left: the run is
  // ended, and that is a failure whatever was printed before.
  Bridge bridge;
  bridge.add_tool("fastboot",
                  "match devices\nsay F1\\tfastboot\\n\n"
                  "match flash\nsay Sending 'dtbo' (0 KB)   OKAY [  0.001s]\\n< waiting for F1 >\\n\nhang\n");
  ASSERT_TRUE(bridge.start()) << bridge.console();
  auto reply = bridge.request(upload_head(bridge, "/flash?partition=dtbo", "4") + "dtbo");
  EXPECT_TRUE(framed(reply));
  EXPECT_EQ(reply.body.rfind("{\"ok\":false,\"partition\":\"dtbo\",\"log\":\"Sending 'dtbo' (0 KB)   OKAY [  0.001s]\\n"
                             "< waiting for F1 >\\nBridge ne ye kaam ",
                             0),
            0u)
      << reply.body;
  EXPECT_NE(reply.body.find(" second baad rok diya (phone ya tool ne jawab nahi diya).\"}"), std::string::npos)
      << reply.body;
  EXPECT_FALSE(e2e::file_exists(actions_e2e::image_path_on_disk(bridge)));
  EXPECT_EQ(processes_running(bridge.dir() + "/fastboot"), 0);
}

TEST(PhoneChoice, TwoPhonesShowingOneSerialAreNeitherChosen) {
  Bridge bridge;
  bridge.add_tool("fastboot",
                  "match devices\nsay 0123456789ABCDEF\\tfastboot\\n0123456789ABCDEF\\tfastboot\\n\n"
                  "match flash\nsay OKAY\\nFinished. Total time: 0.1s\\n\n");
  bridge.add_tool("adb",
                  "match devices\nsay List of devices attached\\nR5CY\\tdevice\\nR5CY\\tdevice\\n\nmatch reboot\n");
  ASSERT_TRUE(bridge.start()) << bridge.console();
  for (const char* target : {"/flash?partition=dtbo&serial=0123456789ABCDEF", "/flash?partition=dtbo"}) {
    auto reply = bridge.request(upload_head(bridge, target, "4") + "dtbo");
    EXPECT_TRUE(framed(reply)) << target;
    EXPECT_EQ(reply.body, duplicate_serial) << target;
  }
  for (const char* target : {"/reboot?to=recovery&serial=R5CY", "/reboot?to=recovery"}) {
    EXPECT_EQ(trusted_get(bridge, target).body, duplicate_serial) << target;
  }
  EXPECT_EQ(bridge.get("/info?serial=R5CY").body, duplicate_serial);
  EXPECT_EQ(bridge.get("/devices").body,
            "{\"ok\":true,\"devices\":["
            "{\"serial\":\"R5CY\",\"mode\":\"ADB\",\"state\":\"device\",\"duplicate\":true},"
            "{\"serial\":\"R5CY\",\"mode\":\"ADB\",\"state\":\"device\",\"duplicate\":true},"
            "{\"serial\":\"0123456789ABCDEF\",\"mode\":\"Fastboot\",\"state\":\"fastboot\",\"duplicate\":true},"
            "{\"serial\":\"0123456789ABCDEF\",\"mode\":\"Fastboot\",\"state\":\"fastboot\",\"duplicate\":true}]}");
  for (const auto& call : bridge.tool_calls("fastboot")) EXPECT_EQ(call, "devices");
  for (const auto& call : bridge.tool_calls("adb")) EXPECT_EQ(call, "devices");
}

TEST(PhoneChoice, ASerialListedTwiceIsRefusedThoughOnlyOneOfItsLinesIsReady) {
  Bridge bridge;
  bridge.add_tool("adb",
                  "match devices\nsay List of devices attached\\nABC\\tdevice\\nABC\\toffline\\n\nmatch reboot\n");
  ASSERT_TRUE(bridge.start()) << bridge.console();
  EXPECT_EQ(trusted_get(bridge, "/reboot?to=recovery").body, duplicate_serial);
  for (const auto& call : bridge.tool_calls("adb")) EXPECT_EQ(call, "devices");
}

TEST(PhoneChoice, PhonesWithUnusableSerialsCountAndAreNeverNamed) {
  Bridge bridge;
  bridge.add_tool("fastboot",
                  "match devices\nsay ABC DEF 123\\tfastboot\\nGOOD123\\tfastboot\\n\n"
                  "match flash\nsay OKAY\\nFinished. Total time: 0.1s\\n\n");
  // A lone CR inside a line does not start a phone of its own.
  bridge.add_tool("adb", "match devices\nsay List of devices attached\\nJUNK\\rVICTIM7\\tdevice\\n\nmatch reboot\n");
  ASSERT_TRUE(bridge.start()) << bridge.console();
  EXPECT_EQ(bridge.request(upload_head(bridge, "/flash?partition=dtbo", "4") + "dtbo").body, several);
  EXPECT_EQ(trusted_get(bridge, "/reboot?to=recovery").body,
            "{\"ok\":false,\"error\":\"ADB mein koi phone nahi mila. USB debugging ON karke phone par Allow "
            "dabayein.\"}");
  EXPECT_EQ(bridge.get("/devices").body,
            "{\"ok\":true,\"devices\":[{\"serial\":\"\",\"mode\":\"ADB\",\"state\":\"device\"},"
            "{\"serial\":\"\",\"mode\":\"Fastboot\",\"state\":\"fastboot\"},"
            "{\"serial\":\"GOOD123\",\"mode\":\"Fastboot\",\"state\":\"fastboot\"}]}");
  // Named, the usable one is flashed.
  auto reply = bridge.request(upload_head(bridge, "/flash?partition=dtbo&serial=GOOD123", "4") + "dtbo");
  EXPECT_EQ(reply.body.rfind("{\"ok\":true", 0), 0u) << reply.body;
  for (const auto& call : bridge.tool_calls("adb")) EXPECT_EQ(call, "devices");
  EXPECT_EQ(bridge.tool_calls("fastboot").back(),
            "-s GOOD123 flash dtbo " + actions_e2e::image_path_in_commands(bridge));
}
