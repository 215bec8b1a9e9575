// Object records: animation selection and the animation clock.
#include <gtest/gtest.h>

#include "tests/unit/world_helpers.h"

using namespace worldtest;

namespace {

// Animation 0: 4 frames at speed 4 looping to frame 2; 1: one frame;
// 2: "walk", two frames.
struct Animated : Sheet {
  Animated() : Sheet(3, 16, 16) {
    s.anims[0].frames.resize(4);
    s.anims[0].speed = 4;
    s.anims[0].loopFrame = 2;
    s.anims[0].frames[3].offsetX = 3;
    s.anims[2].frames.resize(2);
    s.animsByName["walk"] = 2;
  }
};

}  // namespace

TEST(ObjectRecord, SelectingAnimations) {
  Animated a;
  Object o(7, 10, -20, 3, 5, &a.s, nullptr, nullptr);
  o.frameIdx = 1;
  o.setAnim(0u);  // the running one: no restart
  EXPECT_EQ(o.frameIdx, 1u);
  o.frameTime = 0.75f;
  o.setAnim("walk");  // another animation: its clock starts afresh
  EXPECT_EQ(o.frameTime, 0.0f);
  EXPECT_EQ(o.animIdx, 2u);
  EXPECT_EQ(o.frameIdx, 0u);
  o.setAnim(9u);  // none: index kept, frame dropped
  EXPECT_TRUE(o.anim == nullptr && o.frame == nullptr && o.animIdx == 9u);
  o.setAnim("jump");  // unknown once: none; afterwards animation 0
  EXPECT_EQ(o.anim, nullptr);
  o.setAnim("jump");
  EXPECT_EQ(o.anim, &a.s.anims[0]);
  o.setSprite(nullptr);  // nothing left pointing into the old sprite
  EXPECT_TRUE(o.anim == nullptr && o.frame == nullptr);
}

// The object's clock runs at its animation's speed and points `frame` at the
// current frame (the clock's own limits are AnimClock's).
TEST(ObjectRecord, AnimationClock) {
  PhysicsGuard guard;
  game::dt = 0.125f;  // speed 4: half a frame per step
  Animated a;
  Object o(1, 0, 0, 0, 0, &a.s, nullptr, nullptr);
  std::vector<uint32_t> seen;
  for (int i = 0; i < 7; ++i) {
    o.animate();
    o.animate();
    seen.push_back(o.frameIdx);
  }
  EXPECT_EQ(seen, (std::vector<uint32_t>{0, 1, 2, 3, 2, 3, 2}));
  EXPECT_EQ(o.frame, &a.s.anims[0].frames[2]);
  o.setAnim(1u);  // one frame never moves
  o.animate();
  EXPECT_EQ(o.frameTime, 0.0f);
}
