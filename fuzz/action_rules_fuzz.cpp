// The device routes' input rules and verdicts, checked against plain
// restatements of what they accept.
#include <algorithm>

#include "actions/flash_reply.h"
#include "actions/image_check.h"
#include "actions/partition_guard.h"
#include "actions/wifi_route.h"
#include "fuzz/fuzz_support.h"
#include "platform/stream_words.h"

namespace {

bool only(const std::string& s, size_t most, bool (*allowed)(char)) {
  if (s.empty() || s.size() > most) return false;
  for (char c : s) {
    if (!allowed(c)) return false;
  }
  return true;
}

bool ascii_alnum(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }
bool name_char(char c) { return ascii_alnum(c) || c == '_'; }
bool host_char(char c) { return ascii_alnum(c) || c == '-' || c == '.'; }
bool digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = fuzz::text_of(data, size);
  const char* s = text.c_str();
  const std::string value = s;  // up to the first NUL, as the routes see it

  const bool valid_name = is_valid_partition_name(s);
  fuzz::require(valid_name == only(value, 41, name_char), "partition names: 1 to 41 letters, digits, '_'");
  if (valid_name) (void)is_identity_partition(s);
  fuzz::require(is_valid_wifi_host(s) == only(value, 61, host_char), "hosts: 1 to 61 letters, digits, '-', '.'");
  fuzz::require(is_valid_wifi_port(s) == only(value, 5, digit), "ports: 1 to 5 digits");
  fuzz::require(is_valid_pairing_code(s) == only(value, 6, digit), "pairing codes: 1 to 6 digits");

  fuzz::Buffer action(wifi_action_cap + 1);
  wifi_action_word(s, action.get());
  fuzz::require(action.terminated(), "action word NUL-terminated");
  fuzz::require(action.text().size() <= static_cast<size_t>(wifi_action_cap), "action word within 15 bytes");

  (void)wifi_verdict(s);
  if (value.find("FAILED") != std::string::npos) fuzz::require(!flash_verdict(s), "FAILED is false");

  // Words in a stream fed in pieces (sizes taken from the input's first
  // byte) are found exactly where a search of the whole finds them.
  const char* words[] = {"OKAY", "FAILED", "\nerror:", "< waiting for", "aa"};
  platform::StreamWords stream(true);
  for (const char* w : words) stream.add(w);
  const size_t piece = size == 0 ? 1 : 1 + data[0] % 17;
  for (size_t at = 0; at < size; at += piece) {
    stream.feed(reinterpret_cast<const char*>(data) + at, static_cast<int>(std::min(piece, size - at)));
  }
  const std::string whole = "\n" + std::string(reinterpret_cast<const char*>(data), size);
  for (int i = 0; i < 5; ++i) {
    const size_t last = whole.rfind(words[i]);
    const long long expected =
        last == std::string::npos ? -1 : static_cast<long long>(last + std::strlen(words[i])) - 1;
    fuzz::require(stream.last_end(i) == expected, "stream words end where a whole-text search ends");
  }

  // Image kinds, over the raw bytes as a file's first chunk: a header found
  // lies within the bytes, at the start or (sparse) where the first chunk's
  // data begins; a verdict of the wrong kind is exactly a kind that does not
  // fit.
  const int count = static_cast<int>(size < static_cast<size_t>(image_chunk_size) ? size : image_chunk_size);
  const ImageKind kind = image_kind(data, count);
  if (kind.header != ImageHeader::none) {
    size_t at = 0;
    if (kind.sparse) at = static_cast<size_t>(data[8] | data[9] << 8) + static_cast<size_t>(data[10] | data[11] << 8);
    fuzz::require(at + 4 <= static_cast<size_t>(count), "a header found lies within the bytes");
    const char* magic = kind.header == ImageHeader::boot          ? "ANDROID!"
                        : kind.header == ImageHeader::vendor_boot ? "VNDRBOOT"
                                                                  : "\x7f"
                                                                    "ELF";
    fuzz::require(std::memcmp(data + at, magic, std::strlen(magic)) == 0, "the header found is there");
  }
  for (ImageNeed need : {ImageNeed::any, ImageNeed::boot, ImageNeed::vendor_boot, ImageNeed::boot_run}) {
    ImageKind judged_kind;
    const ImageVerdict verdict = judge_image(data, count, need, &judged_kind);
    fuzz::require(judged_kind.header == kind.header && judged_kind.sparse == kind.sparse, "one kind per image");
    if (verdict != ImageVerdict::no_image) {
      fuzz::require((verdict == ImageVerdict::fits) == kind_fits(kind, need),
                    "wrong kind exactly when it does not fit");
    }
  }
  return 0;
}
