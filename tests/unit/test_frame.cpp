// Level frames: block files, the frame map and bounds, the point and area
// block tests.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "core/log.h"
#include "resources/resfile.h"
#include "resources/resfile_writer.h"
#include "tests/unit/world_helpers.h"

using namespace worldtest;

namespace {

// A private directory with two archives: the level's own and another one.
class BlockFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tervalo_frames_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    std::string full(300, '\0');
    full[0] = 1;
    full[299] = 7;
    std::string longer = full + std::string(10, '\x05');
    longer[0] = 3;
    ResfileWriter lvlArchive;
    lvlArchive.add("a.bin", full, ResfileWriter::Compression::Never);
    lvlArchive.add("short.bin", std::string(299, '\x01'), ResfileWriter::Compression::Never);
    lvlArchive.add("long.bin", longer, ResfileWriter::Compression::Always);
    lvlArchive.add("lvl.txt", "-- nothing\n");
    ASSERT_TRUE(lvlArchive.write(dir + "/lvl.crs"));
    ResfileWriter other;
    std::string x(300, '\0');
    x[5] = 9;
    other.add("x.bin", x);
    ASSERT_TRUE(other.write(dir + "/other.crs"));
    lvl.name = dir + "/lvl.crs:lvl";
    lvl.reader = &reader;
  }
  void TearDown() override {
    std::string cmd = "rm -rf '" + dir + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
  }
  Frame* plainFrame(int fx) {
    return lvl.addFrame(0, nullptr, nullptr, nullptr, fx, 0, 0, 1.0f, 1.0f);
  }

  std::string dir;
  Resfile reader;
  Level lvl;
};

}  // namespace

TEST_F(BlockFiles, NameWithoutColonComesFromTheLevelsArchive) {
  Frame* f = lvl.addFrame(0, "a", nullptr, nullptr, 0, 0, 0, 1.0f, 1.0f);
  ASSERT_TRUE(lvl.loadFrame(f, "ignored"));
  ASSERT_EQ(f->cells.size(), 300u);
  EXPECT_EQ(f->cells[0], 1);
  EXPECT_EQ(f->cells[299], 7);
  // Bytes beyond the grid are ignored; compressed entries load the same.
  Frame* g = plainFrame(1);
  ASSERT_TRUE(lvl.loadFrame(g, "long"));
  EXPECT_EQ(g->cells.size(), 300u);
  EXPECT_EQ(g->cells[0], 3);
}

TEST_F(BlockFiles, NameWithColonIsAFullResourceName) {
  Frame* f = lvl.addFrame(0, (dir + "/other.crs:x").c_str(), nullptr, nullptr, 0, 0, 0, 1, 1);
  ASSERT_TRUE(lvl.loadFrame(f, nullptr));
  EXPECT_EQ(f->cells[5], 9);
  // The shared reader serves when the level has no private one.
  lvl.reader = nullptr;
  Frame* g = plainFrame(1);
  EXPECT_TRUE(lvl.loadFrame(g, (dir + "/other.crs:x").c_str()));
}

TEST_F(BlockFiles, ShortOrMissingFileKeepsTheEarlierCells) {
  Frame* f = plainFrame(0);
  ASSERT_TRUE(lvl.loadFrame(f, "a"));
  Log::Capture cap;
  EXPECT_FALSE(lvl.loadFrame(f, "short"));
  EXPECT_TRUE(cap.has("FAIL: Level.loadFrame: Brak wszystkich klockow (\"short.bin\")"));
  EXPECT_FALSE(lvl.loadFrame(f, "nothere"));
  EXPECT_TRUE(cap.has("FAIL: Level.loadFrame: Nie znaleziono klockow (\"nothere.bin\")"));
  EXPECT_EQ(f->cells[0], 1);
  EXPECT_EQ(f->cells[299], 7);
}

TEST_F(BlockFiles, NoNameOrNoFrameFails) {
  Log::Capture cap;
  EXPECT_FALSE(lvl.loadFrame(plainFrame(0), nullptr));
  EXPECT_FALSE(lvl.loadFrame(nullptr, "a"));
  EXPECT_TRUE(cap.lines().empty());
}

