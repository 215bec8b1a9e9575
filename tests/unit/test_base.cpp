// The engine's base: log lines and the frame clock.
#include <gtest/gtest.h>

#include <tuple>

#include "base/frame_timing.h"
#include "base/log.h"

TEST(Log, PrefixesNewlinesAndLongLines) {
  Log::Capture cap;
  Log::fail("Resfile.load: Nie znaleziono pliku \"%s\"\n", "x");
  Log::info("Start");
  Log::ok("Level.load: Poziom \"%s\" wczytany w %ums\n", "a", 5u);
  Log::line("%s", "----");
  Log::fail("Level.loadNpcs: Nie udalo sie wczytac z pliku informacji o npc\n\t(\"%s\", %u)\n", "npc/a", 3u);
  const std::string big(2000, 'x');
  Log::info("%s", big.c_str());
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{
                             "FAIL: Resfile.load: Nie znaleziono pliku \"x\"", "INFO: Start",
                             "OK  : Level.load: Poziom \"a\" wczytany w 5ms", "----",
                             "FAIL: Level.loadNpcs: Nie udalo sie wczytac z pliku informacji o npc",
                             "\t(\"npc/a\", 3)", "INFO: " + big}));
}

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
