#include "platform/command_line.h"

#include <gtest/gtest.h>

using Args = std::vector<std::string>;

TEST(SplitCommandLine, QuotedProgramAndPlainArguments) {
  EXPECT_EQ(platform::split_command_line("\"/opt/my tools/adb\" -s SER shell getprop"),
            (Args{"/opt/my tools/adb", "-s", "SER", "shell", "getprop"}));
  EXPECT_EQ(platform::split_command_line("\"/x/fastboot\" getvar all 2>&1"),
            (Args{"/x/fastboot", "getvar", "all", "2>&1"}));
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

TEST(QuoteArgument, SplitsBackToTheSameText) {
  for (const char* text : {"plain", "with space", "a\"b", "trail\\", "trail\\\\", "\\\"x", "C:\\dir\\x", ""}) {
    char quoted[64];
    ASSERT_TRUE(platform::quote_argument(text, quoted, sizeof quoted)) << text;
    std::string line = std::string("prog ") + quoted + " next";
    EXPECT_EQ(platform::split_command_line(line.c_str()), (Args{"prog", text, "next"})) << line;
  }
  char small[6];
  EXPECT_FALSE(platform::quote_argument("abcdef", small, sizeof small));
}

TEST(DoubleApostrophes, MakesASafeSingleQuotedPowerShellText) {
  char out[32];
  ASSERT_TRUE(platform::double_apostrophes("C:\\Ali's 'x'", out, sizeof out));
  EXPECT_STREQ(out, "C:\\Ali''s ''x''");
  EXPECT_FALSE(platform::double_apostrophes("''''", out, 8));
}