TEST(LevelFrames, BoundsGrowWithFrames) {
  Level lvl;
  lvl.addFrame(0, nullptr, nullptr, nullptr, 2, 1, 0, 1, 1);
  EXPECT_EQ(lvl.left, 0);
  EXPECT_EQ(lvl.top, 0);
  EXPECT_EQ(lvl.right, 1920);
  EXPECT_EQ(lvl.bottom, 960);
  EXPECT_EQ(lvl.width, 1920);
  EXPECT_EQ(lvl.height, 960);
  // A frame left of and above the bounds moves only left and top.
  lvl.addFrame(1, nullptr, nullptr, nullptr, -2, -1, 0, 1, 1);
  EXPECT_EQ(lvl.left, -1280);
  EXPECT_EQ(lvl.top, -480);
  EXPECT_EQ(lvl.right, 1920);
  EXPECT_EQ(lvl.width, 3200);
  EXPECT_EQ(lvl.height, 1440);
  // Deleting does not shrink them.
  lvl.delFrame(lvl.findFrame(2, 1, 0));
  EXPECT_EQ(lvl.right, 1920);
  EXPECT_EQ(lvl.frames.size(), 1u);
  EXPECT_EQ(lvl.frameMap.size(), 1u);
}

TEST(LevelFrames, ExistingKeyReturnsTheExistingFrame) {
  TileSheet a(2), b(2);
  Level lvl;
  Frame* f = lvl.addFrame(4, "first", &a.sprite, nullptr, 1, 1, 3, 0.5f, 1.0f);
  Frame* g = lvl.addFrame(9, "second", &b.sprite, &b.sprite, 1, 1, 3, 1.0f, 1.0f);
  EXPECT_EQ(f, g);
  EXPECT_EQ(f->id, 4u);
  EXPECT_EQ(f->name, "first");
  EXPECT_EQ(f->blockSprite, &a.sprite);
  EXPECT_EQ(f->skybox, nullptr);
  EXPECT_EQ(f->parallaxX, 0.5f);
  EXPECT_EQ(lvl.frames.size(), 1u);
  EXPECT_EQ(lvl.right, 1280);
  // Another layer at the same place is another frame.
  EXPECT_NE(lvl.addFrame(9, nullptr, nullptr, nullptr, 1, 1, 0, 1, 1), f);
}

TEST(LevelFrames, PointsLeftOfZeroBelongToFrameMinusOne) {
  Level lvl;
  Frame* f = lvl.addFrame(0, nullptr, nullptr, nullptr, -1, 0, 0, 1, 1);
  setCell(*f, 0, 0, 1);
  EXPECT_EQ(lvl.frameAt(-1, 0, 0), f);
  EXPECT_EQ(lvl.frameAt(-640, 0, 0), f);
  EXPECT_EQ(lvl.frameAt(-641, 0, 0), nullptr);
  EXPECT_EQ(lvl.frameAt(0, 0, 0), nullptr);
  EXPECT_TRUE(lvl.blockAt(-640, 0, 0, false));   // local column 0
  EXPECT_FALSE(lvl.blockAt(-1, 0, 0, false));    // local column 639
  setCell(*f, 19, 0, 1);
  EXPECT_TRUE(lvl.blockAt(-1, 31, 0, false));
  EXPECT_FALSE(lvl.blockAt(-1, 32, 0, false));
  EXPECT_EQ(floorDiv(-480, 480), -1);
  EXPECT_EQ(floorDiv(-481, 480), -2);
  EXPECT_EQ(floorDiv(479, 480), 0);
}

