#include "http/request_values.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string value_of(const char* request, const char* name, int cap, const char* preset = "") {
  char buf[4096];
  std::snprintf(buf, sizeof buf, "%s", preset);
  query_value(request, name, buf, cap);
  return buf;
}

std::string decoded(const char* in) {
  char out[url_decoded_size];
  url_decode(in, out);
  return out;
}

}  // namespace

TEST(QueryValue, TakesEachValueUpToItsTerminator) {
  const char* req = "GET /wifi-pair?ip=192.168.1.5&port=37123&code=123456 HTTP/1.1\r\nHost: x\r\n\r\n";
  EXPECT_EQ(value_of(req, "ip", 79), "192.168.1.5");
  EXPECT_EQ(value_of(req, "port", 15), "37123");
  EXPECT_EQ(value_of(req, "code", 15), "123456");
  EXPECT_EQ(value_of("GET /reboot?to=recovery HTTP/1.1\r\n\r\n", "to", 31), "recovery");
}

TEST(QueryValue, FirstWholeParameterNameWins) {
  EXPECT_EQ(value_of("GET /x?to=a&to=b HTTP/1.1\r\n\r\n", "to", 31), "a");
  // A longer name ending in the wanted one is a different parameter.
  EXPECT_EQ(value_of("GET /x?zip=1&ip=2 HTTP/1.1\r\n\r\n", "ip", 79), "2");
  EXPECT_EQ(value_of("GET /x?goto=system HTTP/1.1\r\n\r\n", "to", 31, "preset"), "preset");
  EXPECT_EQ(value_of("GET /x?menu=1&u=http://a HTTP/1.1\r\n\r\n", "u", 2047), "http://a");
}

TEST(QueryValue, IgnoresHeadersAndBody) {
  EXPECT_EQ(value_of("GET /reboot HTTP/1.1\r\nX-A: to=recovery\r\n\r\nto=x", "to", 31, "system"), "system");
  EXPECT_EQ(value_of("POST /flash HTTP/1.1\r\n\r\n?partition=boot", "partition", 63), "");
}

TEST(QueryValue, CutsAtCapAndKeepsEscapes) {
  EXPECT_EQ(value_of("GET /x?port=12345678901234567890 HTTP/1.1", "port", 15), "123456789012345");
  std::string req = "GET /x?partition=" + std::string(70, 'a') + " HTTP/1.1";
  EXPECT_EQ(value_of(req.c_str(), "partition", 63), std::string(63, 'a'));
  EXPECT_EQ(value_of("GET /x?partition=boot%5Fa HTTP/1.1", "partition", 63), "boot%5Fa");
  EXPECT_EQ(value_of("GET /x?to=a#b?c;d=e+f&z HTTP/1.1", "to", 31), "a#b?c;d=e+f");
}

TEST(QueryValue, EmptyValueAndEndOfText) {
  EXPECT_EQ(value_of("GET /reboot?to= HTTP/1.1", "to", 31, "system"), "");
  EXPECT_EQ(value_of("GET /reboot?to=bootloader", "to", 31), "bootloader");
  EXPECT_EQ(value_of("GET /reboot?to=fastbootd\r\n", "to", 31), "fastbootd");
}

TEST(UrlDecode, FollowsTheEscapeRules) {
  EXPECT_EQ(decoded(""), "");
  EXPECT_EQ(decoded("a+b"), "a b");
  EXPECT_EQ(decoded("a%2fb%2Fc"), "a/b/c");
  EXPECT_EQ(decoded("100%"), "100%");
  EXPECT_EQ(decoded("x%4"), "x%4");
  EXPECT_EQ(decoded("%G1"), "\x01");
  EXPECT_EQ(decoded("https%3A%2F%2Fexample.com%2Fa.img"), "https://example.com/a.img");
  // %zz decodes to NUL, which ends the text for every later use.
  EXPECT_EQ(decoded("ab%zzcd"), "ab");
}

TEST(UrlDecode, CountsTheBytesPastAnEncodedNul) {
  char out[url_decoded_size];
  EXPECT_EQ(url_decode("R1%00EVIL", out), 7);
  EXPECT_STREQ(out, "R1");
  EXPECT_EQ(url_decode("a%2Fb+c", out), 5);
  EXPECT_EQ(url_decode("", out), 0);
  EXPECT_EQ(url_decode(std::string(3000, 'a').c_str(), out), 2047);
}

