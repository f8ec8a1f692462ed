// What the provisioning steps rely on below the end-to-end tests: the
// checked whole-file write, the download command lines for awkward folder
// names, and the desktop entry's Exec escaping.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/autostart.h"
#include "platform/command_line.h"
#include "platform/files.h"
#include "platform/tools_archive.h"
#include "tools/provisioning.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

namespace {

// A fresh folder, removed with everything in it at the end of the test.
struct TempDir {
  fs::path path;
  TempDir() {
    std::random_device seed;
    path = fs::temp_directory_path() / ("talvik-unit-" + std::to_string(seed()) + std::to_string(seed()));
    fs::create_directories(path);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  std::string operator/(const std::string& name) const { return (path / name).string(); }
};

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

Args commands_for(const char* dir) {
  char lines[platform::max_archive_commands][platform::archive_command_size];
  int count = platform::archive_commands(dir, lines);
  return Args(lines, lines + count);
}

}  // namespace

TEST(WriteWholeFile, ReplacesAFileButLeavesAFolderAlone) {
  TempDir dir;
  std::ofstream(dir / "entry") << "an older and longer text";
  EXPECT_TRUE(platform::write_whole_file((dir / "entry").c_str(), "new", 3, false));
  EXPECT_EQ(read_file(dir / "entry"), "new");
  fs::create_directories(dir / "folder/inside");
  EXPECT_FALSE(platform::write_whole_file((dir / "folder").c_str(), "x", 1, false));
  EXPECT_TRUE(fs::is_directory(dir / "folder/inside"));
}

TEST(InstallFiles, NothingHeldMakesNoFolder) {
  TempDir dir;
  install_files((dir / "platform-tools").c_str(), nullptr, 0);
  EXPECT_FALSE(fs::exists(dir / "platform-tools"));
}

#ifdef _WIN32

TEST(ToolsArchive, ApostropheInTheFolderIsDoubledInsidePowerShellQuotes) {
  const Args lines = commands_for("C:\\Users\\O'Brien\\Downloads");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("Set-Location -LiteralPath 'C:\\Users\\O''Brien\\Downloads';"), std::string::npos)
      << lines[0];
}

#else

// A file size limit stands in for a full disk: the write stops short, and
// a cut adb must not stay behind to be taken for the whole one.
TEST(WriteWholeFile, ShortWriteLeavesNoFileBehind) {
  TempDir dir;
  const std::string bytes(64 * 1024, 'a');
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 4096;
  auto old_handler = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = platform::write_whole_file((dir / "adb").c_str(), bytes.data(), bytes.size(), true);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, old_handler);
  EXPECT_FALSE(written);
  EXPECT_FALSE(fs::exists(dir / "adb"));
}

TEST(ToolsArchive, AnyFolderNameReachesCurlAndUnzipAsOneArgument) {
  const char* dir = "/tmp/it's a \"b\" c\\d\\";  // quotes, blanks, a backslash before the closing quote
  const Args lines = commands_for(dir);
  ASSERT_EQ(lines.size(), 2u);
  const std::string archive = std::string(dir) + "/pt.zip";
  EXPECT_EQ(platform::split_command_line(lines[0].c_str()),
            (Args{"curl", "-f", "-L", "-s", "-S", "--connect-timeout", "30", "--speed-limit", "1", "--speed-time", "60",
                  "-o", archive, platform::tools_archive_url}));
  EXPECT_EQ(platform::split_command_line(lines[1].c_str()), (Args{"unzip", "-o", "-q", archive, "-d", dir}));
}