TEST(LevelFrames, CoarseAndPreciseBlockTests) {
  TileSheet tiles(3);
  Level lvl;
  tiles.setPixel(1, 4, 5, 0);  // one empty mask pixel in tile 1
  Frame* f = lvl.addFrame(0, nullptr, &tiles.sprite, nullptr, 0, 0, 0, 1, 1);
  EXPECT_FALSE(lvl.blockAt(10, 10, 0, false));  // no cells yet
  setCell(*f, 0, 0, 1);
  setCell(*f, 1, 0, 0);
  setCell(*f, 2, 0, 200);  // no such animation on the sheet
  EXPECT_TRUE(lvl.blockAt(4, 5, 0, false));
  EXPECT_FALSE(lvl.blockAt(4, 5, 0, true));
  EXPECT_TRUE(lvl.blockAt(5, 5, 0, true));
  EXPECT_FALSE(lvl.blockAt(40, 5, 0, false));
  EXPECT_FALSE(lvl.blockAt(40, 5, 0, true));
  EXPECT_TRUE(lvl.blockAt(70, 5, 0, false));
  EXPECT_TRUE(lvl.blockAt(70, 5, 0, true));
  EXPECT_FALSE(lvl.blockAt(4, 6, 1, false));  // other layer: no frame
  // Without a tile sheet a block is solid for both tests.
  f->blockSprite = nullptr;
  EXPECT_TRUE(lvl.blockAt(4, 5, 0, true));
}

TEST(LevelFrames, TileOutsideItsSheetIsFreeForThePreciseTest) {
  TileSheet tiles(3);
  Level lvl;
  // The sheet image shrinks to two tiles: tile 2 now lies past its edge.
  tiles.sprite.width = 64;
  tiles.sprite.mask.assign(64 * 32, 1);
  Frame* f = lvl.addFrame(0, nullptr, &tiles.sprite, nullptr, 0, 0, 0, 1, 1);
  setCell(*f, 0, 0, 2);
  EXPECT_TRUE(lvl.blockAt(31, 31, 0, false));
  EXPECT_FALSE(lvl.blockAt(31, 31, 0, true));
}

TEST(LevelFrames, AreaSamplingPatterns) {
  TileSheet tiles(2);
  Level lvl;
  for (uint32_t r = 0; r < 32; ++r)
    for (uint32_t c = 0; c < 32; ++c) tiles.setPixel(1, c, r, c == 10 ? 1 : 0);
  Frame* f = lvl.addFrame(0, nullptr, &tiles.sprite, nullptr, 0, 0, 0, 1, 1);
  setCell(*f, 0, 0, 1);
  setCell(*f, 1, 0, 1);
  // Every 32nd column: 0, 32, 63 — column 10 and 42 slip through.
  EXPECT_FALSE(lvl.blockHit(0, 0, 0, 64, 1, 2));
  EXPECT_TRUE(lvl.blockHit(0, 0, 0, 64, 1, 3));
  // The last column of the extent is sampled.
  EXPECT_TRUE(lvl.blockHit(0, 0, 0, 43, 1, 2));
  // Coarse: the whole cells count.
  EXPECT_TRUE(lvl.blockHit(0, 0, 0, 64, 1, 0));
  EXPECT_FALSE(lvl.blockHit(64, 0, 0, 64, 32, 1));
  // An area with no columns still has its bottom-right sample, one column
  // to its left, when it is more than one row high.
  EXPECT_TRUE(lvl.blockHit(43, 0, 0, 0, 2, 2));
  EXPECT_FALSE(lvl.blockHit(43, 0, 0, 0, 1, 3));
}

TEST(LevelFrames, DeletedFrameIsNoLongerSolid) {
  Level lvl;
  Frame* f = lvl.addFrame(0, nullptr, nullptr, nullptr, 0, 0, 0, 1, 1);
  fillRow(*f, 0, 1);
  ASSERT_TRUE(lvl.blockAt(5, 5, 0, false));
  lvl.delFrame(f);
  EXPECT_FALSE(lvl.blockAt(5, 5, 0, false));
  EXPECT_TRUE(lvl.frames.empty());
  EXPECT_TRUE(lvl.frameMap.empty());
  // A frame added at that key afterwards is found.
  Frame* g = lvl.addFrame(1, nullptr, nullptr, nullptr, 0, 0, 0, 1, 1);
  fillRow(*g, 0, 1);
  EXPECT_TRUE(lvl.blockAt(5, 5, 0, false));
  lvl.delFrame(nullptr);
  EXPECT_EQ(lvl.frames.size(), 1u);
}

