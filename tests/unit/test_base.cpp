// The frame clock.
#include <gtest/gtest.h>

#include <tuple>

#include "base/frame_timing.h"

// 14 ms of work waits 2 ms; 15 ms or more does not wait; Right Shift never
// waits; a reading past 16 ms never gives a negative wait, and the tick
// counter may wrap.
TEST(FrameTiming, DtClampsAndCap) {
  const std::pair<uint32_t, float> dts[] = {{0, 0.00001f}, {1, 0.001f},  {17, 0.017f},
                                            {499, 0.499f}, {500, 0.5f}, {600, 0.5f}, {0xFFFFFFFFu, 0.5f}};
  for (const auto& [ms, dt] : dts) EXPECT_FLOAT_EQ(frame_timing::frameDt(ms), dt) << ms;
  for (auto [work, shift, sleeps] : {std::tuple{14u, false, true}, {0u, false, true}, {15u, false, false},
                                     {17u, false, false}, {0u, true, false}, {14u, true, false}})
    EXPECT_EQ(frame_timing::shouldSleep(work, shift), sleeps) << work << " " << shift;
  for (auto [start, now, wait] : {std::tuple{1000u, 1014u, 2u}, {1000u, 1000u, 16u}, {1000u, 1016u, 0u},
                                  {1000u, 1040u, 0u}, {0xFFFFFFFAu, 4u, 6u}})
    EXPECT_EQ(frame_timing::sleepMs(start, now), wait) << start << " " << now;
}
