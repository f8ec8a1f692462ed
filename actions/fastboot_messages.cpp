#include "actions/fastboot_messages.h"

#include <cstdlib>
#include <cstring>

namespace {

// fastboot pads a step's first message to this width and adds one space.
constexpr int prolog_width = 50;

// The first words of the messages fastboot prints without a line feed.
constexpr const char* prolog_words[] = {"Sending ",  "Writing ",  "Booting",
                                        "Erasing ",  "Rebooting", "Resizing ",
                                        "Deleting ", "Creating ", "Setting current slot"};

bool starts_with(const char* text, const char* word) { return std::strncmp(text, word, std::strlen(word)) == 0; }

bool is_prolog(const char* text) {
  for (const char* word : prolog_words) {
    if (starts_with(text, word)) return true;
  }
  return false;
}

void trim_end(char* text) {
  size_t n = std::strlen(text);
  while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\r' || text[n - 1] == '\t')) text[--n] = '\0';
}

// "Sending sparse 'P' n/m (K KB)" or "Sending 'P' (K KB)".
void read_sending(const char* text, FastbootMessage& m) {
  m.part = 1;
  m.parts = 1;
  const char* close = std::strrchr(text, '\'');
  const char* open = std::strchr(text, '\'');
  if (close == nullptr || close == open) return;
  const char* p = close + 1;
  while (*p == ' ') ++p;
  if (*p >= '0' && *p <= '9') {
    char* end = nullptr;
    const long part = std::strtol(p, &end, 10);
    if (*end == '/') {
      const long parts = std::strtol(end + 1, &end, 10);
      if (part >= 1 && parts >= part && parts < 1000000) {
        m.part = static_cast<int>(part);
        m.parts = static_cast<int>(parts);
      }
      p = end;
    }
  }
  while (*p == ' ') ++p;
  if (*p == '(') {
    char* end = nullptr;
    const long long kb = std::strtoll(p + 1, &end, 10);
    if (end != p + 1 && starts_with(end, " KB)") && kb >= 0) m.kb = kb;
  }
}

}  // namespace

FastbootMessage read_fastboot_message(char* text) {
  FastbootMessage m;
  m.text = text;
  if (starts_with(text, "Sending ")) {
    m.step = FastbootStep::sending;
    read_sending(text, m);
  } else if (starts_with(text, "Writing ")) {
    m.step = FastbootStep::writing;
  } else if (starts_with(text, "Booting")) {
    m.step = FastbootStep::booting;
  } else if (starts_with(text, "< waiting for")) {
    m.step = FastbootStep::waiting;
  } else if (starts_with(text, "(bootloader) ")) {
    m.step = FastbootStep::phone_says;
    m.text = text + std::strlen("(bootloader) ");
  } else if (starts_with(text, "OKAY")) {
    m.step = FastbootStep::okay;
  } else if (starts_with(text, "FAILED")) {
    m.step = FastbootStep::failed;
  } else if (starts_with(text, "Finished")) {
    m.step = FastbootStep::finished;
  }
  return m;
}

// A prolog is whole once its padding is there: exactly 51 characters for a
// message of at most 50, else the message and one space, the message ending
// as fastboot's long ones do (a size's ")" or a name's quote). A shorter
// prefix of a long message that happens to end in a space waits for more;
// a long one of another shape is handed over with the rest of its line.
bool FastbootMessages::prolog_is_whole() const {
  if (length_ < prolog_width + 1 || text_[length_ - 1] != ' ' || !is_prolog(text_)) return false;
  int shown = length_;
  while (shown > 0 && text_[shown - 1] == ' ') --shown;
  if (shown <= prolog_width) return length_ == prolog_width + 1;
  return shown == length_ - 1 && (text_[shown - 1] == ')' || text_[shown - 1] == '\'');
}

void FastbootMessages::complete(FastbootMessageSink& sink) {
  text_[length_] = '\0';
  length_ = 0;
  trim_end(text_);
  if (text_[0] == '\0') return;
  sink.message(read_fastboot_message(text_));
}

void FastbootMessages::feed(const char* bytes, int n, FastbootMessageSink& sink) {
  for (int i = 0; i < n; ++i) {
    const char c = bytes[i];
    if (c == '\n') {
      if (!skipping_) complete(sink);
      skipping_ = false;
      length_ = 0;
      continue;
    }
    if (skipping_ || c == '\0') continue;
    text_[length_++] = c;
    if (length_ == message_cap) {
      complete(sink);
      skipping_ = true;
      continue;
    }
    if (c == ' ' && prolog_is_whole()) complete(sink);
  }
}

void FastbootMessages::end(FastbootMessageSink& sink) {
  if (!skipping_) complete(sink);
  skipping_ = false;
  length_ = 0;
}
