// The progress lines a flash gives: each part with its number, the phone's
// words with the step they belong to, fastboot's other text escaped, and
// the download's bytes and total.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "actions/download_command.h"
#include "actions/flash_progress.h"
#include "tests/support/json_check.h"

namespace {

class Lines : public FastbootMessageSink {
 public:
  void message(const FastbootMessage& m) override {
    char line[progress_line_cap];
    if (format_progress_line(m, stage, line, sizeof line)) lines.push_back(line);
  }
  FlashStage stage;
  std::vector<std::string> lines;
};

std::vector<std::string> lines_of(const std::string& output) {
  Lines lines;
  FastbootMessages messages;
  messages.feed(output.data(), static_cast<int>(output.size()), lines);
  messages.end(lines);
  return lines.lines;
}

}  // namespace

TEST(FlashProgress, PartsAreNumberedAndTheirWritesBelongToThem) {
  const auto lines = lines_of(
      "Invalid sparse file format at header magic\n"
      "Sending sparse 'boot' 1/2 (1020 KB)                OKAY [  0.257s]\n"
      "Writing 'boot'                                     (bootloader) erasing \"boot\"\tfirst\n"
      "OKAY [  0.001s]\n"
      "Sending sparse 'boot' 2/2 (12 KB)                  OKAY [  0.042s]\n"
      "Writing 'boot'                                     OKAY [  0.000s]\n"
      "Finished. Total time: 0.808s\n");
  const std::vector<std::string> expected = {
      R"({"stage":"sending","part":1,"parts":2,"kb":1020,"quiet_s":0})",
      R"({"stage":"writing","part":1,"parts":2,"quiet_s":0})",
      R"({"stage":"writing","part":1,"parts":2,"phone":"erasing \"boot\"\tfirst","quiet_s":0})",
      R"({"stage":"sending","part":2,"parts":2,"kb":12,"quiet_s":0})",
      R"({"stage":"writing","part":2,"parts":2,"quiet_s":0})",
  };
  EXPECT_EQ(lines, expected);
  for (const auto& line : lines) EXPECT_TRUE(json_check::well_formed(line)) << line;
}

TEST(FlashProgress, WaitingBootingAndOtherTextAreTold) {
  const auto lines = lines_of(
      "< waiting for tcp:127.0.0.1:5554 >\n"
      "Sending 'boot.img' (492 KB)                        OKAY [  0.008s]\n"
      "Booting                                            FAILED (remote: 'no \"boot\" here\x01')\n"
      "fastboot: error: Command failed\n");
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], R"({"stage":"waiting","quiet_s":0})");
  EXPECT_EQ(lines[1], R"({"stage":"sending","part":1,"parts":1,"kb":492,"quiet_s":0})");
  EXPECT_EQ(lines[2], R"({"stage":"booting","quiet_s":0})");
  EXPECT_EQ(lines[3], R"x({"stage":"text","text":"FAILED (remote: 'no \"boot\" here')","quiet_s":0})x");
  EXPECT_EQ(lines[4], R"({"stage":"text","text":"fastboot: error: Command failed","quiet_s":0})");
}

TEST(FlashProgress, AFailureWhileAPartIsSentOrWrittenIsToldAsText) {
  const auto lines = lines_of(
      "Sending sparse 'boot' 1/2 (1020 KB)                FAILED (Write to device failed (No such device))\n"
      "Sending 'boot' (3072 KB)                           OKAY [  0.130s]\n"
      "Writing 'boot'                                     FAILED (Write to device failed (No such device))\n"
      "fastboot: error: Command failed\n");
  const std::string failed =
      R"x({"stage":"text","text":"FAILED (Write to device failed (No such device))","quiet_s":0})x";
  const std::vector<std::string> expected = {
      R"({"stage":"sending","part":1,"parts":2,"kb":1020,"quiet_s":0})",
      failed,
      R"({"stage":"sending","part":1,"parts":1,"kb":3072,"quiet_s":0})",
      R"({"stage":"writing","part":1,"parts":1,"quiet_s":0})",
      failed,
      R"({"stage":"text","text":"fastboot: error: Command failed","quiet_s":0})",
  };
  EXPECT_EQ(lines, expected);
}

