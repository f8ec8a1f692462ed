#include "actions/flash_progress.h"

#include <cstdio>
#include <cstring>

#include "http/json_escape.h"

namespace {

// raw images are turned into sparse ones first; fastboot says so, and it
// means nothing to the person flashing.
constexpr char raw_image_note[] = "Invalid sparse file format at header magic";

// Writes the line for `stage`, with the phone's or fastboot's own words
// when given (already escaped).
void stage_line(const FlashStage& stage, const char* phone, const char* text, long long quiet_s, char* out, int size) {
  // fastboot's own text is told as it is, whatever step it came in (a
  // FAILED while a part is sent or written most of all).
  if (text != nullptr) {
    std::snprintf(out, size, "{\"stage\":\"text\",\"text\":\"%s\",\"quiet_s\":%lld}", text, quiet_s);
    return;
  }
  const char* name = "preparing";
  switch (stage.step) {
    case FastbootStep::sending:
      if (phone != nullptr) {
        std::snprintf(out, size,
                      "{\"stage\":\"sending\",\"part\":%d,\"parts\":%d,\"kb\":%lld,\"phone\":\"%s\",\"quiet_s\":%lld}",
                      stage.part, stage.parts, stage.kb, phone, quiet_s);
      } else {
        std::snprintf(out, size, "{\"stage\":\"sending\",\"part\":%d,\"parts\":%d,\"kb\":%lld,\"quiet_s\":%lld}",
                      stage.part, stage.parts, stage.kb, quiet_s);
      }
      return;
    case FastbootStep::writing:
      if (phone != nullptr) {
        std::snprintf(out, size, "{\"stage\":\"writing\",\"part\":%d,\"parts\":%d,\"phone\":\"%s\",\"quiet_s\":%lld}",
                      stage.part, stage.parts, phone, quiet_s);
      } else {
        std::snprintf(out, size, "{\"stage\":\"writing\",\"part\":%d,\"parts\":%d,\"quiet_s\":%lld}", stage.part,
                      stage.parts, quiet_s);
      }
      return;
    case FastbootStep::booting:
      name = "booting";
      break;
    case FastbootStep::waiting:
      name = "waiting";
      break;
    default:
      break;
  }
  if (phone != nullptr) {
    std::snprintf(out, size, "{\"stage\":\"%s\",\"phone\":\"%s\",\"quiet_s\":%lld}", name, phone, quiet_s);
  } else {
    std::snprintf(out, size, "{\"stage\":\"%s\",\"quiet_s\":%lld}", name, quiet_s);
  }
}

// fastboot's words for a JSON string, cut to progress_text_cap first.
void escaped(const char* words, char* out) {
  char cut[progress_text_cap + 1];
  std::snprintf(cut, sizeof cut, "%s", words);
  json_escape_tool_text(cut, out, 2 * progress_text_cap);
}

}  // namespace

bool format_progress_line(const FastbootMessage& message, FlashStage& stage, char* out, int size) {
  char words[2 * progress_text_cap + 1];
  switch (message.step) {
    case FastbootStep::sending:
      stage = {FastbootStep::sending, message.part, message.parts, message.kb};
      break;
    case FastbootStep::writing:
      stage.step = FastbootStep::writing;
      break;
    case FastbootStep::booting:
    case FastbootStep::waiting:
      stage.step = message.step;
      break;
    case FastbootStep::phone_says:
      escaped(message.text, words);
      stage_line(stage, words, nullptr, 0, out, size);
      return true;
    case FastbootStep::okay:
    case FastbootStep::finished:
      return false;
    case FastbootStep::failed:
    case FastbootStep::text:
      if (std::strcmp(message.text, raw_image_note) == 0) return false;
      escaped(message.text, words);
      stage_line(stage, nullptr, words, 0, out, size);
      return true;
  }
  stage_line(stage, nullptr, nullptr, 0, out, size);
  return true;
}

void format_quiet_line(const FlashStage& stage, long long quiet_s, char* out, int size) {
  stage_line(stage, nullptr, nullptr, quiet_s, out, size);
}

FlashProgress::FlashProgress(ProgressStream& stream) : stream_(stream), last_output_(Clock::now()) {}

long long FlashProgress::quiet_seconds(Clock::time_point now) const {
  return std::chrono::duration_cast<std::chrono::seconds>(now - last_output_).count();
}

void FlashProgress::saw(const char* bytes, int n) {
  OutputWords::saw(bytes, n);
  last_output_ = Clock::now();
  next_quiet_s_ = quiet_line_s;
  if (stream_.streamed()) messages_.feed(bytes, n, lines_);
}

bool FlashProgress::should_end() {
  if (!stream_.streamed()) return false;
  const long long quiet = quiet_seconds(Clock::now());
  if (quiet >= next_quiet_s_) {
    char line[progress_line_cap];
    format_quiet_line(stage_, quiet, line, sizeof line);
    stream_.line(line);
    next_quiet_s_ = quiet + quiet_line_s;
  }
  return false;
}

void FlashProgress::ended() {
  if (stream_.streamed()) messages_.end(lines_);
}

void FlashProgress::Lines::message(const FastbootMessage& message) {
  char line[progress_line_cap];
  if (format_progress_line(message, owner_.stage_, line, sizeof line)) owner_.stream_.line(line);
}
