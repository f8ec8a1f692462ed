// fastboot's messages as they arrive, read as messages rather than lines.
//
// fastboot writes every message to standard error at once. A step's first
// message ("Sending 'boot' (488 KB)", "Writing 'boot'", "Booting") is
// padded with spaces to 50 characters plus one, with no line feed: the
// phone's answer ("OKAY [  0.300s]", "FAILED (...)") ends the line when it
// comes, maybe seconds later, and the phone's own text ("(bootloader) ...")
// may come on the same line first. A reader that waited for line feeds
// would see each step only as it ended.
#pragma once

enum class FastbootStep {
  sending,     // "Sending 'P' (K KB)" or "Sending sparse 'P' n/m (K KB)"
  writing,     // "Writing 'P'"
  booting,     // "Booting"
  waiting,     // "< waiting for ... >": no phone answers yet
  phone_says,  // "(bootloader) TEXT": the phone's own words
  okay,        // "OKAY [  0.300s]": the step before it ended well
  failed,      // "FAILED (...)"
  finished,    // "Finished. Total time: ..."
  text,        // anything else fastboot printed
};

struct FastbootMessage {
  FastbootStep step = FastbootStep::text;
  // The message without trailing spaces, CR or line feed (for phone_says,
  // without "(bootloader) "); valid during the call that hands it over.
  const char* text = "";
  // sending: the part being sent (1 of 1 for an image sent whole) and its
  // size as fastboot prints it.
  int part = 0;
  int parts = 0;
  long long kb = -1;
};

class FastbootMessageSink {
 public:
  virtual void message(const FastbootMessage& message) = 0;

 protected:
  ~FastbootMessageSink() = default;
};

// Reads fastboot's output in pieces of any size (split anywhere, CR LF or
// LF, NUL bytes dropped) and hands each message to the sink as soon as it
// is whole. Memory is bounded: a message longer than message_cap is handed
// over cut, as text, and the rest of its line is skipped.
class FastbootMessages {
 public:
  static constexpr int message_cap = 1024;

  void feed(const char* bytes, int n, FastbootMessageSink& sink);
  // The output ended: a message still open is handed over.
  void end(FastbootMessageSink& sink);

 private:
  void complete(FastbootMessageSink& sink);
  bool prolog_is_whole() const;

  char text_[message_cap + 1] = {};
  int length_ = 0;
  bool skipping_ = false;
};

// Reads one whole message (trailing spaces, CR and LF already gone) into
// `out`; the text stays in `text`. Exposed for tests.
FastbootMessage read_fastboot_message(char* text);
