// The JSON reader the fuzz targets trust must refuse what a browser's JSON
// parser refuses.
#include "tests/support/json_check.h"

#include <gtest/gtest.h>

#include <string>

using json_check::is_valid_json;

TEST(JsonCheck, AcceptsTheBridgesBodies) {
  EXPECT_TRUE(is_valid_json("{\"ok\":true}"));
  EXPECT_TRUE(is_valid_json("{\"ok\":false,\"log\":\"a\\tb\\n\\\"q\\\" \\\\ \xc2\xb0\"}"));
  EXPECT_TRUE(is_valid_json(" [1, -0.5e+3, null, false, {\"a\":[]}, \"\\u00e9\\/\"] "));
  EXPECT_TRUE(is_valid_json(std::string("\"\x80\xff\"")));  // bytes above 0x7F pass
}

TEST(JsonCheck, RefusesBrokenText) {
  const std::string broken[] = {"",
                                "{",
                                "{\"ok\":true",
                                "{\"ok\":true}}",
                                "{\"ok\" true}",
                                "{ok:true}",
                                "[1,]",
                                "{\"a\":1,}",
                                "01",
                                "1.",
                                "-",
                                "tru",
                                "\"unterminated",
                                "\"bad escape \\x\"",
                                "\"\\u12g4\"",
                                "\"tab\tinside\"",
                                "\"cr\rinside\"",
                                "\"a\" \"b\"",
                                std::string("\"nul\0\"", 7)};
  for (const std::string& bad : broken) {
    EXPECT_FALSE(is_valid_json(bad)) << bad;
  }
}
