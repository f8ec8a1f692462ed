// Words found in output that arrives in pieces, and the quiet bound that
// holds while fastboot waits for a phone.
#include <gtest/gtest.h>

#include <string>

#include "platform/stall_watch.h"
#include "platform/stream_words.h"

namespace {

// Feeds `text` in pieces of `piece` bytes.
void feed(platform::StreamWords& words, const std::string& text, size_t piece) {
  for (size_t at = 0; at < text.size(); at += piece) {
    const size_t n = std::min(piece, text.size() - at);
    words.feed(text.data() + at, static_cast<int>(n));
  }
}

}  // namespace

TEST(StreamWords, FindsAWordWhereverTheReadsSplitIt) {
  const std::string text = "Sending 'boot' OKAY\nWriting 'boot' FAILED (remote: 'flash write failure')\n";
  for (size_t piece = 1; piece <= text.size(); ++piece) {
    platform::StreamWords words;
    const int okay = words.add("OKAY");
    const int failed = words.add("FAILED");
    const int absent = words.add("Finished");
    feed(words, text, piece);
    EXPECT_TRUE(words.seen(okay)) << "pieces of " << piece;
    EXPECT_TRUE(words.seen(failed)) << "pieces of " << piece;
    EXPECT_FALSE(words.seen(absent)) << "pieces of " << piece;
    EXPECT_EQ(words.last_end(failed), static_cast<long long>(text.find("FAILED") + 6)) << "pieces of " << piece;
    EXPECT_EQ(words.total(), static_cast<long long>(text.size()));
  }
}

TEST(StreamWords, SeesPastNulBytesAndFarBeyondAnyBuffer) {
  platform::StreamWords words;
  const int failed = words.add("FAILED");
  const int finished = words.add("Finished");
  std::string text = "OKAY";
  text += '\0';
  text += "FAILED";
  feed(words, text, 3);
  EXPECT_TRUE(words.seen(failed));
  // Ten megabytes on one line, then the word, in 64 KiB reads.
  const std::string big(10 * 1024 * 1024, 'x');
  feed(words, big + "Finished. Total time: 1.0s\n", 65536);
  EXPECT_TRUE(words.seen(finished));
  EXPECT_EQ(words.total(), static_cast<long long>(text.size() + big.size() + 27));
}

TEST(StreamWords, ALineStartIsFoundAtTheStreamsStartAndAfterEachLineEnd) {
  platform::StreamWords at_start(true);
  const int error = at_start.add("\nerror:");
  feed(at_start, "error: device offline\n", 2);
  EXPECT_TRUE(at_start.seen(error));

  platform::StreamWords later(true);
  const int later_error = later.add("\nerror:");
  feed(later, "* daemon started successfully\nerror: no devices/emulators found\n", 5);
  EXPECT_TRUE(later.seen(later_error));

  platform::StreamWords inside(true);
  const int inside_error = inside.add("\nerror:");
  feed(inside, "note: no error: here\n", 1);
  EXPECT_FALSE(inside.seen(inside_error));

  // Without the flag the stream's start is no line start.
  platform::StreamWords plain;
  const int plain_error = plain.add("\nerror:");
  feed(plain, "error: x\n", 4);
  EXPECT_FALSE(plain.seen(plain_error));
}

TEST(StreamWords, RefusesWordsItCannotWatch) {
  platform::StreamWords words;
  EXPECT_EQ(words.add(""), -1);
  EXPECT_EQ(words.add(std::string(platform::StreamWords::longest_word + 1, 'a').c_str()), -1);
  for (int i = 0; i < platform::StreamWords::max_words; ++i) EXPECT_EQ(words.add("word"), i);
  EXPECT_EQ(words.add("one too many"), -1);
  platform::StreamWords fed;
  fed.feed("x", 1);
  EXPECT_EQ(fed.add("late"), -1);
}

namespace {

// A watch whose waiting bound (500 ms) is far shorter than its idle bound,
// so ms_left tells which of the two holds.
struct Watch {
  platform::RunLimits limits{1000, 600000, "< waiting for", 500, 600000};
  platform::StallWatch stall{limits};
  void saw(const std::string& text) { stall.saw_output(text.data(), static_cast<int>(text.size())); }
  bool waiting_bound() const { return stall.ms_left() <= 500; }
};

}  // namespace

TEST(StallWatch, TheWaitingBoundHoldsOnlyUntilTheToolSaysMore) {
  Watch watch;
  watch.saw("error: Failed to connect to tcp:127.0.0.1:5556\n");
  EXPECT_FALSE(watch.waiting_bound());
  // The waiting line, split over reads and without its end yet.
  watch.saw("< waiting for tcp:127.0");
  EXPECT_TRUE(watch.waiting_bound());
  watch.saw(".0.1:5556 >");
  EXPECT_TRUE(watch.waiting_bound());
  watch.saw("\r\n");
  EXPECT_TRUE(watch.waiting_bound());
  // The phone answered: fastboot's next message lifts the bound.
  watch.saw("Sending 'boot' (256 KB)");
  EXPECT_FALSE(watch.waiting_bound());
  // A later waiting line arms it again, also when it shares a read with
  // what came before.
  watch.saw("OKAY\n< waiting for any device >\n");
  EXPECT_TRUE(watch.waiting_bound());
  watch.saw("Writing 'boot' ");
  EXPECT_FALSE(watch.waiting_bound());
}

TEST(StallWatch, AWaitingLineIsSeenAfterAnyAmountOfOutput) {
  Watch watch;
  watch.saw(std::string(200000, 'x') + "\n");
  watch.saw("< waiting for any device >\n");
  EXPECT_TRUE(watch.waiting_bound());
  // A read that holds the line and output after it.
  Watch both;
  both.saw("< waiting for any device >\nSending 'boot' ");
  EXPECT_FALSE(both.waiting_bound());
}
