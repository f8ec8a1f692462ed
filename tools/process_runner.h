// The only way the bridge starts another program.
#pragma once
#include "platform/process.h"
#include "platform/stream_words.h"
#include "tools/limits.h"

// How a run is bounded.
enum class RunKind {
  // Reports, wireless, reboot, kill-server: the time-out bounds the whole
  // run; a child still running then is ended.
  bounded,
  // Flash and boot: the time-out bounds the wait once the output has
  // ended. A real write may take long, so the whole run has no bound; the
  // run is ended when the child prints nothing at all for
  // transfer_idle_ms, or when it printed fastboot's "< waiting for" line
  // and nothing after it for waiting_limit_ms (the phone it waits for has
  // gone).
  transfer,
  // Downloads: the time-out bounds the wait once the output has ended and
  // the whole run is bounded by download_limit_ms. Downloaders print
  // nothing while they work, so their own connect and stall limits end a
  // stalled transfer.
  download,
};

// fastboot's line while it waits for a phone.
constexpr char waiting_marker[] = "< waiting for";

// How a run ended, and what it gives besides its text: the platform's own
// two types, so that there is one meaning of each ending. Here timed_out
// also stands for a run that a spent RunBudget skipped.
using platform::RunEnd;
using platform::ToolRun;

// What the whole output of a run held, kept or not: which of the watched
// words occurred anywhere in it (also split over two reads or after a NUL
// byte) and how many bytes it had. A verdict is made from this, never from
// the kept text alone, which may be cut or stop early at a NUL.
class OutputWords : public platform::OutputObserver {
 public:
  // With `stream_starts_a_line`, a watched word that begins with a line
  // feed is also found at the very start of the output.
  explicit OutputWords(bool stream_starts_a_line = false) : stream_(stream_starts_a_line) {}

  // Watches each word (before the run); they must outlive this. More than
  // platform::StreamWords::max_words in all is a programming error that
  // ends the bridge.
  void watch(const char* word);
  template <int N>
  void watch(const char* const (&words)[N]) {
    for (const char* word : words) watch(word);
  }

  void saw(const char* bytes, int n) override { stream_.feed(bytes, n); }

  // Whether `word`, a watched word, occurred; asking for a word that is
  // not watched is a programming error that ends the bridge.
  bool seen(const char* word) const;
  template <int N>
  bool seen_any(const char* const (&words)[N]) const {
    for (const char* word : words) {
      if (seen(word)) return true;
    }
    return false;
  }
  // Bytes the tool printed in all.
  long long total() const { return stream_.total(); }

 private:
  const char* words_[platform::StreamWords::max_words] = {};
  int count_ = 0;
  platform::StreamWords stream_;
};

// The one way to run a tool: runs `command_line` hidden and leaves what it
// wrote on standard output and standard error, merged, in `output`: at
// most size - 1 bytes and a NUL. The result says how the run ended; when it
// was ended at its time-out and its output was also cut, timed_out is the
// answer. A tool that cannot be started is tried once more (a start may
// fail for a moment); when that fails too it leaves an empty text and the
// run is not_started. A `size` below 1 runs nothing: not_started. A child never outlives the bridge.
// When `words` is given it sees every byte the tool printed. `crashed`
// tells whether the program ended by a crash signal or with exit status
// 126 or 127, as a file does that starts but cannot really run
// (platform::run_captured); the run itself still ends as finished or
// output_cut.
ToolRun run_tool(const char* command_line, char* output, int size, unsigned timeout_ms, RunKind kind = RunKind::bounded,
                 OutputWords* words = nullptr);

// While a RunBudget lives, bounded runs share one deadline: each run's
// time-out is cut to what is left of `total_ms`, and once a run has been
// ended at its time-out (the phone is gone or hangs) every later run is
// skipped (timed_out) and leaves an empty text; a tool that could not be
// started does not spend the budget. The active budget is process-wide
// (one request at a time, see tools/scratch.h), and budgets do not nest:
// making one while another lives is a programming error that ends the
// bridge at once with a message on standard error, in every build.
class RunBudget {
 public:
  explicit RunBudget(unsigned total_ms);
  // From now on a run whose output begins with `unreachable` (adb's
  // "error:" for a phone that went away or offline) counts as timed out:
  // its text is emptied and later runs are skipped.
  void watch_for(const char* unreachable);
  ~RunBudget();
  RunBudget(const RunBudget&) = delete;
  RunBudget& operator=(const RunBudget&) = delete;
};
