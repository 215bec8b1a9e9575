// Physics step scenarios on small hand-built levels: one frame at (0, 0)
// with a floor of solid tiles in block row 10 (y 320..351).
#include <gtest/gtest.h>

#include "tests/unit/world_helpers.h"

using namespace worldtest;

namespace {

constexpr float kDt = 0.016f;

class Physics : public ::testing::Test {
 protected:
  void SetUp() override {
    game::dt = kDt;
    Object::globalGrav = {0, 300};
    Object::globalAirRes = {0.02f, 0.02f};
    Object::globalGndRes = {300, 300};
    tiles.keepBottomRows(2, 6);  // a 6-pixel step
    tiles.keepBottomRows(3, 7);  // a 7-pixel wall
    frame = lvl.addFrame(0, "f", &tiles.sprite, nullptr, 0, 0, 0, 1.0f, 1.0f);
    fillRow(*frame, 10, 1);
  }
  Object* add(int x, int y, Sprite* s = nullptr) {
    return lvl.addObj(1, x, y, 0, 10, s ? s : &body.sprite);
  }
  void weightless() {
    Object::globalGrav = {0, 0};
    Object::globalAirRes = {0, 0};
  }

  PhysicsGuard guard;
  TileSheet tiles{4};
  Body body{16, 32};
  Body slab{64, 16};
  Level lvl;
  Frame* frame = nullptr;
};

}  // namespace

TEST_F(Physics, FreeFallIntegratesGravityAndAirResistance) {
  Object* o = add(100, 100);
  o->update();
  float v = 300.0f * kDt;
  v -= 0.02f * kDt;  // air resistance takes 0.02 * dt off a speed this small
  EXPECT_FLOAT_EQ(o->spdY, v);
  EXPECT_FLOAT_EQ(o->y, 100.0f + v * kDt);
  EXPECT_FALSE(o->onGround);
}

TEST_F(Physics, RestingOnFloorLandsWithGroundFriction) {
  Object* o = add(100, 288);  // bottom row 319, floor from 320
  o->spdX = 50;
  o->update();
  EXPECT_TRUE(o->onGround);
  EXPECT_EQ(o->spdY, 0.0f);
  EXPECT_EQ(o->y, 288.0f);
  // Integration (50 - 0.02*50*dt - 0.02*dt), then friction 300 * dt.
  EXPECT_NEAR(o->spdX, 50.0f - 1.02f * kDt - 300.0f * kDt, 1e-4);
  // The move was fixed before friction.
  EXPECT_NEAR(o->x, 100.0f + (50.0f - 1.02f * kDt) * kDt, 1e-4);
  // Friction never turns the speed round.
  o->spdX = 1.0f;
  o->update();
  EXPECT_EQ(o->spdX, 0.0f);
}

TEST_F(Physics, FastFallStopsExactlyOnTheFloor) {
  Object* o = add(100, 280);
  o->y = 280.5f;
  o->spdY = 600;
  o->update();
  EXPECT_TRUE(o->onGround);
  EXPECT_EQ(toPixel(o->y), 288);
  EXPECT_EQ(o->spdY, 0.0f);
}

TEST_F(Physics, WithoutGravityARestingObjectIsNotOnGround) {
  Object::globalGrav = {0, 0};
  Object* o = add(100, 288);
  o->update();
  EXPECT_FALSE(o->onGround);
  EXPECT_EQ(o->y, 288.0f);
}

TEST_F(Physics, OwnGravityOverridesTheLevelWideValue) {
  Object* a = add(100, 100);
  Object* b = add(200, 100);
  b->setGrav(0, 0);
  Object::globalGrav = {0, 600};  // reaches a, not b
  a->update();
  b->update();
  EXPECT_GT(a->spdY, 9.0f);
  EXPECT_EQ(b->spdY, 0.0f);
  EXPECT_EQ(b->grav, &b->ownGrav);
}

TEST_F(Physics, LevelBottomStopsDownwardMovement) {
  ASSERT_EQ(lvl.bottom, 480);
  Object* o = add(100, 480);
  o->spdY = 100;
  o->update();
  EXPECT_EQ(o->y, 480.0f);
  EXPECT_EQ(o->spdY, 0.0f);
  EXPECT_FALSE(o->onGround);
  o->y = 900;
  o->update();
  EXPECT_EQ(o->y, 900.0f);
  // Upward movement is not limited by the bounds.
  o->spdY = -100;
  o->update();
  EXPECT_LT(o->y, 900.0f);
}

