// How a reboot's failure shows in its tool's output.
#include <gtest/gtest.h>

#include "actions/reboot_route.h"

TEST(RebootVerdict, AdbErrorLinesAndFastbootWaitsAreFailures) {
  EXPECT_TRUE(reboot_failed("error: no devices/emulators found\n", false));
  EXPECT_TRUE(reboot_failed("* daemon started successfully\r\nerror: device offline\r\n", false));
  EXPECT_FALSE(reboot_failed("", false));
  EXPECT_FALSE(reboot_failed("note: no error: here\n", false));  // only at a line's start
  EXPECT_TRUE(reboot_failed("< waiting for tcp:127.0.0.1:1 >\n", true));
  EXPECT_TRUE(reboot_failed("Rebooting\nFAILED (remote: 'unknown command')\n", true));
  EXPECT_FALSE(reboot_failed("Rebooting into bootloader      OKAY [  0.001s]\nFinished.\n", true));
}
