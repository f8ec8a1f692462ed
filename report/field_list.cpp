#include "report/field_list.h"

#include <cstdio>
#include <cstring>

#include "http/json_escape.h"

namespace {

constexpr int label_limit = 254;
constexpr int value_limit = 510;
constexpr int item_size = 900;

}  // namespace

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
