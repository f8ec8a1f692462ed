// What is refused before fastboot runs, and how a reboot's failure shows.
#include <gtest/gtest.h>

#include <string>

#include "actions/image_check.h"
#include "actions/reboot_targets.h"

namespace {

bool refused(const std::string& head, bool boot_header) {
  return looks_like_no_image(reinterpret_cast<const unsigned char*>(head.data()), static_cast<int>(head.size()),
                             boot_header);
}

}  // namespace

TEST(ImageCheck, WebPagesAndJsonErrorsAreNoImage) {
  EXPECT_TRUE(refused("<!DOCTYPE html><html>", false));
  EXPECT_TRUE(refused("\xEF\xBB\xBF \r\n\t<html>", false));  // byte order mark and white space first
  EXPECT_TRUE(refused("{\"error\":\"not found\"}", false));
  EXPECT_FALSE(refused(std::string("\x3a\xff\x26\xed\0\0", 6), false));  // a sparse image
  EXPECT_FALSE(refused("   ", false));
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

TEST(RebootVerdict, AdbErrorLinesAndFastbootWaitsAreFailures) {
  EXPECT_TRUE(reboot_failed("error: no devices/emulators found\n", false));
  EXPECT_TRUE(reboot_failed("* daemon started successfully\r\nerror: device offline\r\n", false));
  EXPECT_FALSE(reboot_failed("", false));
  EXPECT_FALSE(reboot_failed("note: no error: here\n", false));  // only at a line's start
  EXPECT_TRUE(reboot_failed("< waiting for tcp:127.0.0.1:1 >\n", true));
  EXPECT_TRUE(reboot_failed("Rebooting\nFAILED (remote: 'unknown command')\n", true));
  EXPECT_FALSE(reboot_failed("Rebooting into bootloader      OKAY [  0.001s]\nFinished.\n", true));
}
