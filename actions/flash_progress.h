// The progress lines of a flash or boot: what fastboot is doing, read from
// its messages while it runs, and how long it has said nothing.
#pragma once
#include <chrono>

#include "actions/fastboot_messages.h"
#include "http/progress_stream.h"
#include "tools/process_runner.h"

// Where a flash stands, as its progress lines tell it.
struct FlashStage {
  FastbootStep step = FastbootStep::text;  // text: nothing fastboot said yet
  int part = 0;                            // the part being sent or written
  int parts = 0;
  long long kb = -1;
};

// The longest text of fastboot's a progress line carries (before escaping).
constexpr int progress_text_cap = 160;

// Moves `stage` on by a message and formats the progress line it gives
// into `out` (`size` bytes, at least progress_line_cap); false when it
// gives none (an OKAY, the closing "Finished", fastboot's harmless note on
// a raw image). Each line says "quiet_s":0: fastboot just spoke.
bool format_progress_line(const FastbootMessage& message, FlashStage& stage, char* out, int size);

// The line that repeats where the flash stands while fastboot has said
// nothing for `quiet_s` seconds ("preparing" before its first message).
void format_quiet_line(const FlashStage& stage, long long quiet_s, char* out, int size);

// Watches a flash's output: the verdict's words (watch_flash_words, set by
// the caller), and, when the stream is on, a progress line per message and
// one every quiet_line_s while fastboot says nothing.
class FlashProgress : public OutputWords {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr int quiet_line_s = 5;

  explicit FlashProgress(ProgressStream& stream);
  void saw(const char* bytes, int n) override;
  // Never ends the run; sends the quiet line when it is due.
  bool should_end() override;
  int check_every_ms() const override { return stream_.streamed() ? 1000 : 0; }
  // The run ended: a message still open is told.
  void ended();

 private:
  class Lines : public FastbootMessageSink {
   public:
    explicit Lines(FlashProgress& owner) : owner_(owner) {}
    void message(const FastbootMessage& message) override;

   private:
    FlashProgress& owner_;
  };

  long long quiet_seconds(Clock::time_point now) const;

  ProgressStream& stream_;
  FastbootMessages messages_;
  Lines lines_{*this};
  FlashStage stage_;
  Clock::time_point last_output_;
  long long next_quiet_s_ = quiet_line_s;
};