TEST_F(Physics, ImmobileObjectKeepsItsSpeeds) {
  Object* o = add(100, 100);
  o->immobile = true;
  o->spdX = 30;
  o->spdY = -20;
  o->update();
  EXPECT_EQ(o->spdX, 30.0f);
  EXPECT_EQ(o->spdY, -20.0f);
  EXPECT_FLOAT_EQ(o->x, 100.0f + 30.0f * kDt);
  EXPECT_FLOAT_EQ(o->y, 100.0f - 20.0f * kDt);
}

TEST_F(Physics, ObjectsBelowStopOnlyMobileObjects) {
  Object* base = add(100, 288);  // stands on the floor, top row 288
  base->immobile = true;
  Object* mover = add(100, 256);  // bottom row 287 touches it
  mover->immobile = true;
  mover->spdY = 60;
  mover->update();
  EXPECT_FALSE(mover->onGround);
  EXPECT_EQ(mover->spdY, 60.0f);
  EXPECT_GT(mover->y, 256.5f);

  mover->y = 256;
  mover->immobile = false;
  mover->update();
  EXPECT_TRUE(mover->onGround);
  EXPECT_EQ(mover->spdY, 0.0f);
  EXPECT_EQ(mover->y, 256.0f);

  // Blocks stop an immobile object.
  base->immobile = true;
  base->spdY = 60;
  base->update();
  EXPECT_TRUE(base->onGround);
  EXPECT_EQ(base->spdY, 0.0f);
}

TEST_F(Physics, PushingMobileObjectSharesTheMeanSpeed) {
  weightless();
  Object* a = add(100, 200);  // columns 100..115
  Object* b = add(116, 200);
  a->spdX = 100;
  b->spdX = 20;
  b->carrySpdX = 7;
  a->update();
  EXPECT_TRUE(a->hitRight);
  EXPECT_EQ(a->spdX, 60.0f);
  EXPECT_EQ(b->spdX, 60.0f);
  EXPECT_EQ(b->carrySpdX, 0.0f);
  EXPECT_EQ(a->x, 100.0f);
}

TEST_F(Physics, PushingLeftMirrorsPushingRight) {
  weightless();
  Object* b = add(100, 200);  // columns 100..115
  Object* a = add(116, 200);
  a->spdX = -100;
  a->carrySpdX = 0;
  a->update();
  EXPECT_TRUE(a->hitLeft);
  EXPECT_FALSE(a->hitRight);
  EXPECT_EQ(a->spdX, -50.0f);
  EXPECT_EQ(b->spdX, -50.0f);
}

TEST_F(Physics, PushingAnImmobileObject) {
  weightless();
  Object* a = add(100, 200);
  Object* b = add(116, 200);
  b->immobile = true;
  b->carrySpdX = 5;
  a->spdX = 100;
  a->carrySpdX = 0.5f;
  a->update();
  // Resting immobile: the pusher stops dead.
  EXPECT_EQ(a->spdX, 0.0f);
  EXPECT_EQ(a->carrySpdX, 0.0f);
  EXPECT_EQ(b->spdX, 0.0f);
  EXPECT_EQ(b->carrySpdX, 0.0f);
  EXPECT_TRUE(a->hitRight);

  // Moving immobile: the pusher takes the mean, the pushed keeps its speed.
  a->spdX = 100;
  b->spdX = -20;
  a->update();
  EXPECT_EQ(a->spdX, 40.0f);
  EXPECT_EQ(b->spdX, -20.0f);

  // An immobile pusher keeps its speed and hands it on.
  b->immobile = false;
  b->spdX = 0;
  a->immobile = true;
  a->spdX = 100;
  a->update();
  EXPECT_EQ(a->spdX, 100.0f);
  EXPECT_EQ(b->spdX, 100.0f);
}

TEST_F(Physics, StoppedPusherWithCollisionsOffPassesThrough) {
  weightless();
  Object* a = add(100, 200);
  add(116, 200);
  a->colsOn = false;
  a->spdX = 100;
  a->update();
  EXPECT_FALSE(a->hitRight);
  EXPECT_FLOAT_EQ(a->x, 100.0f + 100.0f * kDt);
}

