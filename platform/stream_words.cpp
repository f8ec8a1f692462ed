#include "platform/stream_words.h"

#include <cstring>

namespace platform {

namespace {

// First position at or after `from` where `word` starts in `text`; -1 when
// none. Plain bytes: a NUL is a byte like any other.
long long find_from(const char* text, long long length, long long from, const char* word, int word_length) {
  const char first = word[0];
  for (long long i = from; i + word_length <= length; ++i) {
    const void* hit = std::memchr(text + i, first, static_cast<size_t>(length - word_length - i + 1));
    if (hit == nullptr) return -1;
    i = static_cast<const char*>(hit) - text;
    if (std::memcmp(text + i, word, static_cast<size_t>(word_length)) == 0) return i;
  }
  return -1;
}

}  // namespace

StreamWords::StreamWords(bool stream_starts_a_line) {
  if (stream_starts_a_line) {
    carry_[0] = '\n';
    carry_len_ = 1;
  }
}

int StreamWords::add(const char* word) {
  const size_t length = std::strlen(word);
  if (count_ >= max_words || total_ > 0 || length == 0 || length > static_cast<size_t>(longest_word)) return -1;
  words_[count_] = word;
  lengths_[count_] = static_cast<int>(length);
  last_end_[count_] = -1;
  if (lengths_[count_] > longest_) longest_ = lengths_[count_];
  return count_++;
}

void StreamWords::found(int index, long long end_offset) {
  if (end_offset > last_end_[index]) last_end_[index] = end_offset;
}

void StreamWords::feed(const char* bytes, int n) {
  if (n <= 0) return;
  // Words that begin in the carried bytes and end in this piece.
  char joined[2 * longest_word];
  const int head = n < longest_ - 1 ? n : longest_ - 1;
  std::memcpy(joined, carry_, static_cast<size_t>(carry_len_));
  std::memcpy(joined + carry_len_, bytes, static_cast<size_t>(head));
  const int joined_len = carry_len_ + head;
  for (int w = 0; w < count_; ++w) {
    for (long long at = 0; (at = find_from(joined, joined_len, at, words_[w], lengths_[w])) >= 0; ++at) {
      if (at >= carry_len_) break;  // begins in this piece: found below
      const long long end = at + lengths_[w];
      if (end > carry_len_) found(w, total_ + (end - carry_len_));
    }
  }
  // Words wholly inside this piece; the last occurrence is what counts.
  for (int w = 0; w < count_; ++w) {
    for (long long at = 0; (at = find_from(bytes, n, at, words_[w], lengths_[w])) >= 0; ++at) {
      found(w, total_ + at + lengths_[w]);
    }
  }
  // Keep the stream's last longest_ - 1 bytes.
  const int keep = longest_ - 1;
  if (n >= keep) {
    std::memcpy(carry_, bytes + n - keep, static_cast<size_t>(keep));
    carry_len_ = keep;
  } else {
    const int from_carry = carry_len_ + n > keep ? keep - n : carry_len_;
    std::memmove(carry_, carry_ + carry_len_ - from_carry, static_cast<size_t>(from_carry));
    std::memcpy(carry_ + from_carry, bytes, static_cast<size_t>(n));
    carry_len_ = from_carry + n;
  }
  total_ += n;
}

}  // namespace platform
