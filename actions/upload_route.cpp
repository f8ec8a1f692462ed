#include "actions/upload_route.h"

#include <cstring>

#include "actions/flash_reply.h"
#include "actions/partition_guard.h"
#include "actions/temp_image.h"
#include "http/body_reader.h"
#include "http/exchange.h"
#include "http/http_limits.h"
#include "http/progress_stream.h"
#include "http/request_values.h"
#include "phones/phone_list.h"
#include "tools/limits.h"
#include "tools/tool_locator.h"

namespace {

// Streams the body into the image file at `path`; true when all of it was
// received and written.
bool receive_image(Exchange& ex, long long announced, const char* path) {
  ImageWriter file;
  if (!file.open(path)) return false;
  return receive_body(ex, announced, file) && file.finish();
}

}  // namespace

void handle_upload(Exchange& ex) {
  const bool boot = std::strncmp(ex.request, "POST /boot", 10) == 0;
  const long long announced = announced_length(ex.head);
  const int head = ex.head.body;

  char partition[partition_name_cap + 1] = {};
  query_value(ex.request, "partition", partition, partition_name_cap);
  if (!boot) {
    if (!is_valid_partition_name(partition)) return send_fixed_json(ex.socket, ex.reply_origin, upload_bad_name_body);
    if (is_identity_partition(partition)) return send_fixed_json(ex.socket, ex.reply_origin, upload_identity_body);
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
  if (!fetch_fastboot_and_choose_phone_or_refuse(ex, fastboot, serial)) return;

  // The checks that need no body passed: a client that waits before
  // sending it (curl does for large bodies) is told to start now.
  TempImage image(ex.context->bound_port);
  if (!image.usable() || !receive_image(ex, announced, image.path())) {
    image.remove();
    return send_fixed_json(ex.socket, ex.reply_origin, incomplete_body);
  }
  SocketConnection connection(ex.socket);
  ProgressStream stream(connection, ex.reply_origin, wants_progress(ex.head));
  flash_image_and_reply(fastboot, serial, boot ? nullptr : partition, image, stream);
}
