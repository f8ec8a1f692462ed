#include "actions/upload_route.h"

#include <cstring>

#include "actions/flash_reply.h"
#include "actions/partition_guard.h"
#include "actions/temp_image.h"
#include "platform/net.h"
#include "server/framing.h"
#include "server/request_values.h"
#include "tools/device_list.h"
#include "tools/tool_locator.h"

namespace {

constexpr char bad_name_body[] = "{\"ok\":false,\"error\":\"partition name theek nahi\"}";
constexpr char identity_body[] =
    "{\"ok\":false,\"error\":\"Ye identity partition (IMEI/EFS/NV/FRP) hai - ispar flash BLOCK hai (legal).\"}";
constexpr char bad_size_body[] = "{\"ok\":false,\"error\":\"file size theek nahi (0 ya 2GB se zyada)\"}";
constexpr char incomplete_body[] = "{\"ok\":false,\"error\":\"file poori receive nahi hui\"}";

constexpr long long largest_upload = 2147483648LL;  // 2 GiB
// Large receives and writes: far fewer system calls per MiB (which is what
// limits the rate under Wine), while the image is still never held whole.
constexpr int receive_chunk = 1 << 20;
constexpr char continue_line[] = "HTTP/1.1 100 Continue\r\n\r\n";
// A body that stops arriving for this long counts as cut off.
constexpr int body_silence_ms = 30000;

// Streams the body into `path`: first the bytes that came with the head,
// then the rest from the socket. True when all `announced` bytes were
// received and written.
bool receive_body(Exchange& ex, int head, long long announced, const char* path) {
  ImageWriter file;
  if (!file.open(path)) return false;
  long long first_part = ex.received - head;
  long long written = first_part < announced ? first_part : announced;
  if (!file.write(ex.request + head, static_cast<int>(written))) return false;

  static char chunk[receive_chunk];
  while (written < announced) {
    long long left = announced - written;
    int want = left < receive_chunk ? static_cast<int>(left) : receive_chunk;
    int n = platform::receive_some(ex.socket, chunk, want, body_silence_ms);
    if (n == platform::recv_timed_out) ex.client_stalled = true;
    if (n <= 0) return false;
    ex.body_taken += n;
    if (!file.write(chunk, n)) return false;
    written += n;
  }
  return file.finish();
}

}  // namespace

void handle_upload(Exchange& ex) {
  const bool boot = std::strncmp(ex.request, "POST /boot", 10) == 0;
  const long long announced = announced_length(ex.head);
  const int head = ex.head.body;

  char partition[partition_name_cap + 1] = {};
  query_value(ex.request, "partition", partition, partition_name_cap);
  if (!boot) {
    if (!is_valid_partition_name(partition)) return send_fixed_json(ex.socket, ex.reply_origin, bad_name_body);
    if (is_identity_partition(partition)) return send_fixed_json(ex.socket, ex.reply_origin, identity_body);
  }
  // Chunked or doubly announced bodies are refused rather than stored with
  // their framing in them.
  if (!body_framing_is_plain(ex.head) || announced < 1 || announced > largest_upload) {
    return send_fixed_json(ex.socket, ex.reply_origin, bad_size_body);
  }
  // Without the blank line the body's start is unknown.
  if (head < 0) return send_fixed_json(ex.socket, ex.reply_origin, incomplete_body);
  // Before the body is read: an upload for no phone is refused at once.
  char fastboot[tool_path_size];
  char serial[serial_cap + 1];
  if (!choose_fastboot_phone(ex, fastboot, serial)) return;

  TempImage image(ex.context->bound_port);
  // The checks that need no body passed: a client that waits before sending
  // it (curl does for large bodies) may start now.
  if (expects_continue(ex.head) && ex.received - head < announced) {
    send_all(ex.socket, continue_line, static_cast<int>(sizeof continue_line - 1));
  }
  if (!image.usable() || !receive_body(ex, head, announced, image.path())) {
    image.remove();
    return send_fixed_json(ex.socket, ex.reply_origin, incomplete_body);
  }
  flash_image_and_reply(ex, fastboot, serial, boot ? nullptr : partition, image);
}
