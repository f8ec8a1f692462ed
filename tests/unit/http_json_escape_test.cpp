#include "http/json_escape.h"

#include <gtest/gtest.h>

#include <string>

namespace {
std::string escaped(const std::string& in, int limit) {
  std::string out(static_cast<size_t>(limit) + 1, '?');
  json_escape(in.c_str(), out.data(), limit);
  return out.c_str();
}
}  // namespace

TEST(JsonEscape, EscapesDropsAndCopies) {
  EXPECT_EQ(escaped("a\tb\r\nc", 4094), "a\\tb\\nc");
  EXPECT_EQ(escaped("q\"b\\", 4094), "q\\\"b\\\\");
  EXPECT_EQ(escaped("\x01\x1f\x7f", 4094), "\x7f");
  EXPECT_EQ(escaped("", 4094), "");
  std::string high;
  for (int c = 0x80; c <= 0xff; ++c) high += static_cast<char>(c);
  EXPECT_EQ(escaped(high, 4094), high);
}

TEST(JsonEscape, AnEscapeThatDoesNotFitIsDroppedAndALaterByteTakesThePlace) {
  std::string in = std::string(4093, 'a') + "\"b";
  std::string out = escaped(in, 4094);
  EXPECT_EQ(out.size(), 4094u);
  EXPECT_EQ(out, std::string(4093, 'a') + "b");
}

TEST(JsonEscape, StopsAtTheLimit) {
  EXPECT_EQ(escaped(std::string(600, 'v'), 510), std::string(510, 'v'));
  EXPECT_EQ(escaped(std::string(509, 'v') + "\"", 510), std::string(509, 'v'));
}
