#include <gtest/gtest.h>

#include "platform/console.h"
#ifdef _WIN32
#include <windows.h>
#endif

// A Windows console starts with an OEM code page, in which the banner's
// UTF-8 dash shows as three wrong characters.
TEST(Console, ShowsUtf8OutputWhileTheBridgeRuns) {
#ifdef _WIN32
  // Run without a console (output to a pipe), the test makes one of its own.
  if (platform::output_code_page() == 0) AllocConsole();
#endif
  if (platform::output_code_page() == 0) GTEST_SKIP() << "no console code page on this system";
  ASSERT_NE(platform::output_code_page(), 65001u) << "the console already used UTF-8";
  platform::use_utf8_output();
  EXPECT_EQ(platform::output_code_page(), 65001u);
}
