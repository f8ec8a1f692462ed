// The request text helpers over any received bytes.
#include "fuzz/fuzz_support.h"
#include "http/request_values.h"

namespace {

constexpr const char* query_names[] = {"partition", "ip", "port", "code", "u", "to", ""};
constexpr const char* header_names[] = {"Origin", "Host", "Content-Length", "X-Talvik-Bridge", ""};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string request = fuzz::text_of(data, size);
  const char* text = request.c_str();
  // head_length sees the raw count, NULs included, as the request loop gives it.
  const int received = static_cast<int>(size < 4095 ? size : 4095);
  const int head = head_length(text, received);
  fuzz::require(head == -1 || (head >= 2 && head <= received), "head length inside what was received");
  if (head > 0) {
    fuzz::require(text[head - 1] == '\n' &&
                      (text[head - 2] == '\n' || (head >= 3 && std::memcmp(text + head - 3, "\n\r", 2) == 0)),
                  "head ends with a blank line");
  }

  for (const char* name : query_names) {
    for (int cap : {0, 1, 15, 63, 79, 2047}) {
      fuzz::Buffer value(static_cast<size_t>(cap) + 1);
      value.get()[0] = '\0';
      query_value(text, name, value.get(), cap);
      fuzz::require(value.terminated(), "query value NUL-terminated");
      const std::string v = value.text();
      fuzz::require(v.size() <= static_cast<size_t>(cap), "query value within its cap");
      fuzz::require(v.find_first_of("\r\n &") == std::string::npos, "query value holds no terminator");
    }
  }
  const HeadView view = view_text(text);
  for (const char* name : header_names) {
    for (int cap : {0, 7, 255}) {
      fuzz::Buffer value(static_cast<size_t>(cap) + 1);
      const bool found = header_value(view, name, value.get(), cap);
      fuzz::require(value.terminated(), "header value NUL-terminated");
      fuzz::require(value.text().size() <= static_cast<size_t>(cap), "header value within its cap");
      fuzz::require(found || value.text().empty(), "an absent header leaves the value empty");
      fuzz::require(found == has_header(view, name), "has_header agrees with header_value");
    }
  }
  (void)announced_length(view);
  (void)parse_int64(text);

  fuzz::Buffer decoded(url_decoded_size);
  url_decode(text, decoded.get());
  fuzz::require(decoded.terminated(), "decoded URL NUL-terminated");
  fuzz::require(decoded.text().size() <= 2047, "decoded URL within 2,047 bytes");
  return 0;
}
