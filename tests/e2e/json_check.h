// A strict check that a text is one well-formed JSON value in valid UTF-8.
// Header-only so unit and end-to-end tests can both use it.
#pragma once
#include <cctype>
#include <string>

namespace json_check {

class Checker {
 public:
  explicit Checker(const std::string& text) : s_(text) {}

  bool document() {
    space();
    if (!value()) return false;
    space();
    return i_ == s_.size() && valid_utf8();
  }

 private:
  const std::string& s_;
  size_t i_ = 0;

  bool at(char c) const { return i_ < s_.size() && s_[i_] == c; }
  void space() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r')) ++i_;
  }
  bool word(const char* w) {
    size_t n = std::char_traits<char>::length(w);
    if (s_.compare(i_, n, w) != 0) return false;
    i_ += n;
    return true;
  }
  bool value() {
    if (i_ >= s_.size()) return false;
    switch (s_[i_]) {
      case '{':
        return object();
      case '[':
        return array();
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
  bool object() {
    ++i_;
    space();
    if (at('}')) return ++i_, true;
    for (;;) {
      space();
      if (!at('"') || !string()) return false;
      space();
      if (!at(':')) return false;
      ++i_;
      space();
      if (!value()) return false;
      space();
      if (at('}')) return ++i_, true;
      if (!at(',')) return false;
      ++i_;
    }
  }
  bool array() {
    ++i_;
    space();
    if (at(']')) return ++i_, true;
    for (;;) {
      space();
      if (!value()) return false;
      space();
      if (at(']')) return ++i_, true;
      if (!at(',')) return false;
      ++i_;
    }
  }
  bool string() {
    ++i_;
    while (i_ < s_.size()) {
      unsigned char c = static_cast<unsigned char>(s_[i_++]);
      if (c == '"') return true;
      if (c < 0x20) return false;
      if (c == '\\') {
        if (i_ >= s_.size()) return false;
        char e = s_[i_++];
        if (e == 'u') {
          for (int k = 0; k < 4; ++k, ++i_)
            if (i_ >= s_.size() || !std::isxdigit(static_cast<unsigned char>(s_[i_]))) return false;
        } else if (std::string("\"\\/bfnrt").find(e) == std::string::npos) {
          return false;
        }
      }
    }
    return false;
  }
  bool number() {
    size_t start = i_;
    if (at('-')) ++i_;
    if (at('0'))
      ++i_;
    else if (!digits())
      return false;
    if (at('.')) {
      ++i_;
      if (!digits()) return false;
    }
    if (at('e') || at('E')) {
      ++i_;
      if (at('+') || at('-')) ++i_;
      if (!digits()) return false;
    }
    return i_ > start;
  }
  bool digits() {
    size_t start = i_;
    while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_;
    return i_ > start;
  }
  bool valid_utf8() const {
    for (size_t k = 0; k < s_.size();) {
      unsigned char c = static_cast<unsigned char>(s_[k]);
      int extra = c < 0x80                   ? 0
                  : (c >= 0xC2 && c <= 0xDF) ? 1
                  : (c >= 0xE0 && c <= 0xEF) ? 2
                  : (c >= 0xF0 && c <= 0xF4) ? 3
                                             : -1;
      if (extra < 0 || k + static_cast<size_t>(extra) >= s_.size() + (extra == 0 ? 1 : 0)) return false;
      for (int j = 1; j <= extra; ++j)
        if ((static_cast<unsigned char>(s_[k + static_cast<size_t>(j)]) & 0xC0) != 0x80) return false;
      k += static_cast<size_t>(extra) + 1;
    }
    return true;
  }
};

inline bool well_formed(const std::string& text) { return Checker(text).document(); }

}  // namespace json_check
