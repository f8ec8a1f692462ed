#include "actions/flashurl_route.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "actions/download_command.h"
#include "actions/flash_reply.h"
#include "actions/image_url.h"
#include "actions/judged_run.h"
#include "actions/partition_guard.h"
#include "actions/temp_image.h"
#include "http/exchange.h"
#include "http/http_limits.h"
#include "http/json_escape.h"
#include "http/progress_stream.h"
#include "http/request_values.h"
#include "phones/phone_list.h"
#include "platform/files.h"
#include "tools/limits.h"
#include "tools/process_runner.h"
#include "tools/scratch.h"
#include "tools/tool_locator.h"

namespace {

constexpr int raw_url_cap = 2047;
constexpr int download_log_limit = 2 * image_download_output_size;

// What the downloader printed, and the failure reply that carries it.
struct FlashUrlBuffers {
  static constexpr char name[] = "GET /flashurl";
  char output[image_download_output_size];
  char log[download_log_limit + 1];
  char body[download_log_limit + 128];
};
Scratch<FlashUrlBuffers> flashurl_scratch;

// True when the file is there and holds at least one byte.
bool holds_data(const char* path) {
  if (!platform::is_present_file(path)) return false;
  std::FILE* f = platform::open_file(path, "rb");
  if (f == nullptr) return false;
  bool has_byte = std::fgetc(f) != EOF;
  std::fclose(f);
  return has_byte;
}

// More than an upload may hold (downloaders that were told no size write
// on).
bool too_big(const char* path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  return !error && size > static_cast<std::uintmax_t>(largest_upload);
}

enum class Download { done, failed, too_big, bad_redirect };

// At most this many redirects are followed.
constexpr int most_redirects = 5;

// Downloads `url` into the image file; done when a fresh, non-empty file of
// at most 2 GiB came out of it. A redirect is followed only to an address
// that passes the same checks as the page's own (never back to the bridge,
// `own_port`). `output` (image_download_output_size bytes, empty on entry)
// gets what the downloader printed.
Download download(const char* first_url, int own_port, TempImage& image, char* output, ProgressStream& stream) {
  char url[url_decoded_size];
  std::snprintf(url, sizeof url, "%s", first_url);
  for (int hop = 0;; ++hop) {
    char command[download_command_size];
    if (!format_download_command(url, image.path(), command, sizeof command, stream.streamed())) {
      return Download::failed;
    }
    // Only a file written by this download may pass the test below.
    image.remove();
    output[0] = '\0';
    DownloadWatch words(image.path(), largest_upload, &stream);
    const JudgedRun judged =
        run_judged(command, output, image_download_output_size, image_download_timeout_ms, RunKind::download, words);
    if (stream.streamed()) strip_reply_heads(output);
    if (download_too_big(words) || words.over_size() || too_big(image.path())) return Download::too_big;
    char next[url_decoded_size];
    if (take_redirect(output, next, sizeof next)) {
      if (hop >= most_redirects || !is_safe_image_url(next) || url_reaches_port(next, own_port)) {
        return Download::bad_redirect;
      }
      std::snprintf(url, sizeof url, "%s", next);
      continue;
    }
    // A downloader that never started wrote no file: holds_data says so.
    const bool done =
        judged.run.end != RunEnd::timed_out && !download_reported_error(words) && holds_data(image.path());
    return done ? Download::done : Download::failed;
  }
}

// Sends the download's failure with the downloader's words in `buffers`.
void send_download_failure(ProgressStream& stream, FlashUrlBuffers& buffers) {
  json_escape_tool_text(buffers.output, buffers.log, download_log_limit);
  std::snprintf(buffers.body, sizeof buffers.body, download_failure_format, buffers.log);
  stream.finish(buffers.body);
}

}  // namespace

void handle_flashurl(Exchange& ex) {
  char partition[partition_name_cap + 1] = {};
  query_value(ex.request, "partition", partition, partition_name_cap);
  char raw_url[raw_url_cap + 1] = {};
  query_value(ex.request, "u", raw_url, raw_url_cap);
  char url[url_decoded_size];
  url_decode(raw_url, url);

  if (!is_valid_partition_name(partition)) return send_fixed_json(ex.socket, ex.reply_origin, url_bad_name_body);
  if (is_identity_partition(partition)) return send_fixed_json(ex.socket, ex.reply_origin, url_identity_body);
  // An address of the bridge itself would make the downloader wait on the
  // bridge, which is busy waiting for the download.
  if (!is_safe_image_url(url) || url_reaches_port(url, ex.context->bound_port)) {
    return send_fixed_json(ex.socket, ex.reply_origin, bad_url_body);
  }

  // The phone is chosen before anything is downloaded.
  char fastboot[tool_path_size];
  char serial[serial_cap + 1];
  if (!fetch_fastboot_and_choose_phone_or_refuse(ex, fastboot, serial)) return;

  TempImage image(ex.context->bound_port);
  SocketConnection connection(ex.socket);
  ProgressStream stream(connection, ex.reply_origin, wants_progress(ex.head));
  {
    ScratchHold<FlashUrlBuffers> scratch(flashurl_scratch);
    scratch->output[0] = '\0';
    char line[progress_line_cap];
    format_download_line(0, -1, 0, line, sizeof line);
    stream.line(line);
    const Download got =
        image.usable() ? download(url, ex.context->bound_port, image, scratch->output, stream) : Download::failed;
    if (got != Download::done) {
      image.remove();
      if (got == Download::too_big) return stream.finish(download_too_big_body, sizeof download_too_big_body - 1);
      if (got == Download::bad_redirect) return stream.finish(bad_url_body, sizeof bad_url_body - 1);
      return send_download_failure(stream, *scratch);
    }
  }
  flash_image_and_reply(fastboot, serial, partition, image, stream);
}
