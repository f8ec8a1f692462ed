// The bridge's own lines in the log of a run it judged.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "actions/judged_run.h"

TEST(EndedRun, TheLogSaysSoOnALineOfItsOwnEvenWhenFull) {
  const std::string line = "Bridge ne ye kaam 20 second baad rok diya (phone ya tool ne jawab nahi diya).";
  char out[256] = "Sending 'boot' OKAY\n< waiting for F1 >";
  note_ended_run(out, sizeof out, 20);
  EXPECT_EQ(std::string(out), "Sending 'boot' OKAY\n< waiting for F1 >\n" + line);
  // A full log gives way at its end, so the line is never lost.
  std::string full(255, 'x');
  std::memcpy(out, full.c_str(), 256);
  note_ended_run(out, sizeof out, 20);
  const std::string noted = out;
  EXPECT_EQ(noted.size(), 255u);
  EXPECT_EQ(noted.substr(noted.size() - line.size() - 1), "\n" + line);
}
