#include "actions/flash_reply.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "actions/flash_progress.h"
#include "actions/image_check.h"
#include "actions/judged_run.h"
#include "actions/temp_image.h"
#include "http/exchange.h"
#include "http/json_escape.h"
#include "http/reply_texts.h"
#include "phones/phone_choice.h"
#include "tools/limits.h"
#include "tools/provisioning.h"
#include "tools/scratch.h"
#include "tools/tool_contract.h"
#include "tools/tool_locator.h"

namespace {

constexpr char body_end[] = "\"}";

// The longest wrong-image body: its frame, the longest words and a 41-byte
// partition name.
constexpr int wrong_image_body_size = 256;

// fastboot's log and the reply that carries it.
struct FlashBuffers {
  static constexpr char name[] = "flash reply";
  char output[flash_output_size];
  char body[flash_body_size];
};
Scratch<FlashBuffers> flash_scratch;

const char* found_words(ImageKind kind) {
  switch (kind.header) {
    case ImageHeader::boot:
      return kind.sparse ? sparse_boot_words : found_boot_words;
    case ImageHeader::vendor_boot:
      return kind.sparse ? sparse_vendor_boot_words : found_vendor_boot_words;
    case ImageHeader::elf:
      return kind.sparse ? sparse_elf_words : found_elf_words;
    case ImageHeader::none:
      break;
  }
  return kind.sparse ? sparse_none_words : found_none_words;
}

const char* need_words(ImageNeed need) {
  switch (need) {
    case ImageNeed::vendor_boot:
      return need_vendor_boot_words;
    case ImageNeed::boot_run:
      return need_boot_run_words;
    case ImageNeed::any:
    case ImageNeed::boot:
      break;
  }
  return need_boot_words;
}

}  // namespace

void watch_flash_words(OutputWords& words) {
  words.watch(contract::flash_success_words);
  words.watch(contract::flash_failure_word);
}

bool flash_verdict(const OutputWords& words) {
  return words.seen_any(contract::flash_success_words) && !words.seen(contract::flash_failure_word);
}

bool flash_verdict(const char* output) {
  OutputWords words;
  watch_flash_words(words);
  words.saw(output, static_cast<int>(std::strlen(output)));
  return flash_verdict(words);
}

int format_wrong_image_body(ImageKind kind, ImageNeed need, const char* partition, char* body, int size) {
  const int n = partition != nullptr
                    ? std::snprintf(body, size, wrong_image_format, found_words(kind), partition, need_words(need))
                    : std::snprintf(body, size, wrong_boot_image_format, found_words(kind), need_words(need));
  return n < 0 ? 0 : (n < size ? n : size - 1);
}

int format_flash_body(bool flashed, const char* shown_partition, const char* output, char* body, int size,
                      int notes_at) {
  int n = std::snprintf(body, size, flash_body_opening, json_bool(flashed), shown_partition);
  // The escaped log takes what is left after the closing characters and NUL.
  int limit = size - n - static_cast<int>(sizeof body_end);
  if (n < 0 || limit < 0) return 0;
  json_escape_tool_text_keeping_tail(output, notes_at, body + n, limit);
  while (body[n] != '\0') ++n;
  std::snprintf(body + n, size - n, "%s", body_end);
  return n + static_cast<int>(sizeof body_end) - 1;
}

bool fetch_fastboot_and_choose_phone_or_refuse(Exchange& ex, char* fastboot, char* serial) {
  ensure_fastboot();
  // Without fastboot (none found, or one that cannot be started) no phone
  // would be listed: say what is missing.
  find_tool("fastboot", fastboot);
  const PhoneChoice choice =
      fastboot_present() ? choose_phone(ToolKind::fastboot, fastboot, serial_in_request(ex.request, serial), serial)
                         : PhoneChoice::tool_missing;
  if (choice == PhoneChoice::chosen) return true;
  if (choice == PhoneChoice::tool_missing) {
    send_fixed_json(ex.socket, ex.reply_origin, fastboot_missing_body);
    return false;
  }
  send_json(ex.socket, ex.reply_origin, phone_choice_body(ToolKind::fastboot, choice));
  return false;
}

void flash_image_and_reply(const char* fastboot, const char* serial, const char* partition, TempImage& image,
                           ProgressStream& stream) {
  const ImageNeed need = image_need(partition);
  ImageKind kind;
  const ImageVerdict judged = judge_image_file(image.path(), need, &kind);
  if (judged != ImageVerdict::fits) {
    image.remove();
    if (judged == ImageVerdict::no_image) return stream.finish(not_an_image_body, sizeof not_an_image_body - 1);
    char refusal[wrong_image_body_size];
    const int length = format_wrong_image_body(kind, need, partition, refusal, sizeof refusal);
    return stream.finish(refusal, length);
  }
  char command[flash_command_size];
  int n = partition != nullptr
              ? std::snprintf(command, sizeof command, contract::flash_cmd, fastboot, serial, partition, image.path())
              : std::snprintf(command, sizeof command, contract::boot_cmd, fastboot, serial, image.path());
  ScratchHold<FlashBuffers> scratch(flash_scratch);
  auto& output = scratch->output;
  output[0] = '\0';
  // A cut command line would name another file; it is not run.
  JudgedRun flash{ToolRun{RunEnd::not_started, false}, -1};
  FlashProgress words(stream);
  watch_flash_words(words);
  if (n > 0 && n < static_cast<int>(sizeof command)) {
    std::error_code error;
    char line[progress_line_cap];
    std::snprintf(line, sizeof line, "{\"stage\":\"received\",\"bytes\":%lld}",
                  static_cast<long long>(std::filesystem::file_size(image.path(), error)));
    stream.line(line);
    format_quiet_line(FlashStage{}, 0, line, sizeof line);
    stream.line(line);
    flash = run_judged(command, output, sizeof output, flash_timeout_ms, RunKind::transfer, words);
    words.ended();
  }
  image.remove();

  auto& body = scratch->body;
  // A run the bridge had to end failed, whatever fastboot printed before;
  // one that never started printed no success word.
  const bool flashed = flash.run.end != RunEnd::timed_out && flash_verdict(words);
  int length = format_flash_body(flashed, partition != nullptr ? partition : boot_shown_partition, output, body,
                                 sizeof body, flash.notes_at);
  stream.finish(body, length);
}
