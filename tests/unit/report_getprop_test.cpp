#include <gtest/gtest.h>

#include <string>

#include "report/getprop.h"

namespace {

std::string prop(const std::string& text, const char* name, int cap = 255) {
  std::string dest(static_cast<size_t>(cap) + 1, '?');
  getprop_value(text.c_str(), name, &dest[0], cap);
  return dest.c_str();
}

constexpr char dump[] =
    "[ro.boot.serialno]: [BOOT123]\n"
    "[persist.sys.boot.reason.history]: [reboot,ota,1691858645\n"
    "reboot,unattended,ota_update,1691858601\n"
    "reboot,ota,1691857091]\n"
    "[persist.sys.bootloader]: [yes]\n"
    "[ro.product.manufacturer]: []\n"
    "[ro.product.brand]: [OnePlus]\n"
    "[ro.serialno]: [90241ad3]\n"
    "[odd]: [a]b]\n"
    "[broken]: [no end\n";

}  // namespace

TEST(ReportGetprop, MatchesWholeNamesOnly) {
  EXPECT_EQ(prop(dump, "ro.serialno"), "90241ad3");
  EXPECT_EQ(prop(dump, "ro.boot.serialno"), "BOOT123");
  EXPECT_EQ(prop(dump, "serialno"), "");
  EXPECT_EQ(prop(dump, "missing"), "");
}

TEST(ReportGetprop, AMultiLineValueDoesNotDisturbTheNextProperties) {
  EXPECT_EQ(prop(dump, "persist.sys.boot.reason.history"),
            "reboot,ota,1691858645\nreboot,unattended,ota_update,1691858601\nreboot,ota,1691857091");
  EXPECT_EQ(prop(dump, "persist.sys.bootloader"), "yes");
  EXPECT_EQ(prop(dump, "ro.product.brand"), "OnePlus");
}

TEST(ReportGetprop, CapsClosingBracketAndChains) {
  EXPECT_EQ(prop(dump, "ro.boot.serialno", 4), "BOOT");
  EXPECT_EQ(prop(dump, "odd"), "a");
  // No "]" after the value at all: the property counts as absent.
  EXPECT_EQ(prop("[broken]: [no end\n", "broken"), "");

  char dest[256];
  getprop_chain(dump, "ro.product.manufacturer", "ro.product.brand", dest, 255);
  EXPECT_STREQ(dest, "OnePlus");
  getprop_chain(dump, "ro.serialno", "ro.boot.serialno", dest, 255);
  EXPECT_STREQ(dest, "90241ad3");
}
