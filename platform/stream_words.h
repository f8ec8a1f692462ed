// Finds fixed words in output that arrives in pieces: a word split over
// two reads, or standing after a NUL byte, is found all the same. Memory
// stays bounded whatever the amount of output: only the last few bytes of
// the stream are kept between pieces.
#pragma once

namespace platform {

class StreamWords {
 public:
  static constexpr int max_words = 12;
  static constexpr int longest_word = 31;

  // With `stream_starts_a_line`, a word that begins with a line feed is
  // also found at the very start of the stream, so "\nerror:" finds a line
  // that begins with "error:" wherever it stands.
  explicit StreamWords(bool stream_starts_a_line = false);

  // Watches `word` (1 to longest_word bytes; it must outlive the watcher)
  // and returns its index; -1 when max_words are watched already, the
  // word is empty or too long, or feeding has begun.
  int add(const char* word);

  // The next piece of the stream.
  void feed(const char* bytes, int n);

  // Whether words[index] occurred anywhere in what was fed.
  bool seen(int index) const { return index >= 0 && index < count_ && last_end_[index] >= 0; }
  // Stream offset just past the last occurrence of words[index]; -1 when
  // it has not occurred.
  long long last_end(int index) const { return index >= 0 && index < count_ ? last_end_[index] : -1; }
  // Bytes fed so far.
  long long total() const { return total_; }

 private:
  void found(int index, long long end_offset);

  const char* words_[max_words] = {};
  int count_ = 0;
  int lengths_[max_words] = {};
  long long last_end_[max_words] = {};
  // The stream's last bytes (fewer than the longest watched word), so that
  // a word split between two pieces is found.
  char carry_[longest_word] = {};
  int carry_len_ = 0;
  int longest_ = 1;
  long long total_ = 0;
};

}  // namespace platform