TEST(UrlDecode, KeepsAtMost2047Bytes) {
  std::string long_text(3000, 'a');
  EXPECT_EQ(decoded(long_text.c_str()).size(), 2047u);
}

TEST(Headers, NamesMatchWithoutLetterCaseOnlyInTheHead) {
  const char* req = "POST /flash HTTP/1.1\r\ncontent-length:    12\r\nx-talvik-bridge: \r\n\r\nOrigin: http://a";
  char v[256];
  EXPECT_TRUE(header_value(view_text(req), "Content-Length", v, 255));
  EXPECT_STREQ(v, "12");
  EXPECT_TRUE(has_header(view_text(req), "X-Talvik-Bridge"));
  EXPECT_FALSE(has_header(view_text(req), "Origin"));
  EXPECT_EQ(announced_length(view_text(req)), 12);
  EXPECT_FALSE(has_header(view_text("GET /?Origin: x HTTP/1.1\r\n\r\n"), "Origin"));
}

TEST(Headers, HeadLengthFindsTheBlankLine) {
  const char req[] = "GET / HTTP/1.1\r\nA: b\r\n\r\nbody";
  EXPECT_EQ(head_length(req, sizeof req - 1), 24);
  EXPECT_EQ(head_length("GET / HTTP/1.1\r\nA: b\r\n", 22), -1);
}

TEST(Headers, BareLineFeedsEndTheHeadAndTheBodyIsNeverSearched) {
  const char lf[] = "POST /flash HTTP/1.1\nContent-Length: 4\n\nX-Talvik-Bridge: 1\n";
  HeadView head = view_head(lf, sizeof lf - 1);
  EXPECT_EQ(head.body, 40);
  EXPECT_EQ(announced_length(head), 4);
  EXPECT_FALSE(has_header(head, "X-Talvik-Bridge"));
  // A CR LF head whose blank line is a bare LF, and the other way round.
  EXPECT_EQ(head_length("GET / HTTP/1.1\r\nA: b\r\n\nX", 24), 23);
  EXPECT_EQ(head_length("GET / HTTP/1.1\nA: b\n\r\nX", 23), 22);
  EXPECT_EQ(head_length("GET / HTTP/1.1\nA: b\n", 20), -1);
  // Before the blank line arrives every received line counts as a header.
  HeadView partial = view_head("GET / HTTP/1.1\nOrigin: x\n", 25);
  char v[16];
  EXPECT_TRUE(header_value(partial, "Origin", v, 15));
  EXPECT_STREQ(v, "x");
}

TEST(Headers, OnlyPlainContentLengthFramingIsSpoken) {
  EXPECT_TRUE(body_framing_is_plain(view_text("POST / HTTP/1.1\r\nContent-Length: 5\r\n\r\n")));
  EXPECT_TRUE(body_framing_is_plain(view_text("POST / HTTP/1.1\r\nContent-Length: 5\r\ncontent-length:5\r\n\r\n")));
  EXPECT_FALSE(body_framing_is_plain(view_text("POST / HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n")));
  EXPECT_FALSE(
      body_framing_is_plain(view_text("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\nContent-Length: 5\r\n\r\n")));
  // Framing words in the body are body bytes.
  EXPECT_TRUE(body_framing_is_plain(view_text("POST / HTTP/1.1\r\nContent-Length: 5\r\n\r\nTransfer-Encoding: x")));
  EXPECT_TRUE(expects_continue(view_text("POST / HTTP/1.1\r\nexpect: 100-Continue\r\n\r\n")));
  EXPECT_FALSE(expects_continue(view_text("POST / HTTP/1.1\r\n\r\nExpect: 100-continue")));
}

TEST(ParseInt64, ReadsLikeAtoi64) {
  EXPECT_EQ(parse_int64("  42abc"), 42);
  EXPECT_EQ(parse_int64("-5"), -5);
  EXPECT_EQ(parse_int64("x1"), 0);
  EXPECT_EQ(parse_int64("2147483649"), 2147483649LL);
  EXPECT_EQ(parse_int64("99999999999999999999999"), 0x7fffffffffffffffLL);
  EXPECT_EQ(parse_int64("-99999999999999999999999"), static_cast<long long>(0x8000000000000000ULL));
}