TEST_F(Physics, LandingOnMovingPlatformTakesItsSpeed) {
  Object* p = add(100, 300, &slab.sprite);  // top row 300
  p->immobile = true;
  p->spdX = 40;
  p->spdY = 10;
  p->carrySpdX = 2;
  Object* a = add(100, 268);  // bottom row 299
  a->update();
  ASSERT_TRUE(a->onGround);
  EXPECT_EQ(a->carrySpdX, 42.0f);
  EXPECT_EQ(a->carrySpdY, 10.0f);
  EXPECT_EQ(a->spdY, 0.0f);

  // Next step, platform gone: the carried speed moves it and decays.
  p->x = 3000;
  a->update();
  EXPECT_NEAR(a->x, 100.0f + 42.0f * kDt, 1e-4);
  EXPECT_FLOAT_EQ(a->carrySpdX, 42.0f - 0.02f * kDt);
  EXPECT_FLOAT_EQ(a->carrySpdY, 10.0f - 0.02f * kDt);
}

TEST_F(Physics, LandingOnStillPlatformClearsCarriedSpeed) {
  Object* p = add(100, 300, &slab.sprite);
  p->immobile = true;
  p->spdY = 30;  // vertical speed alone is not handed on
  Object* a = add(100, 268);
  a->carrySpdX = 5;
  a->update();
  ASSERT_TRUE(a->onGround);
  EXPECT_EQ(a->carrySpdX, 0.0f);
  EXPECT_EQ(a->carrySpdY, 0.0f);

  // ... but a carried vertical speed is.
  p->carrySpdY = 0.5f;
  a->update();
  EXPECT_EQ(a->carrySpdY, 30.5f);
}

TEST_F(Physics, SixPixelStepIsClimbedSevenPixelWallBlocks) {
  setCell(*frame, 5, 9, 2);  // step: y 314..319 over x 160..191
  Object* o = add(120, 288);
  for (int i = 0; i < 30; ++i) {
    o->spdX = 100;
    o->update();
  }
  EXPECT_EQ(toPixel(o->y), 282);
  EXPECT_GT(o->x, 150.0f);
  EXPECT_TRUE(o->onGround);

  setCell(*frame, 5, 9, 3);  // wall: y 313..319
  o->x = 120;
  o->y = 288;
  bool hit = false;
  for (int i = 0; i < 30; ++i) {
    o->spdX = 100;
    o->update();
    hit = hit || o->hitRight;
  }
  EXPECT_TRUE(hit);
  EXPECT_EQ(toPixel(o->x) + 15, 159);
  EXPECT_EQ(toPixel(o->y), 288);
}

TEST_F(Physics, LiftingRaisesAnObjectOutOfBlocksInOneStep) {
  Object* o = add(100, 328);  // 40 rows deep into the floor
  o->spdY = 50;
  o->update();
  EXPECT_EQ(toPixel(o->y), 288);
  EXPECT_EQ(o->spdY, 0.0f);
  // No more than 64 rows per step.
  fillRow(*frame, 11, 1);
  fillRow(*frame, 12, 1);
  o->y = 388;
  o->update();
  EXPECT_EQ(toPixel(o->y), 324);
}

TEST_F(Physics, FallingOntoABlockEdge) {
  frame->cells.assign(Frame::kCells, 0);
  setCell(*frame, 5, 12, 1);  // x 160..191, y 384..415
  Object* edge = add(145, 300);   // right column 160
  Object* miss = add(144, 300);   // right column 159
  for (int i = 0; i < 120; ++i) {
    edge->update();
    miss->update();
  }
  EXPECT_TRUE(edge->onGround);
  EXPECT_EQ(toPixel(edge->y) + 31, 383);
  EXPECT_FALSE(miss->onGround);
  EXPECT_GE(miss->y, 480.0f);
}

TEST_F(Physics, MovingUpIntoACeiling) {
  weightless();
  fillRow(*frame, 5, 1);  // y 160..191
  Object* o = add(100, 195);
  o->spdY = -200;
  o->spdX = 10;
  o->carrySpdY = -3;
  o->update();
  EXPECT_TRUE(o->hitTop);
  EXPECT_EQ(toPixel(o->y), 192);
  EXPECT_EQ(o->spdY, 0.0f);
  EXPECT_EQ(o->carrySpdY, 0.0f);
  EXPECT_FLOAT_EQ(o->spdX, 10.0f - 300.0f * kDt);  // ground friction at the ceiling too
  // An object below a ceiling of objects stops the same way.
  frame->cells.assign(Frame::kCells, 0);
  add(100, 140, &slab.sprite);  // rows 140..155
  o->y = 158;
  o->spdY = -200;
  o->update();
  EXPECT_TRUE(o->hitTop);
  EXPECT_EQ(toPixel(o->y), 156);
}

