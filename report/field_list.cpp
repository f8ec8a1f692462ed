#include "report/field_list.h"

#include <cstdio>
#include <cstring>

#include "server/json_escape.h"

namespace {

constexpr int label_limit = 254;
constexpr int value_limit = 510;
constexpr int item_size = 900;

// Length of the valid UTF-8 sequence at `p`, or 0 when none starts there
// (a stray byte, a cut or overlong sequence, a surrogate).
int valid_sequence(const unsigned char* p) {
  unsigned char c = p[0];
  if (c < 0x80) return 1;
  int length = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
  if (length == 0) return 0;
  unsigned char low = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
  unsigned char high = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
  if (p[1] < low || p[1] > high) return 0;
  for (int k = 2; k < length; ++k)
    if ((p[k] & 0xC0) != 0x80) return 0;
  return length;
}

}  // namespace

void keep_valid_utf8(char* text) {
  auto* in = reinterpret_cast<unsigned char*>(text);
  unsigned char* out = in;
  while (*in != '\0') {
    int length = valid_sequence(in);
    if (length == 0) {
      ++in;
      continue;
    }
    for (int k = 0; k < length; ++k) *out++ = *in++;
  }
  *out = '\0';
}

void append_field(char* list, int* first, const char* label, const char* value, int cap) {
  if (value == nullptr || value[0] == '\0') return;
  if (label == nullptr) label = "";

  char label_text[label_limit + 2];
  char value_text[value_limit + 2];
  json_escape(label, label_text, label_limit);
  json_escape(value, value_text, value_limit);
  keep_valid_utf8(label_text);
  keep_valid_utf8(value_text);

  char item[item_size];
  int item_len = std::snprintf(item, sizeof item, "%s[\"%s\",\"%s\"]", *first ? "" : ",", label_text, value_text);
  if (item_len < 0 || item_len >= static_cast<int>(sizeof item)) return;

  // A row that does not fit whole is left out; the flag stays as it was, so
  // the next row that fits gets the right separator.
  size_t used = std::strlen(list);
  if (used + static_cast<size_t>(item_len) > static_cast<size_t>(cap - 1)) return;
  std::memcpy(list + used, item, static_cast<size_t>(item_len) + 1);
  *first = 0;
}
