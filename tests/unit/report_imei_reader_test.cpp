#include <gtest/gtest.h>

#include <string>

#include "report/imei_reader.h"

namespace {

std::string digits_of(const std::string& reply) {
  char candidate[64];
  quoted_digits(reply.c_str(), candidate);
  return candidate;
}

ImeiList offered(std::initializer_list<const char*> candidates) {
  ImeiList list{};
  for (const char* c : candidates) offer_imei(c, list);
  return list;
}

}  // namespace

TEST(ReportImei, DigitsComeOnlyFromQuotedSegmentsPairedInOrder) {
  const std::string parcel =
      "Result: Parcel(\n"
      "  0x00000000: 00000000 0000000f 00350033 00300032 '........3.5.2.0.'\n"
      "  0x00000010: 00390039 00300030 00370031 00310036 '9.9.0.0.1.7.6.1.'\n"
      "  0x00000020: 00380034 00000031                   '4.8.1...        ')\n";
  EXPECT_EQ(digits_of(parcel), "352099001761481");
  EXPECT_EQ(digits_of("12 '3a4' 56 '7' 8 'unclosed 9"), "347");
  EXPECT_EQ(digits_of("no quotes 123"), "");
  EXPECT_EQ(digits_of("'" + std::string(70, '1') + "'").size(), 63u);
}

TEST(ReportImei, LuhnLengthsAndCuts) {
  EXPECT_TRUE(passes_luhn("352099001761481"));
  EXPECT_FALSE(passes_luhn("352099001761482"));
  EXPECT_TRUE(passes_luhn("35209900176146"));  // 14 digits: last digit in the check place
  EXPECT_EQ(offered({"35209900176146"}).count, 1);
  EXPECT_EQ(offered({"3520990017614"}).count, 0);   // 13 digits
  EXPECT_EQ(offered({"35209900176148"}).count, 0);  // 14 digits failing the test
  ImeiList cut = offered({"3520990017614819"});     // 16 digits: the first 15 are valid
  ASSERT_EQ(cut.count, 1);
  EXPECT_STREQ(cut.slots[0], "352099001761481");
  EXPECT_EQ(offered({"4901542032375180"}).count, 1);
  EXPECT_EQ(offered({"3520990017614829"}).count, 0);  // first 15 fail the test
}

TEST(ReportImei, NoDuplicatesAndAtMostFour) {
  ImeiList list = offered({"352099001761481", "352099001761481", "490154203237518"});
  EXPECT_EQ(list.count, 2);
  EXPECT_STREQ(list.slots[1], "490154203237518");
  list = offered({"352099001761481", "490154203237518", "35209900176146", "49015420323751", "990000862471853"});
  EXPECT_EQ(list.count, 4);
  EXPECT_STREQ(list.slots[3], "49015420323751");
}

TEST(ReportImei, PropertyFallbackTokens) {
  ImeiList list{};
  imeis_from_properties(
      "[ril.gsm.imei]: [352099001761481,490154203237518]\n"
      "[persist.radio.imei]: [;490154203237518; 35-209900-176146 ;;]\n"
      "[gsm.imei]: [123,352099001761482]\n"
      "[ril.imei]: [990000862471853]\n"
      "[ro.ril.oem.imei]: [356938035643809]\n",
      list);
  ASSERT_EQ(list.count, 4);
  EXPECT_STREQ(list.slots[0], "352099001761481");
  EXPECT_STREQ(list.slots[1], "490154203237518");
  EXPECT_STREQ(list.slots[2], "35209900176146");
  EXPECT_STREQ(list.slots[3], "990000862471853");
}
