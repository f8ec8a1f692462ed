#include "report/text_scan.h"

#include <climits>
#include <cstring>

int leading_int(const char* text) {
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '-' || *p == '+') negative = *p++ == '-';
  long long value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (value <= INT_MAX) value = value * 10 + (*p - '0');
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

int count_occurrences(const char* text, const char* key) {
  size_t key_len = std::strlen(key);
  int count = 0;
  for (const char* p = std::strstr(text, key); p != nullptr; p = std::strstr(p + key_len, key)) ++count;
  return count;
}

void copy_line(const char* from, char* out, int cap) {
  int n = 0;
  while (n < cap && from[n] != '\0' && from[n] != '\r' && from[n] != '\n') {
    out[n] = from[n];
    ++n;
  }
  out[n] = '\0';
}

void copy_digits(const char* from, char* out, int cap) {
  int n = 0;
  while (n < cap && from[n] >= '0' && from[n] <= '9') {
    out[n] = from[n];
    ++n;
  }
  out[n] = '\0';
}

const char* skip_spaces(const char* text) {
  while (*text == ' ') ++text;
  return text;
}

void to_upper_ascii(char* text) {
  for (; *text != '\0'; ++text) {
    if (*text >= 'a' && *text <= 'z') *text = static_cast<char>(*text - 'a' + 'A');
  }
}
