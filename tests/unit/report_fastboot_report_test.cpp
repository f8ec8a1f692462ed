#include <gtest/gtest.h>

#include <string>

#include "report/fastboot_report.h"
#include "report/field_list.h"

namespace {

std::string rows(const std::string& getvar, const char* serial = "F9") {
  std::string list(fastboot_list_cap, '\0');
  int first = 1;
  add_getvar_rows(getvar.c_str(), serial, &list[0], &first);
  return list.c_str();
}

std::string value(const std::string& getvar, const char* variable) {
  char out[256];
  getvar_value(getvar.c_str(), variable, out);
  return out;
}

}  // namespace

TEST(ReportFastboot, RowsInTableOrder) {
  EXPECT_EQ(rows("(bootloader) unlocked:yes\r\n(bootloader) product: walleye\r\n"),
            "[\"Product / Model\",\"walleye\"],[\"Unlocked\",\"yes\"]");
  EXPECT_EQ(rows("(bootloader) serialno:ABC\n"), "[\"Serial\",\"ABC\"]");
  EXPECT_EQ(rows("< waiting for any device >\n"), "[\"Serial\",\"F9\"]");
  EXPECT_EQ(rows("", ""), "");
}

TEST(ReportFastboot, ValueRules) {
  EXPECT_EQ(value("(bootloader) variant:\r\n", "variant"), "");
  EXPECT_EQ(value("(bootloader) product:    spaced  \n", "product"), "spaced  ");
  EXPECT_EQ(value("(bootloader) product:\ttabbed\n", "product"), "\ttabbed");
  EXPECT_EQ(value("(bootloader) product:end", "product"), "end");
  EXPECT_EQ(value("(bootloader) product:" + std::string(300, 'p'), "product"), std::string(255, 'p'));
  EXPECT_EQ(value("(bootloader) product:one\n(bootloader) product:two\n", "product"), "one");
  EXPECT_EQ(value("(bootloader) current-slot:a\n(bootloader) slot-count:2\n", "slot-count"), "2");
}