TEST(LevelFrames, SortKeepsFileOrderWithinALayer) {
  Level lvl;
  lvl.addFrame(0, "a", nullptr, nullptr, 0, 0, 2, 1, 1);
  lvl.addFrame(1, "b", nullptr, nullptr, 0, 0, 0, 1, 1);
  lvl.addFrame(2, "c", nullptr, nullptr, 0, 0, -1, 1, 1);
  lvl.addFrame(3, "d", nullptr, nullptr, 1, 0, 0, 1, 1);
  lvl.sortFrames();
  std::string order;
  for (const auto& f : lvl.frames) order += f->name;
  EXPECT_EQ(order, "abdc");
}

namespace {

// Counts its steps and its destruction; optionally deletes an object
// (itself or another) from inside its step.
struct Probe : Object {
  Probe(uint32_t id, Level* l, Sprite* s, int* steps, bool* dead)
      : Object(id, 0, 0, 0, 1, s, l, nullptr), steps(steps), dead(dead) {}
  ~Probe() override {
    if (dead) *dead = true;
  }
  void step() override {
    ++*steps;
    if (victim) {
      lvl->delObj(victim);
      victim = nullptr;
    }
  }
  int* steps;
  bool* dead;
  Object* victim = nullptr;
};

}  // namespace

TEST(LevelObjects, ObjectsDeletedDuringTheStepOutliveIt) {
  Body body(8, 8);
  Level lvl;
  int steps[3] = {0, 0, 0};
  bool dead[3] = {false, false, false};
  auto* a = static_cast<Probe*>(lvl.adoptObj(std::make_unique<Probe>(1, &lvl, &body.sprite, &steps[0], &dead[0])));
  auto* b = static_cast<Probe*>(lvl.adoptObj(std::make_unique<Probe>(2, &lvl, &body.sprite, &steps[1], &dead[1])));
  lvl.adoptObj(std::make_unique<Probe>(3, &lvl, &body.sprite, &steps[2], &dead[2]));
  a->victim = a;  // deletes itself
  b->victim = nullptr;
  lvl.updateWorld();
  EXPECT_EQ(steps[0], 1);
  EXPECT_EQ(steps[1], 1);
  EXPECT_EQ(steps[2], 1);  // the walk went on past the hole
  EXPECT_TRUE(dead[0]);
  EXPECT_EQ(lvl.objs.size(), 2u);
  // Deleting a later object: it is not stepped any more.
  b->victim = lvl.getObj(3);
  lvl.updateWorld();
  EXPECT_EQ(steps[2], 1);
  EXPECT_TRUE(dead[2]);
  EXPECT_EQ(lvl.objs.size(), 1u);
}

TEST(LevelObjects, LookupAndDeletion) {
  Body body(8, 8);
  Level lvl;
  EXPECT_EQ(lvl.addObj(1, 0, 0, 0, 1, nullptr), nullptr);
  Object* first = lvl.addObj(7, 0, 0, 0, 1, &body.sprite);
  Object* other = lvl.addObj(3, 0, 0, 0, 1, &body.sprite);
  Object* second = lvl.addObj(7, 10, 0, 0, 1, &body.sprite);
  EXPECT_EQ(lvl.getObj(7), first);
  EXPECT_EQ(lvl.getObj(7, 1), second);  // counted position 2 >= 1
  EXPECT_EQ(lvl.getObj(7, 3), nullptr);
  EXPECT_EQ(lvl.getObj(3), other);
  Object stranger(5, 0, 0, 0, 1, nullptr, &lvl, nullptr);
  lvl.delObj(&stranger);  // not in the list: left alone
  lvl.delObj(nullptr);
  EXPECT_EQ(lvl.objs.size(), 3u);
  lvl.delObj(first);
  EXPECT_EQ(lvl.getObj(7), second);
  EXPECT_EQ(lvl.countObjs(), 2u);
}

