// Level frames: block files, frame map and bounds, block tests, and object
// lists changed while they are walked.
#include "base/log.h"
#include "resources/resfile.h"
#include "resources/resfile_writer.h"
#include "unit/scratch_dir.h"
#include "unit/world_helpers.h"

using namespace worldtest;
using Frames = ScratchDirTest;

TEST_F(Frames, BlockFilesFromTheLevelsArchiveOrAFullName) {
  std::string full(300, '\0');
  full[0] = 1, full[299] = 7;
  ResfileWriter own, other;
  own.add("a.bin", full);
  own.add("short.bin", std::string(299, '\x01'));
  other.add("x.bin", std::string(310, '\x09'), ResfileWriter::Compression::Always);
  ASSERT_TRUE(own.write(path("lvl.crs")));
  ASSERT_TRUE(other.write(path("other.crs")));
  Resfile reader;
  Level lvl;
  lvl.name = path("lvl.crs") + ":lvl";
  lvl.reader = &reader;
  Frame* f = lvl.addFrame(0, "a", nullptr, nullptr, 0, 0, 0, 1, 1);
  ASSERT_TRUE(lvl.loadFrame(f, "ignored"));  // the frame's own name wins
  EXPECT_EQ(f->cells[0], 1);
  EXPECT_EQ(f->cells[299], 7);
  Frame* g = lvl.addFrame(1, nullptr, nullptr, nullptr, 1, 0, 0, 1, 1);
  ASSERT_TRUE(lvl.loadFrame(g, (path("other.crs") + ":x").c_str()));
  EXPECT_EQ(g->cells.size(), 300u);  // bytes past the grid are dropped
  {
    Log::Capture cap;
    EXPECT_FALSE(lvl.loadFrame(g, "short"));
    EXPECT_FALSE(lvl.loadFrame(g, "nothere"));
    EXPECT_FALSE(lvl.loadFrame(lvl.addFrame(2, nullptr, nullptr, nullptr, 2, 0, 0, 1, 1), nullptr));
    EXPECT_EQ(cap.lines(), (std::vector<std::string>{
                               "FAIL: Level.loadFrame: Brak wszystkich klockow (\"short.bin\")",
                               "FAIL: Resfile.load: Nie znaleziono pliku \"nothere.bin\"",
                               "FAIL: Level.loadFrame: Nie znaleziono klockow (\"nothere.bin\")"}));
  }
  EXPECT_EQ(g->cells[0], 9);  // the earlier blocks stay
}

TEST_F(Frames, MapKeysAndBounds) {
  Sheet a(2, 32, 32), b(2, 32, 32);
  Level lvl;
  Frame* f = lvl.addFrame(4, "first", &a.s, nullptr, 2, 1, 0, 0.5f, 1.0f);
  EXPECT_EQ(std::vector<int>({lvl.left, lvl.top, lvl.right, lvl.bottom}),
            std::vector<int>({0, 0, 1920, 960}));
  // An existing key gives back the existing frame, untouched.
  EXPECT_EQ(lvl.addFrame(9, "second", &b.s, &b.s, 2, 1, 0, 1, 1), f);
  EXPECT_TRUE(f->id == 4u && f->blockSprite == &a.s && f->parallaxX == 0.5f);
  // Left of and above the bounds only left and top move; deleting never shrinks.
  lvl.addFrame(1, nullptr, nullptr, nullptr, -2, -1, 0, 1, 1);
  EXPECT_EQ(std::vector<int>({lvl.left, lvl.top, lvl.right, lvl.bottom, lvl.width, lvl.height}),
            std::vector<int>({-1280, -480, 1920, 960, 3200, 1440}));
  lvl.delFrame(f);
  EXPECT_EQ(lvl.right, 1920);
  EXPECT_EQ(lvl.frameMap.size(), 1u);
  // Pixels -1 and -640 both lie in frame -1; -640 at its column 0.
  Frame* m = lvl.addFrame(0, nullptr, nullptr, nullptr, -1, 0, 0, 1, 1);
  setCell(*m, 0, 0, 1);
  EXPECT_EQ(lvl.frameAt(-1, 0, 0), m);
  EXPECT_EQ(lvl.frameAt(-641, 0, 0), nullptr);
  EXPECT_TRUE(lvl.blockAt(-640, 0, 0, false));
  EXPECT_FALSE(lvl.blockAt(-1, 0, 0, false));
  EXPECT_FALSE(lvl.blockAt(-640, 0, 1, false));  // other layer
  lvl.delFrame(m);  // the lookup memo must forget it
  EXPECT_FALSE(lvl.blockAt(-640, 0, 0, false));
}

