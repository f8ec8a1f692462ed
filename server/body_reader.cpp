#include "server/body_reader.h"

#include "server/framing.h"
#include "server/request_values.h"

namespace {

constexpr char continue_line[] = "HTTP/1.1 100 Continue\r\n\r\n";

}  // namespace

bool receive_body(Exchange& ex, long long announced, BodyWriter& writer) {
  const int head = ex.head.body;
  const long long first_part = ex.received - head;
  if (expects_continue(ex.head) && first_part < announced) {
    send_all(ex.socket, continue_line, static_cast<int>(sizeof continue_line - 1));
  }
  long long written = first_part < announced ? first_part : announced;
  if (!writer.write(ex.request + head, static_cast<int>(written))) return false;

  // Large receives and writes: far fewer system calls per MiB (which is
  // what limits the rate under Wine), while the body is never held whole.
  static char chunk[receive_chunk];
  while (written < announced) {
    const long long left = announced - written;
    const int want = left < receive_chunk ? static_cast<int>(left) : receive_chunk;
    const int n = platform::receive_some(ex.socket, chunk, want, body_silence_ms);
    if (n == platform::recv_timed_out) ex.client_stalled = true;
    if (n <= 0) return false;
    ex.body_taken += n;
    if (!writer.write(chunk, n)) return false;
    written += n;
  }
  return true;
}
