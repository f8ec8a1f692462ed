#include <gtest/gtest.h>

#include <string>

#include "report/field_list.h"
#include "tests/support/json_check.h"

namespace {

struct List {
  explicit List(int cap) : text(static_cast<size_t>(cap), '\0'), cap(cap) {}
  void add(const char* label, const char* value) { append_field(&text[0], &first, label, value, cap); }
  std::string str() const { return text.c_str(); }
  std::string text;
  int cap;
  int first = 1;
};

}  // namespace

TEST(ReportFieldList, EmptyValuesAddNothingAndCommasJoinItems) {
  List list(4096);
  list.add("Skipped", "");
  list.add("Absent", nullptr);
  EXPECT_EQ(list.first, 1);
  list.add("A", "1");
  list.add("B", "");
  list.add(nullptr, "2");
  EXPECT_EQ(list.str(), "[\"A\",\"1\"],[\"\",\"2\"]");
}

TEST(ReportFieldList, ValuesAreEscapedAndCutAtTheirLimit) {
  List list(4096);
  list.add("Q", "a\"b\\c\r\n");
  list.add("CR only", "\r");
  EXPECT_EQ(list.str(), "[\"Q\",\"a\\\"b\\\\c\\n\"],[\"CR only\",\"\"]");

  List long_value(4096);
  long_value.add("L", std::string(600, 'x').c_str());
  EXPECT_EQ(long_value.str(), "[\"L\",\"" + std::string(510, 'x') + "\"]");

  List quote_at_limit(4096);
  quote_at_limit.add("L", (std::string(509, 'y') + "\"").c_str());
  EXPECT_EQ(quote_at_limit.str(), "[\"L\",\"" + std::string(509, 'y') + "\"]");
}

TEST(ReportFieldList, OnlyValidUtf8PassesAndACutCharacterIsDroppedWhole) {
  List list(4096);
  // 509 plain bytes and a two-byte character: only its first byte fits.
  list.add("U", (std::string(509, 'z') + "\xC2\xB0").c_str());
  EXPECT_EQ(list.str(), "[\"U\",\"" + std::string(509, 'z') + "\"]");
  // Bytes a tool printed that are not UTF-8 are dropped; valid ones stay.
  List stray(4096);
  stray.add("S", "caf\xE9 \xC2\xB0\xE2\x8A\x88 \xED\xA0\x80!");
  EXPECT_EQ(stray.str(), "[\"S\",\"caf \xC2\xB0\xE2\x8A\x88 !\"]");
  EXPECT_TRUE(json_check::well_formed("[" + stray.str() + "]"));
}

TEST(ReportFieldList, ARowThatDoesNotFitIsLeftOutWholeAndLaterRowsMayFollow) {
  List list(64);
  list.add("first", std::string(30, 'a').c_str());  // 42 bytes
  list.add("big", std::string(30, 'b').c_str());    // 41 more: does not fit
  list.add("s", "c");                               // 10 more: fits
  EXPECT_EQ(list.str(), "[\"first\",\"" + std::string(30, 'a') + "\"],[\"s\",\"c\"]");
  EXPECT_TRUE(json_check::well_formed("[" + list.str() + "]"));

  // A list that ends up full is still a well-formed sequence of items.
  List full(4096);
  for (int i = 0; i < 200; ++i) full.add("Row label", std::string(static_cast<size_t>(i % 50) + 1, 'v').c_str());
  EXPECT_LE(full.str().size(), 4095u);
  EXPECT_TRUE(json_check::well_formed("[" + full.str() + "]"));

  // When the very first row does not fit, the next one still carries no comma.
  List tiny(16);
  tiny.add("too long", "for sixteen bytes");
  tiny.add("a", "b");
  EXPECT_EQ(tiny.str(), "[\"a\",\"b\"]");
}
