#include "platform/command_line.h"

#include <gtest/gtest.h>

using Args = std::vector<std::string>;

TEST(SplitCommandLine, QuotedProgramAndPlainArguments) {
  EXPECT_EQ(platform::split_command_line("\"/opt/my tools/adb\" -s SER shell getprop"),
            (Args{"/opt/my tools/adb", "-s", "SER", "shell", "getprop"}));
  EXPECT_EQ(platform::split_command_line("\"/x/fastboot\" getvar all 2>&1"), (Args{"/x/fastboot", "getvar", "all", "2>&1"}));
  EXPECT_EQ(platform::split_command_line("curl  -f\t-L"), (Args{"curl", "-f", "-L"}));
  EXPECT_EQ(platform::split_command_line(""), Args{});
}

TEST(SplitCommandLine, QuotedShellLineIsOneArgument) {
  EXPECT_EQ(platform::split_command_line("\"adb\" -s S shell \"cat /a /b 2>/dev/null\""),
            (Args{"adb", "-s", "S", "shell", "cat /a /b 2>/dev/null"}));
}

TEST(SplitCommandLine, BackslashAndQuoteRules) {
  EXPECT_EQ(platform::split_command_line("p a\\\\\"b c\""), (Args{"p", "a\\b c"}));
  EXPECT_EQ(platform::split_command_line("p a\\\"b"), (Args{"p", "a\"b"}));
  EXPECT_EQ(platform::split_command_line("p C:\\dir\\x"), (Args{"p", "C:\\dir\\x"}));
  EXPECT_EQ(platform::split_command_line("p \"a\"\"b\""), (Args{"p", "a\"b"}));
  EXPECT_EQ(platform::split_command_line("p \"\""), (Args{"p", ""}));
  // The program token takes no backslash rules.
  EXPECT_EQ(platform::split_command_line("\"C:\\tools\\\" x"), (Args{"C:\\tools\\", "x"}));
}
