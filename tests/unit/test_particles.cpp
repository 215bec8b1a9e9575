// Particles and bullets in a small world: one frame at (0, 0) with a wall of
// solid blocks in column 10 (x 320..351); targets are 16 x 32 bodies.
#include <gtest/gtest.h>

#include "base/log.h"
#include "tests/unit/world_helpers.h"
#include "world/bullet.h"
#include "world/particle.h"

using namespace worldtest;

namespace {

class Particles : public ::testing::Test {
 protected:
  void SetUp() override {
    game::dt = 0.125f;
    Object::globalGrav = {0, 0};
    Object::globalAirRes = {0, 0};
    frame = lvl.addFrame(0, "f", &tiles.s, nullptr, 0, 0, 0, 1.0f, 1.0f);
    for (int r = 0; r < Frame::kRows; ++r) setCell(*frame, 10, r, 1);
  }
  Particle* add(int x, int y, float angle, float speed, float life, int damage, int z = 0) {
    return lvl.addParticle(x, y, z, angle, speed, life, damage, &dot.s);
  }
  PhysicsGuard guard;
  Log::Capture cap;  // the blood picture is not to be had here
  Sheet tiles{2, 32, 32}, dot{1, 2, 2}, body{1, 16, 32};
  Level lvl;
  Frame* frame = nullptr;
};

}  // namespace

TEST_F(Particles, LifetimeFadeAndDirection) {
  Particle* p = add(100, 100, 90, 80, 1.0f, 0);
  EXPECT_NEAR(p->spdY, 80.0f, 1e-4);  // 90 degrees points down
  for (int i = 0; i < 3; ++i) lvl.update();
  EXPECT_EQ(p->alpha, 64);  // life 0.25: fading
  lvl.update();  // each step takes twice dt: gone after the fourth
  EXPECT_TRUE(lvl.parts.empty());
  EXPECT_EQ(lvl.addParticle(0, 0, 0, 0, 1, 1, 0, nullptr), nullptr);
  Sprite bare;  // no animations: no starting frame to pick
  ASSERT_NE(lvl.addParticle(0, 0, 0, 0, 1, 1, 0, &bare), nullptr);
  lvl.parts.clear();
  // A frame's list (which does not own them) drops them below 0 only.
  Particle own(50, 50, 0, 0, 0, 0.425f, 0, &dot.s, &lvl, frame);
  own.update();
  EXPECT_EQ(own.alpha, 76);  // life 0.3
  frame->parts.push_back(&own);
  frame->update();  // life 0.05: still listed
  EXPECT_EQ(frame->parts.size(), 1u);
  frame->update();
  EXPECT_TRUE(frame->parts.empty());
}

TEST_F(Particles, BouncesOffWallsAndSticksInsideThem) {
  Particle* p = add(310, 100, 0, 100, 5.0f, 0);  // 12.5 px per step: the next x is in the wall
  p->update();
  EXPECT_FLOAT_EQ(p->spdX, -50.0f);
  EXPECT_FLOAT_EQ(p->x, 310.0f - 6.25f);
  Object::globalAirRes = {2, 2};  // the air slows a slow particle twice, never speeds it up
  Particle* slow = add(50, 50, 0, 0.5f, 5.0f, 0);
  slow->update();
  EXPECT_FLOAT_EQ(slow->spdX, 0.125f);
  Object::globalGrav = {0, 300};
  Particle* stuck = add(330, 100, 45, 100, 5.0f, 0);
  for (int i = 0; i < 4; ++i) stuck->step();
  EXPECT_TRUE(stuck->x == 330 && stuck->y == 100 && stuck->spdX == 0 && stuck->spdY == 0);
}

TEST_F(Particles, DamageOnlyInLayerZeroAndOnlyToTheLiving) {
  Object* target = lvl.addObj(1, 120, 90, 0, 10, &body.s);
  Object* dead = lvl.addObj(2, 220, 90, 0, 0, &body.s);
  Particle* harmless = add(100, 100, 0, 100, 5.0f, 3, 1);  // layer 1
  for (int i = 0; i < 2; ++i) harmless->update();
  EXPECT_EQ(target->hp, 10);
  Particle* p = add(110, 100, 0, 100, 5.0f, 3);
  p->update();  // 122.5 lies in the target: wounded, no bounce
  EXPECT_EQ(target->hp, 7);
  EXPECT_FLOAT_EQ(p->spdX, 100.0f);
  EXPECT_TRUE(cap.contains("krew01"));  // it asked for the blood picture
  EXPECT_EQ(p->sprite, nullptr);
  Particle* q = add(210, 100, 0, 100, 5.0f, 3);
  q->update();  // no hit points left: bounce
  EXPECT_EQ(dead->hp, 0);
  EXPECT_FLOAT_EQ(q->spdX, -50.0f);
}

TEST_F(Particles, BulletsSpareTheShooterAndEndWithTheirHits) {
  Object* shooter = lvl.addObj(1, 100, 90, 0, 10, &body.s);
  Object* a = lvl.addObj(2, 130, 90, 0, 10, &body.s);
  Object* b = lvl.addObj(3, 160, 90, 0, 10, &body.s);
  Bullet* one = addBullet(lvl, 105, 100, 0, 0, 160, 5.0f, 4, 1, &dot.s, shooter);
  Bullet* two = addBullet(lvl, 105, 100, 0, 0, 160, 5.0f, 4, 2, &dot.s, shooter);
  EXPECT_EQ(addBullet(lvl, 0, 0, 0, 0, 1, 1, 1, 1, nullptr), nullptr);
  ASSERT_TRUE(one && two);
  for (int i = 0; i < 4; ++i) lvl.update();
  // The first stopped at the first body; the second went on to the next.
  EXPECT_EQ(std::vector<int>({shooter->hp, a->hp, b->hp}), std::vector<int>({10, 2, 6}));
  EXPECT_TRUE(lvl.bullets.empty());
  addBullet(lvl, 50, 10, 0, 0, 0, 0.3f, 1, 1, &dot.s);
  lvl.update();
  EXPECT_EQ(lvl.bullets.size(), 1u);
  lvl.update();  // its life is out: dropped
  EXPECT_TRUE(lvl.bullets.empty());
  addBullet(lvl, 50, 10, 0, 0, 0, 1, 1, 1, &dot.s);
  lvl.unload();  // the list holds none of the destroyed bullets
  EXPECT_TRUE(lvl.bullets.empty());
}
