// A unit's scratch is held by one call at a time.
#include <gtest/gtest.h>

#include "tools/scratch.h"

namespace {

struct TestBuffers {
  static constexpr char name[] = "test buffers";
  char text[16];
};
Scratch<TestBuffers> test_scratch;

// Takes the scratch, then calls itself `depth` more times while holding it.
void take(int depth) {
  ScratchHold<TestBuffers> hold(test_scratch);
  hold->text[0] = 'x';
  if (depth > 0) take(depth - 1);
}

}  // namespace

TEST(ScratchDeathTest, ACallThatReachesItselfAgainEndsTheBridgeNamingTheScratch) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH_IF_SUPPORTED(take(1), "\"test buffers\" is taken while it is held");
  // One call after another is fine: each hold ends with its scope.
  take(0);
  take(0);
  EXPECT_FALSE(test_scratch.held);
}