TEST(FlashProgress, LongTextIsCutToWholeCharactersAndStaysJson) {
  std::string text = "(bootloader) ";
  for (int i = 0; i < 200; ++i) text += "\xd8\xb4\"";  // Urdu letters and quotes
  const auto lines = lines_of("Writing 'super'                                    " + text + "\n");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(json_check::well_formed(lines[1])) << lines[1];
  EXPECT_LT(lines[1].size(), static_cast<size_t>(progress_line_cap));
}

TEST(FlashProgress, TheQuietLineRepeatsWhereTheFlashStands) {
  char line[progress_line_cap];
  format_quiet_line(FlashStage{}, 0, line, sizeof line);
  EXPECT_STREQ(line, R"({"stage":"preparing","quiet_s":0})");
  format_quiet_line(FlashStage{FastbootStep::writing, 3, 9, 262140}, 45, line, sizeof line);
  EXPECT_STREQ(line, R"({"stage":"writing","part":3,"parts":9,"quiet_s":45})");
}

TEST(DownloadProgress, TheHeadsTotalIsReadAndTheHeadLeavesTheLog) {
  char line[progress_line_cap];
  format_download_line(1048576, -1, 0, line, sizeof line);
  EXPECT_STREQ(line, R"({"stage":"download","bytes":1048576,"total":null,"quiet_s":0})");
  format_download_line(5, 10, 12, line, sizeof line);
  EXPECT_STREQ(line, R"({"stage":"download","bytes":5,"total":10,"quiet_s":12})");

  char output[] =
      "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: 10\r\n\r\n"
      "curl: (18) transfer closed with 5 bytes remaining to read\n";
  strip_reply_heads(output);
  EXPECT_STREQ(output, "curl: (18) transfer closed with 5 bytes remaining to read\n");
  char redirect[] = "HTTP/1.1 302 Found\nLocation: /b\n\n\ntalvik-redirect:http://h/b\n";
  strip_reply_heads(redirect);
  EXPECT_STREQ(redirect, "\ntalvik-redirect:http://h/b\n");
}

namespace {

class Discard : public ReplyConnection {
 public:
  int send_now(const char*, int size) override { return size; }
  void send_all(const char*, int) override {}
};

long long total_after(const std::string& output, size_t piece) {
  Discard connection;
  ProgressStream stream(connection, "http://localhost:8080", true);
  DownloadWatch watch("/nonexistent/_bridge_flash.tmp", 100, &stream);
  for (size_t i = 0; i < output.size(); i += piece) {
    watch.saw(output.data() + i, static_cast<int>(std::min(piece, output.size() - i)));
  }
  return watch.total();
}

}  // namespace

TEST(DownloadProgress, OnlyTheFirstHeadsContentLengthIsTheTotal) {
  const std::string head = "HTTP/1.1 200 OK\r\ncontent-LENGTH:  2048\r\n\r\n";
  for (size_t piece : {1u, 5u, 1000u}) EXPECT_EQ(total_after(head, piece), 2048) << piece;
  EXPECT_EQ(total_after("HTTP/1.1 200 OK\r\nContent-Type: x\r\n\r\nContent-Length: 9\n", 3), -1);
  EXPECT_EQ(total_after("HTTP/1.1 200 OK\r\nX-Content-Length: 9\r\n\r\n", 3), -1);
  EXPECT_EQ(total_after("HTTP/1.1 200 OK\r\nContent-Length: -4\r\n\r\n", 3), -1);
}

TEST(FlashProgress, ThePhonesWordsWhileAPartIsSentGoWithThatPart) {
  const auto lines = lines_of(
      "Sending 'boot' (488 KB)                            (bootloader) usb speed: high\n"
      "OKAY [  0.130s]\n");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], R"({"stage":"sending","part":1,"parts":1,"kb":488,"phone":"usb speed: high","quiet_s":0})");
}
