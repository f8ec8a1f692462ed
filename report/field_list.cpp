#include "report/field_list.h"

#include <cstdio>
#include <cstring>

#include "server/json_escape.h"

namespace {

constexpr int label_limit = 254;
constexpr int value_limit = 510;
constexpr int item_size = 900;

// How many bytes a sequence that starts with `lead` has, 0 for a byte that
// cannot start one.
int sequence_length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

}  // namespace

void trim_partial_utf8(char* text) {
  size_t len = std::strlen(text);
  // Step back over at most three continuation bytes to the lead byte.
  size_t back = 0;
  while (back < 3 && back < len && (static_cast<unsigned char>(text[len - 1 - back]) & 0xC0) == 0x80) ++back;
  if (back == len) return;
  size_t lead_at = len - 1 - back;
  int want = sequence_length(static_cast<unsigned char>(text[lead_at]));
  if (want > 1 && static_cast<size_t>(want) > back + 1) text[lead_at] = '\0';
}

void append_field(char* list, int* first, const char* label, const char* value, int cap) {
  if (value == nullptr || value[0] == '\0') return;
  if (label == nullptr) label = "";

  char label_text[label_limit + 2];
  char value_text[value_limit + 2];
  json_escape(label, label_text, label_limit);
  json_escape(value, value_text, value_limit);
  trim_partial_utf8(label_text);
  trim_partial_utf8(value_text);

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
