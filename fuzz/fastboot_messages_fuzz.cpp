// fastboot's output read as messages over any bytes: the messages do not
// depend on where the reads split the output, no message outgrows its cap,
// and every progress line a message gives is well-formed JSON that fits its
// line. The first byte of the input chooses the read size.
#include <string>
#include <vector>

#include "actions/fastboot_messages.h"
#include "actions/flash_progress.h"
#include "fuzz/fuzz_support.h"

namespace {

bool json_string_is_clean(const std::string& line) {
  for (unsigned char c : line) {
    if (c < 0x20) return false;
  }
  return true;
}

class Record : public FastbootMessageSink {
 public:
  void message(const FastbootMessage& m) override {
    const std::string text = m.text;
    fuzz::require(text.size() <= static_cast<size_t>(FastbootMessages::message_cap), "a message stays under its cap");
    fuzz::require(text.empty() || (text.back() != ' ' && text.back() != '\r'), "a message has no trailing padding");
    seen.push_back(std::to_string(static_cast<int>(m.step)) + ":" + std::to_string(m.part) + "/" +
                   std::to_string(m.parts) + ":" + std::to_string(m.kb) + ":" + text);
    char line[progress_line_cap];
    if (format_progress_line(m, stage, line, sizeof line)) {
      const std::string shown = line;
      fuzz::require(shown.size() < static_cast<size_t>(progress_line_cap) - 1, "a progress line fits its buffer");
      fuzz::require(shown.front() == '{' && shown.back() == '}' && json_string_is_clean(shown),
                    "a progress line is one JSON object without control bytes");
    }
  }
  std::vector<std::string> seen;
  FlashStage stage;
};

std::vector<std::string> read_in_pieces(const std::string& output, size_t piece) {
  Record record;
  FastbootMessages messages;
  for (size_t i = 0; i < output.size(); i += piece) {
    messages.feed(output.data() + i, static_cast<int>(std::min(piece, output.size() - i)), record);
  }
  messages.end(record);
  return record.seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t piece = 1 + data[0] % 64;
  const std::string output = fuzz::text_of(data + 1, size - 1);
  const auto whole = read_in_pieces(output, output.size() + 1);
  fuzz::require(read_in_pieces(output, piece) == whole, "messages do not depend on the read boundaries");
  return 0;
}
