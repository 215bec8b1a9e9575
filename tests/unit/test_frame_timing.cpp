#include <gtest/gtest.h>

#include "base/frame_timing.h"

using namespace frame_timing;

TEST(FrameTiming, DtClampsAndCap) {
  const std::pair<uint32_t, float> dts[] = {{0, 0.00001f}, {1, 0.001f},  {17, 0.017f},
                                            {499, 0.499f}, {500, 0.5f}, {600, 0.5f}, {0xFFFFFFFFu, 0.5f}};
  for (const auto& [ms, dt] : dts) EXPECT_FLOAT_EQ(frameDt(ms), dt) << ms;
  // 14 ms of work waits 2 ms; 15 ms or more does not wait; Right Shift never waits.
  EXPECT_TRUE(shouldSleep(14, false));
  EXPECT_TRUE(shouldSleep(0, false));
  EXPECT_FALSE(shouldSleep(15, false));
  EXPECT_FALSE(shouldSleep(17, false));
  EXPECT_FALSE(shouldSleep(0, true));
  EXPECT_FALSE(shouldSleep(14, true));
  EXPECT_EQ(sleepMs(1000, 1014), 2u);
  EXPECT_EQ(sleepMs(1000, 1000), 16u);
  // A fresh reading past 16 ms never gives a negative wait; the tick counter may wrap.
  EXPECT_EQ(sleepMs(1000, 1016), 0u);
  EXPECT_EQ(sleepMs(1000, 1040), 0u);
  EXPECT_EQ(sleepMs(0xFFFFFFFAu, 4u), 6u);
}
