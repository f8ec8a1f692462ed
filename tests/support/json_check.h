// A small strict reader of JSON text, for tests and fuzz targets: true when
// the bytes are exactly one JSON value with optional white space around it.
// It follows the JSON grammar byte by byte: strings may hold no byte below
// 0x20 and only the escapes \" \\ \/ \b \f \n \r \t and \uXXXX; bytes from
// 0x80 up are taken as they come (the bridge passes tool output through).
#pragma once
#include <cstddef>
#include <string>

namespace json_check {

class Reader {
 public:
  Reader(const char* text, size_t size) : p_(text), end_(text + size) {}

  bool whole_value() {
    skip_space();
    if (!value(0)) return false;
    skip_space();
    return p_ == end_;
  }

 private:
  static constexpr int max_depth = 64;

  bool at_end() const { return p_ >= end_; }
  char peek() const { return at_end() ? '\0' : *p_; }

  void skip_space() {
    while (!at_end() && (*p_ == ' ' || *p_ == '\t' || *p_ == '\n' || *p_ == '\r')) ++p_;
  }

  bool literal(const char* word) {
    for (; *word != '\0'; ++word, ++p_) {
      if (at_end() || *p_ != *word) return false;
    }
    return true;
  }

  static bool is_digit(char c) { return c >= '0' && c <= '9'; }
  static bool is_hex(char c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

  bool digits() {
    if (!is_digit(peek())) return false;
    while (is_digit(peek())) ++p_;
    return true;
  }

  bool number() {
    if (peek() == '-') ++p_;
    if (peek() == '0') {
      ++p_;
    } else if (!digits()) {
      return false;
    }
    if (peek() == '.') {
      ++p_;
      if (!digits()) return false;
    }
    if (peek() == 'e' || peek() == 'E') {
      ++p_;
      if (peek() == '+' || peek() == '-') ++p_;
      if (!digits()) return false;
    }
    return true;
  }

  bool string() {
    if (peek() != '"') return false;
    ++p_;
    while (!at_end()) {
      unsigned char c = static_cast<unsigned char>(*p_++);
      if (c == '"') return true;
      if (c < 0x20) return false;
      if (c != '\\') continue;
      if (at_end()) return false;
      char e = *p_++;
      if (e == 'u') {
        for (int i = 0; i < 4; ++i, ++p_) {
          if (at_end() || !is_hex(*p_)) return false;
        }
      } else if (e != '"' && e != '\\' && e != '/' && e != 'b' && e != 'f' && e != 'n' && e != 'r' && e != 't') {
        return false;
      }
    }
    return false;
  }

  bool value(int depth) {
    if (depth > max_depth) return false;
    switch (peek()) {
      case '{':
        return object(depth + 1);
      case '[':
        return array(depth + 1);
      case '"':
        return string();
      case 't':
        return literal("true");
      case 'f':
        return literal("false");
      case 'n':
        return literal("null");
      default:
        return number();
    }
  }

  bool object(int depth) {
    ++p_;
    skip_space();
    if (peek() == '}') return ++p_, true;
    for (;;) {
      skip_space();
      if (!string()) return false;
      skip_space();
      if (peek() != ':') return false;
      ++p_;
      skip_space();
      if (!value(depth)) return false;
      skip_space();
      if (peek() == '}') return ++p_, true;
      if (peek() != ',') return false;
      ++p_;
    }
  }

  bool array(int depth) {
    ++p_;
    skip_space();
    if (peek() == ']') return ++p_, true;
    for (;;) {
      skip_space();
      if (!value(depth)) return false;
      skip_space();
      if (peek() == ']') return ++p_, true;
      if (peek() != ',') return false;
      ++p_;
    }
  }

  const char* p_;
  const char* end_;
};

inline bool is_valid_json(const char* text, size_t size) { return Reader(text, size).whole_value(); }
inline bool is_valid_json(const std::string& text) { return is_valid_json(text.data(), text.size()); }

// True when `text` is valid UTF-8 (leads C2-F4, each followed by its
// continuation bytes).
inline bool is_valid_utf8(const std::string& text) {
  constexpr size_t bad = 9;
  for (size_t k = 0; k < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[k]);
    const size_t extra = c < 0x80                   ? 0
                         : (c >= 0xC2 && c <= 0xDF) ? 1
                         : (c >= 0xE0 && c <= 0xEF) ? 2
                         : (c >= 0xF0 && c <= 0xF4) ? 3
                                                    : bad;
    if (extra == bad || text.size() - k <= extra) return false;
    for (size_t j = 1; j <= extra; ++j) {
      if ((static_cast<unsigned char>(text[k + j]) & 0xC0) != 0x80) return false;
    }
    k += extra + 1;
  }
  return true;
}

// A reply body as a page receives it: one JSON value in valid UTF-8.
inline bool well_formed(const std::string& text) { return is_valid_json(text) && is_valid_utf8(text); }

}  // namespace json_check
