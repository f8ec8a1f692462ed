// What is refused before fastboot runs, and how a reboot's failure shows.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "actions/image_check.h"
#include "actions/reboot_targets.h"

namespace {

bool refused(const std::string& head, bool boot_header) {
  return looks_like_no_image(reinterpret_cast<const unsigned char*>(head.data()), static_cast<int>(head.size()),
                             boot_header);
}

// `bytes` written to a file of its own, removed at the end of the test.
struct ImageFile {
  std::filesystem::path path;
  explicit ImageFile(const std::string& bytes) {
    std::random_device seed;
    path = std::filesystem::temp_directory_path() / ("talvik-image-" + std::to_string(seed()) + ".img");
    std::ofstream(path, std::ios::binary) << bytes;
  }
  ~ImageFile() {
    std::error_code ec;
    std::filesystem::remove(path, ec);
  }
  bool refused(bool boot_header = false) const { return file_looks_like_no_image(path.string().c_str(), boot_header); }
};

}  // namespace

TEST(ImageCheck, WebPagesAndJsonErrorsAreNoImage) {
  EXPECT_TRUE(refused("<!DOCTYPE html><html>", false));
  EXPECT_TRUE(refused("\xEF\xBB\xBF \r\n\t<html>", false));  // byte order mark and white space first
  EXPECT_TRUE(refused("{\"error\":\"not found\"}", false));
  EXPECT_FALSE(refused(std::string("\x3a\xff\x26\xed\0\0", 6), false));  // a sparse image
  EXPECT_TRUE(refused(" \r\n ", false));                                 // only white space
  EXPECT_TRUE(refused("", false));
  EXPECT_FALSE(refused("x<html>", false));
}

TEST(ImageCheck, BootPartitionsNeedABootHeader) {
  for (const char* name : {"boot", "BOOT_a", "init_boot_b", "recovery", "vendor_boot_a"}) {
    EXPECT_TRUE(needs_boot_header(name)) << name;
  }
  for (const char* name : {"boot_c", "dtbo", "bootloader", "vbmeta", "system_a"}) {
    EXPECT_FALSE(needs_boot_header(name)) << name;
  }
  EXPECT_TRUE(needs_boot_header(nullptr));  // POST /boot
  EXPECT_FALSE(refused("ANDROID!\x01\x02", true));
  EXPECT_FALSE(refused("VNDRBOOT", true));
  EXPECT_FALSE(
      refused("\x7f"
              "ELF\x02",
              true));
  EXPECT_TRUE(refused("ANDROID", true));  // cut short
  EXPECT_TRUE(refused(" ANDROID!", true));
  EXPECT_TRUE(refused("kernel", true));
}

TEST(ImageCheck, FilesAreReadPastAnyAmountOfLeadingWhiteSpace) {
  const std::string page = "<!DOCTYPE html><html></html>";
  std::string crlf;
  for (int i = 0; i < 300; ++i) crlf += "\r\n";
  EXPECT_TRUE(ImageFile(crlf + page).refused());
  // White space across several read chunks, after a byte order mark.
  const std::string blanks(3 * image_chunk_size + 17, ' ');
  EXPECT_TRUE(ImageFile("\xEF\xBB\xBF" + blanks + "{\"error\":1}").refused());
  EXPECT_TRUE(ImageFile(blanks + "\n\t").refused());  // nothing but white space
  EXPECT_TRUE(ImageFile("").refused());
  EXPECT_FALSE(ImageFile(blanks + std::string("\x3a\xff\x26\xed", 4) + "<html>").refused());
  EXPECT_FALSE(ImageFile(std::string(image_chunk_size, 'x') + page).refused());
  // The boot header stays at the file's very start.
  EXPECT_FALSE(ImageFile("ANDROID!" + blanks).refused(true));
  EXPECT_TRUE(ImageFile(crlf + "ANDROID!").refused(true));
  EXPECT_TRUE(file_looks_like_no_image("/no/such/folder/x.img", false));
}

TEST(RebootVerdict, AdbErrorLinesAndFastbootWaitsAreFailures) {
  EXPECT_TRUE(reboot_failed("error: no devices/emulators found\n", false));
  EXPECT_TRUE(reboot_failed("* daemon started successfully\r\nerror: device offline\r\n", false));
  EXPECT_FALSE(reboot_failed("", false));
  EXPECT_FALSE(reboot_failed("note: no error: here\n", false));  // only at a line's start
  EXPECT_TRUE(reboot_failed("< waiting for tcp:127.0.0.1:1 >\n", true));
  EXPECT_TRUE(reboot_failed("Rebooting\nFAILED (remote: 'unknown command')\n", true));
  EXPECT_FALSE(reboot_failed("Rebooting into bootloader      OKAY [  0.001s]\nFinished.\n", true));
}
