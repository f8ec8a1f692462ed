// fastboot's messages read as they come: each step is seen when fastboot
// prints it, not when the phone answers it, whatever the read boundaries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "actions/fastboot_messages.h"

namespace {

// What Debian's fastboot printed (one string per read of its pipe) while it
// flashed a 3 MiB raw image to a phone whose max-download-size is 1 MiB.
const std::vector<std::string> sparse_flash = {
    "Invalid sparse file format at header magic\n",
    "Sending sparse 'boot' 1/4 (1020 KB)                ",
    "OKAY [  0.257s]\nWriting 'boot'                                     OKAY [  0.001s]\n"
    "Sending sparse 'boot' 2/4 (1020 KB)                ",
    "OKAY [  0.252s]\nWriting 'boot'                                     ",
    "OKAY [  0.001s]\nSending sparse 'boot' 3/4 (1020 KB)                ",
    "OKAY [  0.251s]\nWriting 'boot'                                     ",
    "OKAY [  0.002s]\nSending sparse 'boot' 4/4 (12 KB)                  ",
    "OKAY [  0.042s]\nWriting 'boot'                                     OKAY [  0.000s]\n"
    "Finished. Total time: 0.808s\n",
};

// A whole image, the phone's INFO text arriving on the "Writing" line.
const std::vector<std::string> info_flash = {
    "Sending 'boot' (488 KB)                            ",
    "OKAY [  0.130s]\nWriting 'boot'                                     ",
    "(bootloader) writing block 0 of the partition, all is well so far\n"
    "(bootloader) writing block 1 of the partition, all is well so far\n",
    "OKAY [  0.000s]\nFinished. Total time: 0.133s\n",
};

const std::vector<std::string> failed_flash = {
    "Sending 'boot' (488 KB)                            ",
    "OKAY [  0.144s]\nWriting 'boot'                                     ",
    "FAILED (remote: 'flash write failure')\nfastboot: error: Command failed\n",
};

const std::vector<std::string> late_phone = {
    "error: Failed to connect to 127.0.0.1:40033\n",
    "< waiting for tcp:127.0.0.1:40033 >\n",
    "Sending 'boot' (488 KB)                            ",
};

const std::vector<std::string> boot_run = {
    "Sending 'boot.img' (492 KB)                        ",
    "OKAY [  0.008s]\nBooting                                            ",
    "OKAY [  0.000s]\nFinished. Total time: 0.009s\n",
};

struct Seen {
  FastbootStep step;
  std::string text;
  int part;
  int parts;
  long long kb;
};

class Record : public FastbootMessageSink {
 public:
  void message(const FastbootMessage& m) override { seen.push_back({m.step, m.text, m.part, m.parts, m.kb}); }
  std::vector<Seen> seen;
};

std::string joined(const std::vector<std::string>& reads) {
  std::string all;
  for (const auto& r : reads) all += r;
  return all;
}

// Feeds the reads as they came; returns how many messages were whole after
// each read.
std::vector<size_t> feed_reads(const std::vector<std::string>& reads, Record& record) {
  FastbootMessages messages;
  std::vector<size_t> after;
  for (const auto& r : reads) {
    messages.feed(r.data(), static_cast<int>(r.size()), record);
    after.push_back(record.seen.size());
  }
  messages.end(record);
  return after;
}

std::vector<Seen> feed_in_pieces(const std::string& all, size_t piece) {
  Record record;
  FastbootMessages messages;
  for (size_t i = 0; i < all.size(); i += piece) {
    messages.feed(all.data() + i, static_cast<int>(std::min(piece, all.size() - i)), record);
  }
  messages.end(record);
  return record.seen;
}

std::string crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

void expect_same(const std::vector<Seen>& a, const std::vector<Seen>& b, const std::string& how) {
  ASSERT_EQ(a.size(), b.size()) << how;
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].step, b[i].step) << how << " #" << i;
    EXPECT_EQ(a[i].text, b[i].text) << how << " #" << i;
    EXPECT_EQ(a[i].part, b[i].part) << how << " #" << i;
  }
}

}  // namespace