TEST(LevelObjects, FrameObjectsFindOrMakeTheirFrame) {
  Body body(8, 8);
  Level lvl;
  Object* o = lvl.addFrameObj(4, -1, -1, 2, 1, &body.sprite);
  ASSERT_NE(o, nullptr);
  Frame* f = o->frameHost;
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->fx, -1);
  EXPECT_EQ(f->fy, -1);
  EXPECT_EQ(f->layer, 2);
  EXPECT_EQ(f->id, 0xFFFFFFFFu);
  EXPECT_FALSE(f->hasCells());
  EXPECT_EQ(lvl.left, -640);
  EXPECT_EQ(lvl.top, -480);
  Object* p = lvl.addFrameObj(5, -600, -400, 2, 1, &body.sprite);
  EXPECT_EQ(p->frameHost, f);
  EXPECT_EQ(lvl.frames.size(), 1u);
  EXPECT_EQ(lvl.addFrameObj(6, 0, 0, 0, 1, nullptr), nullptr);
  EXPECT_EQ(lvl.frames.size(), 1u);

  lvl.addObj(1, 0, 0, 0, 1, &body.sprite);
  EXPECT_EQ(lvl.countObjs(), 3u);
  // Lookup by frame id, from a starting frame position.
  Frame* g = lvl.addFrame(0xFFFFFFFFu, nullptr, nullptr, nullptr, 3, 3, 0, 1, 1);
  Object* q = lvl.addFrameObj(5, 3 * 640, 3 * 480, 0, 1, &body.sprite);
  ASSERT_EQ(q->frameHost, g);
  EXPECT_EQ(lvl.getFrameObj(0xFFFFFFFFu, 5), p);
  EXPECT_EQ(lvl.getFrameObj(0xFFFFFFFFu, 5, 1), q);
  EXPECT_EQ(lvl.getFrameObj(0xFFFFFFFFu, 4, 1), nullptr);  // only the first match is searched
  lvl.delFrameObj(p);
  EXPECT_EQ(lvl.getFrameObj(0xFFFFFFFFu, 5), nullptr);
  EXPECT_EQ(f->objs.size(), 1u);
  lvl.delFrameObj(lvl.getObj(1));  // not a frame object: nothing
  EXPECT_EQ(lvl.objs.size(), 1u);
}

TEST(LevelObjects, DeletingAFrameDestroysItsObjects) {
  Body body(8, 8);
  Level lvl;
  Frame* f = lvl.addFrame(0, nullptr, nullptr, nullptr, 0, 0, 0, 1, 1);
  int steps = 0;
  bool dead = false;
  f->objs.add(std::make_unique<Probe>(1, &lvl, &body.sprite, &steps, &dead));
  lvl.updateWorld();
  EXPECT_EQ(steps, 1);
  lvl.delFrame(f);
  EXPECT_TRUE(dead);
}

TEST(LevelObjects, ObjAtAndObjHitSkipOffAndSelf) {
  Body body(16, 16, 8, 16);  // anchor at the bottom centre
  Level lvl;
  Object* a = lvl.addObj(1, 100, 100, 0, 1, &body.sprite);  // box x 92..107, y 84..99
  EXPECT_EQ(lvl.objAt(92, 84, nullptr), a);
  EXPECT_EQ(lvl.objAt(107, 99, nullptr), a);
  EXPECT_EQ(lvl.objAt(108, 99, nullptr), nullptr);
  EXPECT_EQ(lvl.objAt(100, 100, nullptr), nullptr);
  EXPECT_EQ(lvl.objAt(100, 90, a), nullptr);
  EXPECT_EQ(lvl.objHit(80, 80, 13, 5, nullptr), a);   // touches column 92
  EXPECT_EQ(lvl.objHit(80, 80, 12, 5, nullptr), nullptr);
  EXPECT_EQ(lvl.objHit(100, 90, 0, 5, nullptr), nullptr);
  a->colsOn = false;
  EXPECT_EQ(lvl.objAt(100, 90, nullptr), nullptr);
  EXPECT_EQ(lvl.objHit(90, 80, 30, 30, nullptr), nullptr);
}
