// A reply that tells the page how long work goes while it runs: with
// `Accept: application/x-ndjson` the flashing routes answer one JSON object
// per line (progress lines, none with an "ok" member), and last the same
// body a plain reply has, followed by a line feed. A request without that
// header gets the plain reply, byte for byte.
#pragma once
#include "http/exchange.h"
#include "http/request_values.h"

// Whether the request's Accept header names application/x-ndjson.
bool wants_progress(const HeadView& head);

// Formats the streamed reply's head (200, no Content-Length, Connection:
// close) into `out` (head_buffer_size bytes); returns its length.
int stream_head(char* out, const char* origin);

// The longest progress line, its line feed included.
constexpr int progress_line_cap = 1024;

// Where a reply's bytes go: the request's socket, or a test's record.
class ReplyConnection {
 public:
  // One send that never waits: bytes taken (0: none now) or
  // platform::send_failed.
  virtual int send_now(const char* data, int size) = 0;
  // Sends all of it, waiting as needed; stops at the first failed send.
  virtual void send_all(const char* data, int size) = 0;

 protected:
  ~ReplyConnection() = default;
};

class SocketConnection final : public ReplyConnection {
 public:
  explicit SocketConnection(platform::socket_id socket) : socket_(socket) {}
  int send_now(const char* data, int size) override { return platform::send_now(socket_, data, size); }
  void send_all(const char* data, int size) override { ::send_all(socket_, data, size); }

 private:
  platform::socket_id socket_;
};

// The reply of one flashing request. Progress lines never wait for the
// page: a line the connection cannot take at once waits in a small buffer,
// later lines are dropped while it waits (the next line says more), and
// once a send fails (the page went away) nothing more is sent. The tool
// run is never held up or cut by the page.
class ProgressStream {
 public:
  // `streamed` from wants_progress; when false, line() does nothing and
  // finish() sends the plain reply.
  ProgressStream(ReplyConnection& connection, const char* origin, bool streamed)
      : connection_(connection), origin_(origin), streamed_(streamed) {}
  ProgressStream(const ProgressStream&) = delete;
  ProgressStream& operator=(const ProgressStream&) = delete;

  bool streamed() const { return streamed_; }

  // Sends one JSON object (without its line feed) as a progress line; the
  // first one goes out with the head. A line longer than progress_line_cap
  // - 1 is a programming error and is dropped.
  void line(const char* object);

  // Ends the reply with `body`: the plain reply when not streamed or when
  // no line went out yet (a refusal before any work reads as it always
  // did), else what is still waiting, the body and a line feed, each sent
  // whole.
  void finish(const char* body, int length);
  void finish(const char* body);

  // Progress lines handed to the connection, and those dropped.
  int lines_sent() const { return sent_; }
  int lines_dropped() const { return dropped_; }
  // A send failed: the page is gone.
  bool gone() const { return gone_; }

 private:
  bool send_waiting();

  ReplyConnection& connection_;
  const char* origin_;
  bool streamed_;
  bool begun_ = false;
  bool gone_ = false;
  int sent_ = 0;
  int dropped_ = 0;
  // Bytes handed to send_now but not yet taken: the head and one line at
  // most.
  char waiting_[head_buffer_size + progress_line_cap];
  int waiting_from_ = 0;
  int waiting_to_ = 0;
};