namespace {

// Sets (or, with nullptr, unsets) an environment variable for one scope.
struct ScopedEnv {
  std::string name, saved;
  bool had;
  ScopedEnv(const char* n, const char* value) : name(n) {
    const char* v = std::getenv(n);
    had = v != nullptr;
    if (had) saved = v;
    value != nullptr ? ::setenv(n, value, 1) : ::unsetenv(n);
  }
  ~ScopedEnv() { had ? ::setenv(name.c_str(), saved.c_str(), 1) : ::unsetenv(name.c_str()); }
};

platform::LogonWritten write_entry(const char* program) {
  platform::LogonEntry entry{"TalvikUnitTest", "talvik-unit-test.desktop", "Talvik Unit Test", program, "--autostart"};
  return platform::write_logon_entry(entry);
}

}  // namespace

TEST(LogonEntry, ExecQuotesAndEscapesTheProgramPath) {
  TempDir dir;
  ScopedEnv xdg("XDG_CONFIG_HOME", (dir / "a/b/config").c_str());  // folders made as needed
  write_entry("/opt/a \"b\" $c `d` e\\f 100%");
  EXPECT_EQ(read_file(dir / "a/b/config/autostart/talvik-unit-test.desktop"),
            "[Desktop Entry]\nType=Application\nName=Talvik Unit Test\n"
            "Exec=\"/opt/a \\\\\"b\\\\\" \\\\$c \\\\`d\\\\` e\\\\\\\\f 100%%\" --autostart\n"
            "Terminal=false\nX-GNOME-Autostart-enabled=true\n");
  // A path that cannot be written in an Exec line leaves the old entry.
  write_entry("/opt/line\nbreak");
  EXPECT_NE(read_file(dir / "a/b/config/autostart/talvik-unit-test.desktop").find("e\\\\\\\\f"), std::string::npos);
}

TEST(LogonEntry, UnsetOrRelativeXdgConfigHomeMeansHomeConfig) {
  for (const char* xdg_value : {static_cast<const char*>(nullptr), "", "relative/config"}) {
    TempDir dir;
    ScopedEnv xdg("XDG_CONFIG_HOME", xdg_value);
    ScopedEnv home("HOME", dir.path.c_str());
    write_entry("/opt/bridge");
    EXPECT_NE(read_file(dir / ".config/autostart/talvik-unit-test.desktop").find("Exec=\"/opt/bridge\" --autostart\n"),
              std::string::npos)
        << (xdg_value != nullptr ? xdg_value : "(unset)");
  }
}

TEST(LogonEntry, SaysWhereItWroteAndThatAFolderOutsideTheAccountsHomeIsNoLogon) {
  TempDir dir;
  ScopedEnv xdg("XDG_CONFIG_HOME", (dir / "config").c_str());
  // HOME pointed at the same folder, as the demo does: still not the
  // account's home, so no log-on reads the entry.
  ScopedEnv home("HOME", dir.path.c_str());
  const platform::LogonWritten written = write_entry("/opt/bridge");
  EXPECT_TRUE(written.written);
  EXPECT_FALSE(written.read_at_logon);
  EXPECT_EQ(std::string(written.where), (dir.path / "config/autostart/talvik-unit-test.desktop").string());

  const platform::LogonWritten refused = write_entry("/opt/line\nbreak");
  EXPECT_FALSE(refused.written);
  EXPECT_STREQ(refused.where, "");
  ScopedEnv no_home("HOME", nullptr);
  ScopedEnv no_xdg("XDG_CONFIG_HOME", nullptr);
  EXPECT_FALSE(write_entry("/opt/bridge").written);
}

TEST(LogonEntry, InsideFolderComparesWholeNames) {
  EXPECT_TRUE(platform::inside_folder("/home/u/.config", "/home/u"));
  EXPECT_TRUE(platform::inside_folder("/home/u/.config", "/home/u/"));
  EXPECT_TRUE(platform::inside_folder("/home/u", "/home/u"));
  EXPECT_TRUE(platform::inside_folder("/tmp/x", "/"));
  EXPECT_FALSE(platform::inside_folder("/home/u2/.config", "/home/u"));
  EXPECT_FALSE(platform::inside_folder("/home", "/home/u"));
  EXPECT_FALSE(platform::inside_folder("/tmp/x", ""));
}

#endif
