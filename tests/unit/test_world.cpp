// Objects in a small world: one frame at (0, 0) of a tile sheet whose tile 1
// is solid, tile 2 a 6-pixel step and tile 3 a 7-pixel wall; bodies 16 x 32,
// slabs 64 x 16, anchor top-left. Physics steps stand on a floor
// in block row 10 (y 320..351). Also level frames: the frame map and its
// bounds, and object lists changed while they are walked.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <tuple>

#include "base/log.h"
#include "resources/resfile.h"
#include "unit/api_fixture.h"
#include "unit/world_helpers.h"

using namespace worldtest;

namespace {

constexpr float kDt = 0.016f;

struct SmallWorld : ::testing::Test {
  PhysicsGuard guard;
  Sheet tiles{4, 32, 32}, body{1, 16, 32}, slab{1, 64, 16};
  Level lvl;
  Frame* frame = lvl.addFrame(0, "f", &tiles.s, nullptr, 0, 0, 0, 1.0f, 1.0f);
  void world(float dt, float grav, float air) {
    game::dt = dt;
    Object::globalGrav = {0, grav};
    Object::globalAirRes = {air, air};
  }
  Object* add(int x, int y, Sheet& sp) { return lvl.addObj(1, x, y, 0, 10, &sp.s); }
  Object* add(int x, int y) { return add(x, y, body); }
  Object* addInFrame(int x, int y, Sheet& sp) { return lvl.addFrameObj(1, x, y, 0, 1, &sp.s); }
};

struct Physics : SmallWorld {
  void SetUp() override {
    world(kDt, 300, 0.02f);
    Object::globalGndRes = {300, 300};
    tiles.paint(2, 0, 32, 0, 26, 0);  // a 6-pixel step
    tiles.paint(3, 0, 32, 0, 25, 0);  // a 7-pixel wall
    fillRow(*frame, 10, 1);
  }
};

using Frames = leveltest::GameDir;

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

TEST_F(Physics, ImmobileObjectsKeepTheirSpeedsAndPassObjectsBelow) {
  Object* o = add(100, 100);
  o->immobile = true;
  o->spdX = 30, o->spdY = -20;
  o->update();
  EXPECT_EQ(o->spdX, 30.0f);
  EXPECT_FLOAT_EQ(o->y, 100.0f - 20.0f * kDt);
  Object* base = add(100, 288);
  base->immobile = true;
  o->x = 100, o->y = 256;  // bottom row 287 touches base
  o->spdY = 60;
  o->update();
  EXPECT_FALSE(o->onGround);
  EXPECT_GT(o->y, 256.5f);
  o->y = 256;
  o->immobile = false;
  o->update();
  EXPECT_TRUE(o->onGround);
  EXPECT_EQ(o->y, 256.0f);
  base->spdY = 60;  // blocks do stop an immobile object
  base->update();
  EXPECT_TRUE(base->onGround);
  EXPECT_EQ(base->spdY, 0.0f);
}

TEST_F(Physics, LandingOnPlatforms) {
  Object* p = add(100, 300, slab);  // top row 300
  p->immobile = true;
  p->spdX = 40, p->spdY = 10, p->carrySpdX = 2;
  Object* a = add(100, 268);  // bottom row 299
  a->update();
  ASSERT_TRUE(a->onGround);
  EXPECT_TRUE(a->carrySpdX == 42.0f && a->carrySpdY == 10.0f && a->spdY == 0.0f);
  p->x = 3000;  // gone: the carried speed moves it and decays
  a->update();
  EXPECT_NEAR(a->x, 100.0f + 42.0f * kDt, 1e-4);
  EXPECT_FLOAT_EQ(a->carrySpdX, 42.0f - 0.02f * kDt);
  EXPECT_FLOAT_EQ(a->carrySpdY, 10.0f - 0.02f * kDt);
  // A still platform leaves nothing; its own vertical speed does not count,
  // its carried vertical speed does.
  p->x = 100, p->spdX = 0, p->carrySpdX = 0, p->spdY = 30;
  a->x = 100, a->y = 268;
  a->update();
  EXPECT_TRUE(a->carrySpdX == 0.0f && a->carrySpdY == 0.0f);
  p->carrySpdY = 0.5f;
  a->update();
  EXPECT_EQ(a->carrySpdY, 30.5f);
  a->y = 267, a->spdY = 100;  // from a pixel above it lands on its top
  a->update();
  EXPECT_TRUE(a->onGround && toPixel(a->y) == 268);
}

// Both ways; walking left with a box and an anchor of its own (box from
// column 4, anchor (2, 4)): its box meets the step and the wall.
TEST_F(Physics, SixPixelStepIsClimbedSevenPixelWallBlocks) {
  Sheet anchored(1, 16, 32, 2, 4);
  anchored.s.anims[0].boxX1 = 4;
  auto walk = [&](Sheet& sp, int x, int y, float speed) {
    Object* o = add(x, y, sp);
    bool hit = false;
    for (int i = 0; i < 30; ++i) {
      o->spdX = speed;
      o->update();
      hit = hit || o->hitRight || o->hitLeft;
    }
    const std::string out =
        std::to_string(hit) + " " + std::to_string(toPixel(o->x)) + " " + std::to_string(toPixel(o->y));
    lvl.delObj(o);
    return out;
  };
  setCell(*frame, 5, 9, 2);  // step: y 314..319 over x 160..191
  EXPECT_EQ(walk(body, 120, 288, 100), "0 167 282");
  EXPECT_EQ(walk(anchored, 198, 292, -100), "0 150 286");
  setCell(*frame, 5, 9, 3);  // wall: y 313..319
  EXPECT_EQ(walk(body, 120, 288, 100), "1 144 288");
  EXPECT_EQ(walk(anchored, 198, 292, -100), "1 190 292");
}

TEST_F(Physics, BlockEdgesAndCeilings) {
  frame->cells.assign(Frame::kCells, 0);
  setCell(*frame, 5, 12, 1);  // x 160..191, y 384..415
  Object* edge = add(145, 300);  // right column 160
  Object* miss = add(144, 300);  // right column 159
  for (int i = 0; i < 120; ++i) edge->update(), miss->update();
  EXPECT_TRUE(edge->onGround);
  EXPECT_EQ(toPixel(edge->y), 352);
  EXPECT_GE(miss->y, 480.0f);
  Object::globalGrav = {0, 0};
  fillRow(*frame, 5, 1);  // ceiling y 160..191
  Object* o = add(300, 195);
  o->spdY = -200, o->spdX = 10, o->carrySpdY = -3;
  o->update();
  EXPECT_TRUE(o->hitTop && o->spdY == 0.0f && o->carrySpdY == 0.0f);
  EXPECT_EQ(toPixel(o->y), 192);
  EXPECT_NEAR(o->spdX, 10.0f - 300.0f * kDt, 1e-2);  // friction at the ceiling too
  add(400, 240, slab)->immobile = true;  // rows 240..255; rising from a pixel below it
  Object* u = add(400, 257);
  u->spdY = -100;
  u->update();
  EXPECT_TRUE(u->hitTop && toPixel(u->y) == 256);
}

TEST_F(Physics, FrameObjectsMeetOnlyTheirFramesObjectsByMask) {
  Sheet holey(1, 64, 16);
  holey.paint(0, 0, 32, 0, 16, 0);  // left half transparent
  Object* p = addInFrame(100, 300, holey);
  p->immobile = true;
  Object* left = addInFrame(105, 268, body);
  Object* right = addInFrame(140, 268, body);
  left->update(), right->update();
  EXPECT_TRUE(!left->onGround && right->onGround);
  // Level objects and frame objects do not see each other.
  add(300, 300, slab);
  Object* b = addInFrame(300, 268, body);
  b->update();
  EXPECT_FALSE(b->onGround);
  Object* c = add(140, 268);
  c->update();
  EXPECT_FALSE(c->onGround);
  // A neighbouring frame's object reaching into this one is not met.
  addInFrame(630, 300, slab);  // x 630..693, frame 0
  Object* d = addInFrame(650, 268, body);  // frame 1
  ASSERT_NE(d->frameHost, frame);
  d->update();
  EXPECT_FALSE(d->onGround);
  for (Object* o : {p, left, right, b}) lvl.delFrameObj(o);  // before `holey` goes
}

// The frame map: keys and the level's bounds, then the lookups (a table per
// layer, laid out anew after the frames change; the map when frames lie far
// apart), which find every frame and nothing else across additions,
// removals, swaps and clearing.
TEST(FrameMap, KeysBoundsAndLookups) {
  Sheet a(2, 32, 32), b(2, 32, 32);
  Level lvl, other;
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

  auto add = [&](int fx, int fy, int layer) { return lvl.addFrame(0, nullptr, nullptr, nullptr, fx, fy, layer, 1, 1); };
  Frame* o = add(0, 0, 0);
  Frame* p = add(2, -1, 0);
  Frame* c = add(2, -1, 3);
  EXPECT_EQ(lvl.findFrame(0, 0, 0), o);
  EXPECT_EQ(lvl.findFrame(2, -1, 3), c);
  EXPECT_EQ(lvl.frameAt(2 * 640 + 5, -3, 0), p);
  for (auto [fx, fy, layer] : {std::tuple{1, 0, 0}, {0, 0, 3}, {0, 0, 1}, {-1, 0, 0},
                               {INT_MIN, INT_MAX, 0}, {INT_MAX, INT_MIN, 3}})
    EXPECT_EQ(lvl.findFrame(fx, fy, layer), nullptr) << fx << "," << fy << "," << layer;
  lvl.delFrame(p);
  EXPECT_EQ(lvl.findFrame(2, -1, 0), nullptr);
  Frame* d = add(1, 0, 0);
  EXPECT_EQ(lvl.findFrame(1, 0, 0), d);
  // Far apart: looked up in the map.
  Frame* far = add(1000000, 5, 0);
  EXPECT_EQ(lvl.findFrame(1000000, 5, 0), far);
  EXPECT_EQ(lvl.findFrame(0, 0, 0), o);
  EXPECT_EQ(lvl.findFrame(999999, 5, 0), nullptr);
  lvl.swapContents(other);
  EXPECT_EQ(lvl.findFrame(0, 0, 0), nullptr);
  EXPECT_EQ(other.findFrame(0, 0, 0), o);
  EXPECT_EQ(other.findFrame(2, -1, 3), c);
  other.delFrame(far);
  EXPECT_EQ(other.findFrame(1000000, 5, 0), nullptr);
  EXPECT_EQ(other.findFrame(1, 0, 0), d);
  other.clearWorld();
  EXPECT_EQ(other.findFrame(0, 0, 0), nullptr);
}

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