TEST(FastbootMessages, EachPartIsSeenWhenItStartsNotWhenThePhoneAnswers) {
  Record record;
  const auto after = feed_reads(sparse_flash, record);
  // The prolog of part 1 is whole at the end of the second read, before
  // any OKAY came.
  ASSERT_GE(after[1], 2u);
  EXPECT_EQ(record.seen[1].step, FastbootStep::sending);
  EXPECT_EQ(record.seen[1].text, "Sending sparse 'boot' 1/4 (1020 KB)");
  EXPECT_EQ(record.seen[1].part, 1);
  EXPECT_EQ(record.seen[1].parts, 4);
  EXPECT_EQ(record.seen[1].kb, 1020);

  std::vector<int> sent;
  int written = 0;
  for (const auto& s : record.seen) {
    if (s.step == FastbootStep::sending) sent.push_back(s.part);
    if (s.step == FastbootStep::writing) ++written;
  }
  EXPECT_EQ(sent, (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(written, 4);
  EXPECT_EQ(record.seen.front().step, FastbootStep::text);
  EXPECT_EQ(record.seen.back().step, FastbootStep::finished);
  EXPECT_EQ(record.seen[3].step, FastbootStep::writing);
  EXPECT_EQ(record.seen[3].text, "Writing 'boot'");
}

TEST(FastbootMessages, ReadBoundariesAndWindowsLineEndsChangeNothing) {
  for (const auto* reads : {&sparse_flash, &info_flash, &failed_flash, &late_phone, &boot_run}) {
    Record whole;
    feed_reads(*reads, whole);
    const std::string all = joined(*reads);
    for (size_t piece : {1u, 2u, 7u, 50u, 51u, 52u, 4096u}) {
      expect_same(whole.seen, feed_in_pieces(all, piece), "piece " + std::to_string(piece));
      expect_same(whole.seen, feed_in_pieces(crlf(all), piece), "CR LF, piece " + std::to_string(piece));
    }
  }
}

TEST(FastbootMessages, ThePhonesWordsOnTheWritingLineAreTheirOwnMessages) {
  Record record;
  const auto after = feed_reads(info_flash, record);
  ASSERT_EQ(record.seen.size(), 7u);
  EXPECT_EQ(record.seen[0].step, FastbootStep::sending);
  EXPECT_EQ(record.seen[0].parts, 1);
  EXPECT_EQ(record.seen[0].kb, 488);
  EXPECT_EQ(record.seen[2].step, FastbootStep::writing);
  EXPECT_EQ(after[1], 3u) << "Writing is seen before the phone says anything";
  EXPECT_EQ(record.seen[3].step, FastbootStep::phone_says);
  EXPECT_EQ(record.seen[3].text, "writing block 0 of the partition, all is well so far");
  EXPECT_EQ(record.seen[5].step, FastbootStep::okay);
}

TEST(FastbootMessages, FailuresWaitingAndBootingAreNamed) {
  Record failed;
  feed_reads(failed_flash, failed);
  ASSERT_EQ(failed.seen.size(), 5u);
  EXPECT_EQ(failed.seen[3].step, FastbootStep::failed);
  EXPECT_EQ(failed.seen[3].text, "FAILED (remote: 'flash write failure')");
  EXPECT_EQ(failed.seen[4].step, FastbootStep::text);

  Record late;
  feed_reads(late_phone, late);
  ASSERT_EQ(late.seen.size(), 3u);
  EXPECT_EQ(late.seen[1].step, FastbootStep::waiting);
  EXPECT_EQ(late.seen[2].step, FastbootStep::sending);

  Record boot;
  feed_reads(boot_run, boot);
  ASSERT_GE(boot.seen.size(), 3u);
  EXPECT_EQ(boot.seen[2].step, FastbootStep::booting);
}

TEST(FastbootMessages, LongPrologsAreWholeOnlyWhenTheirMessageIs) {
  // Over 50 characters: the message and one space. A prefix ending in a
  // space ("... 3/9 ") is not yet the message.
  const std::string prolog = "Sending sparse 'system_with_a_long_name_b' 3/9 (262140 KB) ";
  Record record;
  FastbootMessages messages;
  const size_t cut = prolog.find("(262140");
  messages.feed(prolog.data(), static_cast<int>(cut), record);
  EXPECT_TRUE(record.seen.empty());
  messages.feed(prolog.data() + cut, static_cast<int>(prolog.size() - cut), record);
  ASSERT_EQ(record.seen.size(), 1u);
  EXPECT_EQ(record.seen[0].part, 3);
  EXPECT_EQ(record.seen[0].parts, 9);
  EXPECT_EQ(record.seen[0].kb, 262140);
}

TEST(FastbootMessages, MemoryIsBoundedAndNulBytesAreDropped) {
  Record record;
  FastbootMessages messages;
  const std::string huge(100000, 'x');
  messages.feed(huge.data(), static_cast<int>(huge.size()), record);
  const char rest[] = "\nFAI\0LED (remote: 'x')\n";
  messages.feed(rest, static_cast<int>(sizeof rest - 1), record);
  ASSERT_EQ(record.seen.size(), 2u);
  EXPECT_EQ(record.seen[0].text.size(), static_cast<size_t>(FastbootMessages::message_cap));
  EXPECT_EQ(record.seen[1].step, FastbootStep::failed);
}
