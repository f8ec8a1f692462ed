// Helpers shared by the fuzz targets: the input as a C text, output buffers
// of exactly the size a caller owns (so AddressSanitizer sees any byte
// written past them), and a check that stops the run with a message.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace fuzz {

// Stops the run (libFuzzer then saves the input) when `holds` is false.
inline void require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %s\n", what);
  std::abort();
}

// The input bytes followed by a NUL, as the request buffer holds them.
inline std::string text_of(const uint8_t* data, size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

// An output buffer of exactly `size` bytes, filled with a marker byte so
// that a missing NUL shows.
struct Buffer {
  explicit Buffer(size_t size) : bytes(new char[size]), size(size) { std::memset(bytes.get(), 'Z', size); }
  char* get() { return bytes.get(); }
  // True when a NUL ends the text inside the buffer.
  bool terminated() const { return std::memchr(bytes.get(), '\0', size) != nullptr; }
  std::string text() const { return std::string(bytes.get()); }

  std::unique_ptr<char[]> bytes;
  size_t size;
};

// Splits the input at its first NUL: the part before it, and the rest.
inline std::pair<std::string, std::string> split_at_nul(const uint8_t* data, size_t size) {
  std::string all = text_of(data, size);
  size_t cut = all.find('\0');
  if (cut == std::string::npos) return {all, ""};
  return {all.substr(0, cut), all.substr(cut + 1)};
}

}  // namespace fuzz