TEST_F(Frames, CoarseAndPreciseBlockTests) {
  Sheet tiles(3, 32, 32);
  tiles.paint(1, 4, 5, 5, 6, 0);   // one empty mask pixel in tile 1
  tiles.paint(2, 0, 32, 0, 32, 0);
  tiles.paint(2, 10, 11, 0, 32, 1);  // tile 2: only column 10
  Level lvl;
  Frame* f = lvl.addFrame(0, nullptr, &tiles.s, nullptr, 0, 0, 0, 1, 1);
  EXPECT_FALSE(lvl.blockAt(4, 5, 0, false));  // no cells yet
  setCell(*f, 0, 0, 1);
  setCell(*f, 2, 0, 200);  // no such tile
  setCell(*f, 4, 0, 2);
  setCell(*f, 5, 0, 2);
  EXPECT_TRUE(lvl.blockAt(4, 5, 0, false));
  EXPECT_FALSE(lvl.blockAt(4, 5, 0, true));
  EXPECT_FALSE(lvl.blockAt(40, 5, 0, false));
  EXPECT_TRUE(lvl.blockAt(70, 5, 0, false));
  EXPECT_TRUE(lvl.blockAt(70, 5, 0, true));
  // Sampling every 32nd column of x 128..191 misses solid columns 138, 170.
  EXPECT_FALSE(lvl.blockHit(128, 0, 0, 64, 1, 2));
  EXPECT_TRUE(lvl.blockHit(128, 0, 0, 43, 1, 2));  // last column 170
  EXPECT_TRUE(lvl.blockHit(139, 0, 0, 0, 2, 2));   // no columns: corner sample only
  // The sheet shrinks under tile 2: its pixels are free, never read.
  tiles.s.width = 64;
  tiles.s.mask.assign(64 * 32, 1);
  EXPECT_TRUE(lvl.blockAt(138, 5, 0, false));
  EXPECT_FALSE(lvl.blockAt(138, 5, 0, true));
}

namespace {

// Counts its steps and its destruction; may delete an object from its step.
struct Probe : Object {
  Probe(Level* l, Sprite* s, int* steps, bool* dead)
      : Object(0, 0, 0, 0, 1, s, l, nullptr), steps(steps), dead(dead) {}
  ~Probe() override { *dead = true; }
  void step() override {
    ++*steps;
    if (victim) lvl->delObj(victim);
    victim = nullptr;
  }
  int* steps;
  bool* dead;
  Object* victim = nullptr;
};

}  // namespace

TEST_F(Frames, ListsChangedWhileWalked) {
  Sheet body(1, 8, 8);
  Level lvl;
  int steps[3] = {};
  bool dead[3] = {};
  Probe* p[3];
  for (int i = 0; i < 3; ++i)
    p[i] = static_cast<Probe*>(lvl.adoptObj(std::make_unique<Probe>(&lvl, &body.s, &steps[i], &dead[i])));
  p[0]->victim = p[0];  // deletes itself: lives until the walk ends
  lvl.updateWorld();
  EXPECT_EQ(std::vector<int>(steps, steps + 3), std::vector<int>({1, 1, 1}));
  EXPECT_TRUE(dead[0]);
  p[1]->victim = p[2];  // a later one: not stepped any more
  lvl.updateWorld();
  EXPECT_EQ(steps[2], 1);
  EXPECT_TRUE(dead[2]);
  EXPECT_EQ(lvl.objs.size(), 1u);
  // Frame objects: lookup by frame id from a start position, deletion with
  // the frame, counting.
  Object* a = lvl.addFrameObj(5, -1, -1, 2, 1, &body.s);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->frameHost->id, 0xFFFFFFFFu);
  Frame* g = lvl.addFrame(0xFFFFFFFFu, nullptr, nullptr, nullptr, 3, 3, 0, 1, 1);
  Object* b = lvl.addFrameObj(5, 3 * 640, 3 * 480, 0, 1, &body.s);
  EXPECT_EQ(lvl.getFrameObj(0xFFFFFFFFu, 5), a);
  EXPECT_EQ(lvl.getFrameObj(0xFFFFFFFFu, 5, 1), b);
  EXPECT_EQ(lvl.countObjs(), 3u);
  int gs = 0;
  bool gd = false;
  g->objs.add(std::make_unique<Probe>(&lvl, &body.s, &gs, &gd));
  lvl.delFrame(g);
  EXPECT_TRUE(gd);
  lvl.delFrameObj(a);
  lvl.delFrameObj(nullptr);
  EXPECT_EQ(lvl.countObjs(), 1u);
  // delObj of an object not in the list leaves the list alone.
  Object* x1 = lvl.addObj(7, 0, 0, 0, 1, &body.s);
  Object* x2 = lvl.addObj(7, 0, 0, 0, 1, &body.s);
  Object stranger(7, 0, 0, 0, 1, nullptr, &lvl, nullptr);
  lvl.delObj(&stranger);
  lvl.delObj(x1);
  EXPECT_EQ(lvl.getObj(7), x2);
}