TEST_F(Physics, ObjectWithoutAnimationIsNoObstacle) {
  Object* ghost = add(100, 288);
  ghost->setAnim(99u);
  ASSERT_EQ(ghost->anim, nullptr);
  Object* a = add(100, 250);
  a->spdY = 200;
  for (int i = 0; i < 40; ++i) a->update();
  EXPECT_EQ(toPixel(a->y), 288);  // down to the floor, through the ghost
  EXPECT_EQ(lvl.objAt(105, 300, nullptr), a);
  // Without an animation it does not move either.
  ghost->spdY = 100;
  ghost->update();
  EXPECT_EQ(ghost->y, 288.0f);
}

TEST_F(Physics, FrameObjectsCollideOnlyWithTheirFramesObjects) {
  // A frame object on a frame object of the same frame lands.
  Object* floorObj = lvl.addFrameObj(1, 100, 300, 0, 1, &slab.sprite);
  Object* a = lvl.addFrameObj(2, 100, 268, 0, 1, &body.sprite);
  ASSERT_EQ(floorObj->frameHost, frame);
  floorObj->immobile = true;
  a->update();
  EXPECT_TRUE(a->onGround);

  // A frame object above a level object falls through it...
  add(300, 300, &slab.sprite);
  Object* b = lvl.addFrameObj(3, 300, 268, 0, 1, &body.sprite);
  b->update();
  EXPECT_FALSE(b->onGround);

  // ... and a level object above a frame object falls through that.
  Object* c = add(100, 250);
  c->y = 268;
  c->update();
  EXPECT_FALSE(c->onGround);

  // An object of a neighbouring frame is not an obstacle even where it
  // reaches into this one.
  Object* wide = lvl.addFrameObj(4, 630, 300, 0, 1, &slab.sprite);  // x 630..693
  Object* d = lvl.addFrameObj(5, 650, 268, 0, 1, &body.sprite);
  ASSERT_NE(wide->frameHost, d->frameHost);
  d->update();
  EXPECT_FALSE(d->onGround);
}

TEST_F(Physics, FrameObjectCollisionReadsTheMask) {
  Body holey(64, 16);
  // Left half of the platform image is transparent.
  for (uint32_t row = 0; row < 16; ++row)
    for (uint32_t col = 0; col < 32; ++col) holey.sprite.mask[row * 64 + col] = 0;
  Object* p = lvl.addFrameObj(1, 100, 300, 0, 1, &holey.sprite);
  p->immobile = true;
  Object* left = lvl.addFrameObj(2, 105, 268, 0, 1, &body.sprite);   // over x 105..120
  Object* right = lvl.addFrameObj(3, 140, 268, 0, 1, &body.sprite);  // over x 140..155
  left->update();
  right->update();
  EXPECT_FALSE(left->onGround);
  EXPECT_TRUE(right->onGround);
  // The image dies before the level: take its users out first.
  lvl.delFrameObj(left);
  lvl.delFrameObj(right);
  lvl.delFrameObj(p);
  EXPECT_TRUE(frame->objs.empty());
}

TEST_F(Physics, FrameObjectIsLiftedOutOfAnObjectBelow) {
  Object* p = lvl.addFrameObj(1, 100, 300, 0, 1, &slab.sprite);  // rows 300..315
  p->immobile = true;
  Object* a = lvl.addFrameObj(2, 100, 280, 0, 1, &body.sprite);  // sunk 12 rows in
  a->immobile = true;
  a->update();
  EXPECT_EQ(toPixel(a->y), 268);  // bottom row just above the platform
}

TEST_F(Physics, LevelObjectIsLiftedOutOfAnObjectBelow) {
  Object* p = add(100, 300, &slab.sprite);
  p->immobile = true;
  Object* a = add(100, 280);
  a->immobile = true;
  a->update();
  EXPECT_EQ(toPixel(a->y), 268);
}
