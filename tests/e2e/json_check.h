// A strict check that a text is one well-formed JSON value in valid UTF-8.
// Header-only so unit and end-to-end tests can both use it.
#pragma once
#include <cstring>
#include <string>

namespace json_check {

struct Checker {
  const std::string& s;
  size_t i = 0;

  char peek() const { return i < s.size() ? s[i] : '\0'; }
  void space() {
    while (std::strchr(" \t\r\n", peek()) != nullptr && peek() != '\0') ++i;
  }
  bool eat(char c) {
    space();
    if (peek() != c) return false;
    ++i;
    return true;
  }
  bool word(const char* w) { return s.compare(i, std::strlen(w), w) == 0 && (i += std::strlen(w), true); }
  bool string() {
    for (++i; i < s.size(); ++i) {
      unsigned char c = static_cast<unsigned char>(s[i]);
      if (c == '"') return ++i, true;
      if (c < 0x20) return false;
      if (c == '\\' && (++i >= s.size() || std::strchr("\"\\/bfnrtu", s[i]) == nullptr)) return false;
    }
    return false;
  }
  bool number() {
    size_t start = i;
    while (std::strchr("+-0123456789.eE", peek()) != nullptr && peek() != '\0') ++i;
    return i > start;
  }
  template <char Close>
  bool items(bool keyed) {
    ++i;
    if (eat(Close)) return true;
    do {
      space();
      if (keyed && (peek() != '"' || !string() || !eat(':'))) return false;
      if (!value()) return false;
    } while (eat(','));
    return eat(Close);
  }
  bool value() {
    space();
    switch (peek()) {
      case '{':
        return items<'}'>(true);
      case '[':
        return items<']'>(false);
      case '"':
        return string();
      case 't':
        return word("true");
      case 'f':
        return word("false");
      case 'n':
        return word("null");
      default:
        return number();
    }
  }
  bool utf8() const {
    for (size_t k = 0; k < s.size();) {
      unsigned char c = static_cast<unsigned char>(s[k]);
      size_t extra = c < 0x80                   ? 0
                     : (c >= 0xC2 && c <= 0xDF) ? 1
                     : (c >= 0xE0 && c <= 0xEF) ? 2
                     : (c >= 0xF0 && c <= 0xF4) ? 3
                                                : 9;
      if (extra == 9 || k + extra >= s.size() + (extra == 0)) return false;
      for (size_t j = 1; j <= extra; ++j)
        if ((static_cast<unsigned char>(s[k + j]) & 0xC0) != 0x80) return false;
      k += extra + 1;
    }
    return true;
  }
};

inline bool well_formed(const std::string& text) {
  Checker c{text};
  if (!c.value()) return false;
  c.space();
  return c.i == text.size() && c.utf8();
}

}  // namespace json_check
