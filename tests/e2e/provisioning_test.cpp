// Provisioning end to end: the held files written at start-up (by the
// payload test bridge, which holds synthetic files of the real sizes), the
// log-on entry, and ensure_fastboot run from a copied provisioning_driver
// with doubles for PowerShell (Windows) or curl and unzip (Linux).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/bridge_harness.h"
#include "tests/fixtures/provision/synthetic_payload.h"

namespace fs = std::filesystem;
using e2e::Bridge;
using Lines = std::vector<std::string>;

namespace {

Lines lines_of(const std::string& text) {
  Lines lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string held_path(Bridge& bridge, int index) {
  const char* names[] = {"adb", "AdbWinApi.dll", "AdbWinUsbApi.dll"};
  return bridge.path("platform-tools/") + names[index] + (index == 0 ? e2e::exe_suffix() : "");
}

// Compares without printing megabytes when they differ.
void expect_held_bytes(Bridge& bridge, int index) {
  const std::string written = e2e::read_file(held_path(bridge, index));
  EXPECT_EQ(written.size(), synthetic::sizes[index]) << held_path(bridge, index);
  EXPECT_TRUE(written == synthetic::synthetic_payload(index)) << held_path(bridge, index) << " differs";
}

// How a Windows program under Wine sees a Linux path (drive Z: is /).
std::string windows_path(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return "Z:" + path;
}

// The data of the Run value TalvikWebBridge in the Wine prefix, or "".
std::string run_value() {
  FILE* p = ::popen(
      "wine reg query 'HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run' /v TalvikWebBridge 2>/dev/null", "r");
  std::string out;
  char buf[4096];
  for (size_t n; p != nullptr && (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  if (p != nullptr) ::pclose(p);
  for (const std::string& line : lines_of(out)) {
    size_t at = line.find("REG_SZ");
    if (at != std::string::npos) return line.substr(line.find_first_not_of(' ', at + 6));
  }
  return "";
}

}  // namespace

TEST(Payload, FirstStartWritesTheHeldFilesWhole) {
  Bridge bridge(e2e::payload_test_bridge());
  ASSERT_TRUE(bridge.start()) << bridge.console();
  for (int i = 0; i < synthetic::file_count; ++i) expect_held_bytes(bridge, i);
  struct stat st {};
  if (!e2e::under_wine() && ::stat(held_path(bridge, 0).c_str(), &st) == 0) EXPECT_NE(st.st_mode & S_IXUSR, 0u);
  // Written before the start-up lookup, so adb is found at once.
  EXPECT_NE(bridge.get("/ping").body.find("\"adb\":true"), std::string::npos);
}

TEST(Payload, PresentFilesAndFoldersOfTheirNamesAreLeftAlone) {
  Bridge bridge(e2e::payload_test_bridge());
  fs::create_directories(held_path(bridge, 1));  // a folder named AdbWinApi.dll
  e2e::write_file(held_path(bridge, 0), "an older adb of another size");
  ASSERT_TRUE(bridge.start()) << bridge.console();
  EXPECT_EQ(e2e::read_file(held_path(bridge, 0)), "an older adb of another size");
  EXPECT_TRUE(fs::is_directory(held_path(bridge, 1)));
  expect_held_bytes(bridge, 2);
}

TEST(Autostart, TwoStartsLeaveOneEntryThatStartsThisCopyWithAutostart) {
  Bridge bridge;
  ASSERT_TRUE(bridge.start()) << bridge.console();
  bridge.stop();
  ASSERT_TRUE(bridge.start()) << bridge.console();
  bridge.stop();
  if (e2e::under_wine()) {
    EXPECT_EQ(run_value(), "\"" + windows_path(bridge.binary()) + "\" --autostart");
    return;
  }
  // The harness points XDG_CONFIG_HOME into the test folder.
  Lines exec;
  for (const std::string& line : lines_of(e2e::read_file(bridge.path("config/autostart/talvik-web-bridge.desktop")))) {
    if (line.rfind("Exec=", 0) == 0) exec.push_back(line);
  }
  EXPECT_EQ(exec, Lines{"Exec=\"" + bridge.binary() + "\" --autostart"});
}

namespace {

constexpr char fetching_line[] = "  fastboot nahi mila - flashing ke liye Google se laa raha hoon (ek dafa)...";

// A provisioning_driver in a fresh folder, with doubles for the download
// tools: PowerShell beside it under Wine (found first for the bare word),
// curl and unzip in bin/, the only folder of its PATH, on Linux.
class FastbootOnDemand : public ::testing::Test {
 protected:
  FastbootOnDemand() : driver_(e2e::test_program("provisioning_driver")) {
    if (!e2e::under_wine()) driver_.set_env("PATH", driver_.path("bin"));
  }

  // Doubles that check their exact command line and then, when `works`,
  // put fastboot where unpacking the archive would.
  void add_doubles(bool works) {
    const std::string dir = driver_.dir();
    if (e2e::under_wine()) {
      e2e::write_file(driver_.path("fastboot.stub"), "fastboot stand-in");
      const std::string line =
          "-NoProfile -ExecutionPolicy Bypass -Command $ErrorActionPreference='Stop';"
          "$ProgressPreference='SilentlyContinue';Set-Location -LiteralPath '" +
          windows_path(dir) +
          "';Invoke-WebRequest -TimeoutSec 60 -Uri "
          "'https://dl.google.com/android/repository/platform-tools-latest-windows.zip' "
          "-OutFile 'pt.zip';Expand-Archive -Force 'pt.zip' '.';Remove-Item 'pt.zip' -Force";
      expected_calls_ = {line};
      driver_.add_tool("powershell", works ? "match " + line +
                                                 "\nmkdir platform-tools\n"
                                                 "copy fastboot.stub platform-tools/fastboot.exe\n"
                                           : "");
      return;
    }
    fs::create_directories(driver_.path("bin"));
    e2e::write_file(driver_.path("bin/archive.zip"), "archive stand-in");
    e2e::write_file(driver_.path("bin/fastboot.stub"), "fastboot stand-in");
    const std::string curl = "-f -L -s -S --connect-timeout 30 --speed-limit 1 --speed-time 60 -o " + dir +
                             "/pt.zip https://dl.google.com/android/repository/platform-tools-latest-linux.zip";
    const std::string unzip = "-o -q " + dir + "/pt.zip -d " + dir;
    expected_calls_ = {curl, unzip};
    // curl writes where -o says; unzip keeps a copy of the archive it got.
    driver_.add_tool("curl", works ? "match " + curl + "\ncopy archive.zip $12\n" : "", "bin");
    driver_.add_tool("unzip",
                     works ? "match " + unzip +
                                 "\ncopy $3 unzipped.zip\nmkdir $5/platform-tools\n"
                                 "copy fastboot.stub $5/platform-tools/fastboot\n"
                           : "",
                     "bin");
  }

  // The download tools' runs, one line each: PowerShell's, or curl's then unzip's.
  Lines download_calls() {
    if (e2e::under_wine()) return driver_.tool_calls("powershell");
    Lines calls = driver_.tool_calls("curl", "bin");
    for (const std::string& c : driver_.tool_calls("unzip", "bin")) calls.push_back(c);
    return calls;
  }

  Lines run(const Lines& steps) {
    EXPECT_EQ(driver_.run(steps), 0) << driver_.console();
    return lines_of(driver_.console());
  }

  std::string fastboot() { return driver_.path("platform-tools/fastboot" + e2e::exe_suffix()); }

  Bridge driver_;
  Lines expected_calls_;  // one download's exact command lines
};

}  // namespace

TEST_F(FastbootOnDemand, MissingFastbootIsFetchedOnceAndUnpackedBesideTheProgram) {
  add_doubles(true);
  EXPECT_EQ(run({"ensure_fastboot", "ensure_fastboot"}), (Lines{fetching_line, "  fastboot ready."}));
  EXPECT_EQ(download_calls(), expected_calls_);
  EXPECT_EQ(e2e::read_file(fastboot()), "fastboot stand-in");
  EXPECT_FALSE(e2e::file_exists(driver_.path("pt.zip")));
  if (!e2e::under_wine()) EXPECT_EQ(e2e::read_file(driver_.path("bin/unzipped.zip")), "archive stand-in");
}

TEST_F(FastbootOnDemand, FailedDownloadIsReportedAndTriedAgainNextTime) {
  add_doubles(false);
  const char failed_line[] = "  fastboot download nahi ho saki - internet check karein.";
  EXPECT_EQ(run({"ensure_fastboot", "ensure_fastboot"}),
            (Lines{fetching_line, failed_line, fetching_line, failed_line}));
  Lines twice = expected_calls_;
  twice.insert(twice.begin() + 1, expected_calls_[0]);  // curl's two runs come before unzip's
  if (expected_calls_.size() == 2) twice.push_back(expected_calls_[1]);
  EXPECT_EQ(download_calls(), twice);
}

TEST_F(FastbootOnDemand, FastbootBesideTheProgramOrInPlatformToolsMeansNothingRuns) {
  add_doubles(true);
  for (const std::string& place : {driver_.path("fastboot" + e2e::exe_suffix()), fastboot()}) {
    fs::create_directories(driver_.path("platform-tools"));
    e2e::write_file(place, "");
    EXPECT_EQ(run({"ensure_fastboot"}), Lines{});
    fs::remove(place);
  }
  EXPECT_EQ(download_calls(), Lines{});
}

TEST_F(FastbootOnDemand, LinuxReliesOnAnExecutableFastbootOnPath) {
  if (e2e::under_wine()) GTEST_SKIP() << "the Windows build counts only its own copies";
  add_doubles(true);
  fs::create_directories(driver_.path("plain"));
  e2e::write_file(driver_.path("plain/fastboot"), "#!/bin/sh\n");
  fs::permissions(driver_.path("plain/fastboot"), fs::perms::owner_read | fs::perms::owner_write);
  fs::create_directories(driver_.path("system"));
  e2e::write_file(driver_.path("system/fastboot"), "#!/bin/sh\n");
  fs::permissions(driver_.path("system/fastboot"), fs::perms::owner_all);
  // A file that cannot run does not count; one that can does.
  driver_.set_env("PATH", driver_.path("bin") + ":" + driver_.path("plain") + ":" + driver_.path("system"));
  EXPECT_EQ(run({"ensure_fastboot"}), Lines{});
  EXPECT_EQ(download_calls(), Lines{});
}
