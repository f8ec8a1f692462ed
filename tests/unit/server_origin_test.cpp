#include <gtest/gtest.h>

#include <string>

#include "http/exchange.h"
#include "server/origin.h"

namespace {
std::string with_origin(const std::string& origin, const std::string& extra = "") {
  return "GET /ping HTTP/1.1\r\nOrigin: " + origin + "\r\n" + extra + "\r\n";
}
}  // namespace

TEST(ReplyOrigin, EchoesOnlyExactAllowedOrigins) {
  EXPECT_STREQ(reply_origin(view_text(with_origin("http://localhost:8080").c_str())), "http://localhost:8080");
  EXPECT_STREQ(reply_origin(view_text(with_origin("http://127.0.0.1:8080").c_str())), "http://127.0.0.1:8080");
  EXPECT_STREQ(reply_origin(view_text(with_origin("https://talvik.pk").c_str())), "https://talvik.pk");
  for (const char* other : {"http://localhost:8081", "http://localhost:8080/", "HTTP://LOCALHOST:8080",
                            "http://localhost:8080 ", "null", "https://evil.example"}) {
    EXPECT_STREQ(reply_origin(view_text(with_origin(other).c_str())), "https://www.talvik.pk") << other;
  }
  EXPECT_STREQ(reply_origin(view_text("GET /ping HTTP/1.1\r\n\r\n")), "https://www.talvik.pk");
  // A tab after the colon is part of the value.
  EXPECT_STREQ(reply_origin(view_text("GET / HTTP/1.1\r\nOrigin:\thttp://localhost:8080\r\n\r\n")),
               "https://www.talvik.pk");
}

TEST(OriginValue, CutsAt255Bytes) {
  char out[origin_value_size];
  ASSERT_TRUE(origin_value(view_text(with_origin(std::string(300, 'o')).c_str()), out));
  EXPECT_EQ(std::string(out), std::string(255, 'o'));
}

TEST(Trust, NeedsAllowedOriginAndBridgeHeaderInAnyCase) {
  EXPECT_TRUE(request_is_trusted(view_text(with_origin("http://localhost:8080", "X-Talvik-Bridge: 1\r\n").c_str())));
  EXPECT_TRUE(request_is_trusted(view_text(with_origin("http://localhost:8080", "x-talvik-bridge: 1\r\n").c_str())));
  EXPECT_TRUE(request_is_trusted(view_text(with_origin("https://www.talvik.pk", "X-Talvik-Bridge:\r\n").c_str())));
  EXPECT_TRUE(
      request_is_trusted(view_text("GET / HTTP/1.1\r\norigin: http://localhost:8080\r\nX-Talvik-Bridge: 1\r\n\r\n")));
  EXPECT_FALSE(request_is_trusted(view_text(with_origin("http://localhost:8080").c_str())));
  EXPECT_FALSE(request_is_trusted(view_text(with_origin("http://localhost:8081", "X-Talvik-Bridge: 1\r\n").c_str())));
  EXPECT_FALSE(request_is_trusted(view_text("GET / HTTP/1.1\r\nX-Talvik-Bridge: 1\r\n\r\n")));
  // The header name in the body does not count.
  EXPECT_FALSE(request_is_trusted(view_text(
      "POST /flash HTTP/1.1\r\nOrigin: http://localhost:8080\r\nContent-Length: 20\r\n\r\nX-Talvik-Bridge: 1\r\n")));
}

TEST(HostGuard, AcceptsOnlyLoopbackNames) {
  EXPECT_TRUE(host_is_allowed(view_text("GET / HTTP/1.1\r\n\r\n"), 9765));
  EXPECT_TRUE(host_is_allowed(view_text("GET / HTTP/1.1\r\nHost: 127.0.0.1:9765\r\n\r\n"), 9765));
  EXPECT_TRUE(host_is_allowed(view_text("GET / HTTP/1.1\r\nhost: localhost\r\n\r\n"), 9765));
  EXPECT_FALSE(host_is_allowed(view_text("GET / HTTP/1.1\r\nHost: localhost:9766\r\n\r\n"), 9765));
  EXPECT_FALSE(host_is_allowed(view_text("GET / HTTP/1.1\r\nHost: evil.example:9765\r\n\r\n"), 9765));
  EXPECT_FALSE(host_is_allowed(view_text("GET / HTTP/1.1\r\nHost: 127.0.0.1.evil.example\r\n\r\n"), 9765));
}

TEST(Framing, JsonHeadBytes) {
  char head[head_buffer_size];
  int n = json_head(head, "application/json", 41, "http://localhost:8080");
  EXPECT_EQ(std::string(head, static_cast<size_t>(n)),
            "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 41\r\n"
            "Access-Control-Allow-Origin: http://localhost:8080\r\nVary: Origin\r\n"
            "Access-Control-Allow-Methods: GET, POST, OPTIONS\r\n"
            "Access-Control-Allow-Headers: Content-Type, X-Talvik-Bridge\r\n"
            "Access-Control-Allow-Private-Network: true\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(sizeof forbidden_body - 1, 41u);
  EXPECT_EQ(sizeof unknown_body - 1, 30u);
}
