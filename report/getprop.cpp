#include "report/getprop.h"

#include <cstdio>
#include <cstring>

void getprop_value(const char* text, const char* name, char* dest, int cap) {
  dest[0] = '\0';
  char pattern[128];
  int n = std::snprintf(pattern, sizeof pattern, "[%s]: [", name);
  if (n < 0 || n >= static_cast<int>(sizeof pattern)) return;
  const char* found = std::strstr(text, pattern);
  if (found == nullptr) return;
  const char* start = found + n;
  const char* end = std::strchr(start, ']');
  if (end == nullptr) return;
  size_t len = static_cast<size_t>(end - start);
  if (len > static_cast<size_t>(cap)) len = static_cast<size_t>(cap);
  std::memcpy(dest, start, len);
  dest[len] = '\0';
}

void getprop_chain(const char* text, const char* first, const char* second, char* dest, int cap) {
  getprop_value(text, first, dest, cap);
  if (dest[0] == '\0') getprop_value(text, second, dest, cap);
}
