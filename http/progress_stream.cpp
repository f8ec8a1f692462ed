#include "http/progress_stream.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr char ndjson[] = "application/x-ndjson";
constexpr int accept_cap = 511;

bool contains_ignoring_case(const char* text, const char* word) {
  for (; *text != '\0'; ++text) {
    if (starts_ignoring_case(text, word)) return true;
  }
  return false;
}

}  // namespace

bool wants_progress(const HeadView& head) {
  char accept[accept_cap + 1];
  return header_value(head, "Accept", accept, accept_cap) && contains_ignoring_case(accept, ndjson);
}

int stream_head(char* out, const char* origin) { return json_head(out, ndjson, -1, origin); }

bool ProgressStream::send_waiting() {
  while (waiting_from_ < waiting_to_) {
    const int n = connection_.send_now(waiting_ + waiting_from_, waiting_to_ - waiting_from_);
    if (n == platform::send_failed) {
      gone_ = true;
      return false;
    }
    if (n == 0) return false;
    waiting_from_ += n;
  }
  waiting_from_ = waiting_to_ = 0;
  return true;
}

void ProgressStream::line(const char* object) {
  if (!streamed_ || gone_) return;
  const int length = static_cast<int>(std::strlen(object));
  if (length > progress_line_cap - 1 || !send_waiting()) {
    if (!gone_) ++dropped_;
    return;
  }
  int at = 0;
  if (!begun_) {
    at = stream_head(waiting_, origin_);
    begun_ = true;
  }
  std::memcpy(waiting_ + at, object, static_cast<size_t>(length));
  waiting_[at + length] = '\n';
  waiting_to_ = at + length + 1;
  ++sent_;
  send_waiting();
}

void ProgressStream::finish(const char* body, int length) {
  if (!streamed_ || !begun_) {
    // The plain reply, as send_json writes it.
    char head[head_buffer_size];
    connection_.send_all(head, json_head(head, "application/json", length, origin_));
    connection_.send_all(body, length);
    return;
  }
  // Sent as a plain reply is, even after a progress line failed.
  connection_.send_all(waiting_ + waiting_from_, waiting_to_ - waiting_from_);
  waiting_from_ = waiting_to_ = 0;
  connection_.send_all(body, length);
  connection_.send_all("\n", 1);
}

void ProgressStream::finish(const char* body) { finish(body, static_cast<int>(std::strlen(body))); }
