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

TEST(JsonCheck, Utf8ForBodiesAsPagesReceiveThem) {
  EXPECT_TRUE(
      json_check::is_valid_utf8("85% \xC2\xB7 Good \xC2\xB7 30.5\xC2\xB0"
                                "C"));
  EXPECT_TRUE(json_check::is_valid_utf8("\xE2\x80\x94 \xF0\x9F\x93\xB1"));
  EXPECT_FALSE(json_check::is_valid_utf8("cut \xC2"));  // a character cut at a cap
  EXPECT_FALSE(json_check::is_valid_utf8("\xC0\xAF"));  // overlong
  EXPECT_FALSE(
      json_check::is_valid_utf8("\xE2\x80"
                                "a"));  // missing continuation
  EXPECT_FALSE(json_check::is_valid_utf8("\xFF"));
  EXPECT_TRUE(json_check::well_formed("[\"Battery\",\"85% \xC2\xB7 Good\"]"));
  EXPECT_FALSE(json_check::well_formed("[\"Kernel\",\"\xC2\"]"));
}
