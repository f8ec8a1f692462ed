// The streamed reply: opt-in only, never waiting for the page, and ending
// with the plain reply's body.
#include <gtest/gtest.h>

#include <string>

#include "http/progress_stream.h"

namespace {

// A connection that takes what it is told to and records it.
class Recorded : public ReplyConnection {
 public:
  int send_now(const char* data, int size) override {
    if (failing) return platform::send_failed;
    const int n = size < room ? size : room;
    room -= n;
    bytes.append(data, static_cast<size_t>(n));
    return n;
  }
  void send_all(const char* data, int size) override {
    if (!failing) bytes.append(data, static_cast<size_t>(size));
  }
  std::string bytes;
  int room = 1 << 20;  // what send_now takes before the connection is full
  bool failing = false;
};

constexpr char origin[] = "https://talvik.pk";
constexpr char body[] = "{\"ok\":true,\"partition\":\"boot\",\"log\":\"OKAY\"}";

std::string plain_reply() {
  char head[head_buffer_size];
  const int n = json_head(head, "application/json", static_cast<int>(sizeof body - 1), origin);
  return std::string(head, static_cast<size_t>(n)) + body;
}

std::string body_of(const std::string& reply) { return reply.substr(reply.find("\r\n\r\n") + 4); }

}  // namespace

TEST(ProgressStream, OnlyAnAcceptOfNdjsonOptsIn) {
  EXPECT_TRUE(wants_progress(view_text("POST /flash HTTP/1.1\r\nAccept: application/x-ndjson\r\n\r\n")));
  EXPECT_TRUE(wants_progress(view_text("POST /flash HTTP/1.1\r\naccept: text/html, Application/X-NDJSON;q=1\r\n\r\n")));
  EXPECT_FALSE(wants_progress(view_text("POST /flash HTTP/1.1\r\nAccept: application/json\r\n\r\n")));
  EXPECT_FALSE(wants_progress(view_text("POST /flash?accept=application/x-ndjson HTTP/1.1\r\n\r\n")));
  EXPECT_FALSE(wants_progress(view_text("POST /flash HTTP/1.1\r\nX-Accept: application/x-ndjson\r\n\r\n")));
}

TEST(ProgressStream, WithoutTheOptInOrBeforeAnyLineTheReplyIsThePlainOne) {
  Recorded off;
  ProgressStream plain(off, origin, false);
  plain.line("{\"stage\":\"received\",\"bytes\":1}");
  plain.finish(body);
  EXPECT_EQ(off.bytes, plain_reply());

  // A refusal before any work, on a request that opted in.
  Recorded on;
  ProgressStream refused(on, origin, true);
  refused.finish(body);
  EXPECT_EQ(on.bytes, plain_reply());
}

TEST(ProgressStream, TheStreamIsAHeadLinesAndTheSameBody) {
  Recorded c;
  ProgressStream stream(c, origin, true);
  stream.line("{\"stage\":\"received\",\"bytes\":5}");
  stream.line("{\"stage\":\"preparing\",\"quiet_s\":0}");
  stream.finish(body);
  const std::string head = c.bytes.substr(0, c.bytes.find("\r\n\r\n") + 4);
  EXPECT_EQ(head.find("HTTP/1.1 200 OK\r\n"), 0u);
  EXPECT_NE(head.find("\r\nContent-Type: application/x-ndjson\r\n"), std::string::npos);
  EXPECT_NE(head.find("\r\nX-Content-Type-Options: nosniff\r\n"), std::string::npos);
  EXPECT_NE(head.find("\r\nConnection: close\r\n"), std::string::npos);
  EXPECT_NE(head.find("\r\nAccess-Control-Allow-Origin: https://talvik.pk\r\n"), std::string::npos);
  EXPECT_NE(head.find("\r\nAccess-Control-Allow-Private-Network: true\r\n"), std::string::npos);
  EXPECT_NE(head.find("\r\nCache-Control: no-store\r\n"), std::string::npos);
  EXPECT_EQ(head.find("Content-Length"), std::string::npos);
  EXPECT_EQ(
      body_of(c.bytes),
      std::string("{\"stage\":\"received\",\"bytes\":5}\n{\"stage\":\"preparing\",\"quiet_s\":0}\n") + body + "\n");
  EXPECT_EQ(stream.lines_sent(), 2);
}

TEST(ProgressStream, ALineTheConnectionCannotTakeWaitsAndLaterOnesAreDropped) {
  Recorded c;
  ProgressStream stream(c, origin, true);
  stream.line("{\"n\":1}");
  c.room = 3;  // the page reads slowly: three bytes of the next line go
  stream.line("{\"n\":2}");
  c.room = 0;
  stream.line("{\"n\":3}");
  stream.line("{\"n\":4}");
  EXPECT_EQ(stream.lines_dropped(), 2);
  c.room = 1 << 20;
  stream.line("{\"n\":5}");
  stream.finish(body);
  // Whole lines only, in order: the waiting one finished before the next.
  EXPECT_EQ(body_of(c.bytes), std::string("{\"n\":1}\n{\"n\":2}\n{\"n\":5}\n") + body + "\n");
}

TEST(ProgressStream, APageThatWentAwayGetsNoMoreLines) {
  Recorded c;
  ProgressStream stream(c, origin, true);
  stream.line("{\"n\":1}");
  c.failing = true;
  stream.line("{\"n\":2}");
  EXPECT_TRUE(stream.gone());
  c.failing = false;
  stream.line("{\"n\":3}");
  EXPECT_EQ(body_of(c.bytes), "{\"n\":1}\n");
  EXPECT_EQ(stream.lines_sent(), 2);
}
