// Frames far from the origin: the level's pixel bounds are ints, so a frame
// whose edges or whose distance to the other frames would not fit in one is
// refused instead of wrapping the bounds.
#include <climits>

#include "base/log.h"
#include "unit/level_fixture.h"
#include "world/level.h"

namespace {

struct LevelFrameRange : leveltest::GameDir {};

TEST_F(LevelFrameRange, FarFramesAreRefused) {
  Level lvl;
  Log::Capture cap;
  // The farthest frames that are kept: the bounds span both, exactly.
  ASSERT_NE(lvl.addFrame(0, "a", nullptr, nullptr, 1677720, 2236961, 0, 1, 1), nullptr);
  ASSERT_NE(lvl.addFrame(1, "b", nullptr, nullptr, -1677720, -2236961, 0, 1, 1), nullptr);
  EXPECT_EQ(lvl.width, 1677721 * 640 + 1677720 * 640);
  EXPECT_EQ(lvl.height, 2236962 * 480 + 2236961 * 480);
  for (auto [fx, fy] : {std::pair{1677721, 0}, {-1677721, 0}, {0, 2236962}, {0, -2236962},
                        {3333333, 44444444}, {INT_MIN, INT_MIN}}) {
    EXPECT_EQ(lvl.addFrame(2, "c", nullptr, nullptr, fx, fy, 0, 1, 1), nullptr) << fx << "," << fy;
  }
  EXPECT_EQ(lvl.frames.size(), 2u);
  EXPECT_EQ(lvl.right, 1677721 * 640);
  EXPECT_EQ(lvl.top, -2236961 * 480);
  EXPECT_TRUE(cap.has("FAIL: Level.addFrame: Ramka poza zakresem (3333333, 44444444)"));
  // From a level file the refused frame stops the load like a missing one.
  archive("data/lvl/t.crs",
          {{"lvl.txt", "frame f0 none none 0 0\nframe f0 none none 3333333 0\n"},
           {"f0.bin", std::string(Frame::kCells, '\1')}});
  Level fromFile;
  EXPECT_FALSE(fromFile.load("data/lvl/t.crs:lvl"));
  EXPECT_TRUE(cap.has("FAIL: Level.load: Nie udalo sie wczytac ramki (load)"));
}

}  // namespace
