#include <gtest/gtest.h>

#include "core/frame_timing.h"

using namespace frame_timing;

TEST(FrameTiming, DtClamps) {
  EXPECT_FLOAT_EQ(frameDt(0), 0.00001f);
  EXPECT_FLOAT_EQ(frameDt(1), 0.001f);
  EXPECT_FLOAT_EQ(frameDt(17), 0.017f);
  EXPECT_FLOAT_EQ(frameDt(499), 0.499f);
  EXPECT_FLOAT_EQ(frameDt(500), 0.5f);
  EXPECT_FLOAT_EQ(frameDt(600), 0.5f);
  EXPECT_FLOAT_EQ(frameDt(0xFFFFFFFFu), 0.5f);
}

TEST(FrameTiming, CapPadsShortFramesTo16ms) {
  // 14 ms of work: waits 2 ms; 15 ms: no wait at all.
  EXPECT_TRUE(shouldSleep(14, false));
  EXPECT_EQ(sleepMs(1000, 1014), 2u);
  EXPECT_FALSE(shouldSleep(15, false));
  EXPECT_FALSE(shouldSleep(17, false));
  EXPECT_TRUE(shouldSleep(0, false));
  EXPECT_EQ(sleepMs(1000, 1000), 16u);
  // The fresh reading may already be past 16 ms: never a negative wait.
  EXPECT_EQ(sleepMs(1000, 1016), 0u);
  EXPECT_EQ(sleepMs(1000, 1040), 0u);
  // Tick counter wrapping around.
  EXPECT_EQ(sleepMs(0xFFFFFFFAu, 4u), 6u);
}

TEST(FrameTiming, RightShiftRemovesTheWait) {
  EXPECT_FALSE(shouldSleep(0, true));
  EXPECT_FALSE(shouldSleep(14, true));
  // dt still follows the measured time.
  EXPECT_FLOAT_EQ(frameDt(3), 0.003f);
}
