// Object records: creation, animation selection, the animation clock and
// the drawing call.
#include <gtest/gtest.h>

#include "render/camera.h"
#include "tests/unit/world_helpers.h"

using namespace worldtest;

namespace {

// Three animations: 0 (4 frames, speed 4, loop 2), 1 (one frame),
// 2 "walk" (2 frames, speed 20).
struct Animated {
  Sprite sprite;
  Animated() {
    sprite.width = 128;
    sprite.height = 32;
    for (int i = 0; i < 3; ++i) {
      Sprite::Anim a;
      a.w = a.h = 16;
      a.y = static_cast<uint32_t>(i) * 16;
      a.boxX2 = a.boxY2 = 16;
      sprite.anims.push_back(a);
    }
    sprite.anims[0].frames.resize(4);
    sprite.anims[0].speed = 4;
    sprite.anims[0].loopFrame = 2;
    sprite.anims[1].frames.resize(1);
    sprite.anims[2].frames.resize(2);
    sprite.anims[2].speed = 20;
    for (uint32_t k = 0; k < 4; ++k) sprite.anims[0].frames[k].offsetX = k;
    sprite.animsByName["walk"] = 2;
  }
};

}  // namespace

TEST(ObjectRecord, CreationTakesAnimationZero) {
  Animated s;
  Object o(7, 10, -20, 3, 5, &s.sprite, nullptr, nullptr);
  EXPECT_EQ(o.id, 7u);
  EXPECT_EQ(o.x, 10.0f);
  EXPECT_EQ(o.y, -20.0f);
  EXPECT_EQ(o.z, 3.0f);
  EXPECT_EQ(o.hp, 5);
  EXPECT_EQ(o.anim, &s.sprite.anims[0]);
  EXPECT_EQ(o.frame, &s.sprite.anims[0].frames[0]);
  EXPECT_EQ(o.animFps, 4u);
  EXPECT_EQ(o.alpha, 255);
  EXPECT_TRUE(o.colsOn);
  EXPECT_FALSE(o.immobile);
  EXPECT_EQ(o.grav, &Object::globalGrav);
  EXPECT_EQ(o.airRes, &Object::globalAirRes);
  EXPECT_EQ(o.gndRes, &Object::globalGndRes);

  Object bare(1, 0, 0, 0, 0, nullptr, nullptr, nullptr);
  EXPECT_EQ(bare.anim, nullptr);
  EXPECT_EQ(bare.animFps, 100u);
  bare.setAnim(2u);  // no sprite: nothing
  EXPECT_EQ(bare.animIdx, 0u);
  bare.update();
  bare.animate();
  bare.draw();
}

TEST(ObjectRecord, SetAnimByIndex) {
  PhysicsGuard guard;
  game::dt = 0.125f;
  Animated s;
  Object o(1, 0, 0, 0, 0, &s.sprite, nullptr, nullptr);
  o.animate();
  o.animate();
  o.animate();
  ASSERT_EQ(o.frameIdx, 1u);
  o.setAnim(0u);  // the same one: keeps running
  EXPECT_EQ(o.frameIdx, 1u);
  EXPECT_FLOAT_EQ(o.frameTime, 0.5f);
  o.setAnim(2u);
  EXPECT_EQ(o.anim, &s.sprite.anims[2]);
  EXPECT_EQ(o.animIdx, 2u);
  EXPECT_EQ(o.frameIdx, 0u);
  EXPECT_EQ(o.frameTime, 0.0f);
  EXPECT_EQ(o.animFps, 4u);  // still the speed of animation 0
  o.setAnim(9u);
  EXPECT_EQ(o.anim, nullptr);
  EXPECT_EQ(o.frame, nullptr);
  EXPECT_EQ(o.animIdx, 9u);
  o.frameIdx = 3;
  o.setAnim(10u);  // null again
  EXPECT_EQ(o.frameIdx, 0u);
  EXPECT_EQ(o.animIdx, 10u);
}

TEST(ObjectRecord, SetAnimByName) {
  Animated s;
  Object o(1, 0, 0, 0, 0, &s.sprite, nullptr, nullptr);
  o.frameIdx = 2;
  o.setAnim("walk");
  EXPECT_EQ(o.anim, &s.sprite.anims[2]);
  EXPECT_EQ(o.animIdx, 2u);
  EXPECT_EQ(o.frameIdx, 0u);
  o.frameIdx = 1;
  o.setAnim("walk");
  EXPECT_EQ(o.frameIdx, 1u);
  // An unknown name gives no animation the first time and keeps the index.
  o.setAnim("jump");
  EXPECT_EQ(o.anim, nullptr);
  EXPECT_EQ(o.animIdx, 2u);
  EXPECT_EQ(o.frameIdx, 0u);
  // ... and animation 0 from then on.
  o.setAnim("jump");
  EXPECT_EQ(o.anim, &s.sprite.anims[0]);
  EXPECT_EQ(o.animIdx, 0u);
}

TEST(ObjectRecord, AnimationClock) {
  PhysicsGuard guard;
  game::dt = 0.125f;  // speed 4: half a frame per update
  Animated s;
  Object o(1, 0, 0, 0, 0, &s.sprite, nullptr, nullptr);
  o.animate();
  EXPECT_FLOAT_EQ(o.frameTime, 0.5f);
  o.animate();  // exactly 1.0: no step yet
  EXPECT_EQ(o.frameIdx, 0u);
  EXPECT_FLOAT_EQ(o.frameTime, 1.0f);
  std::vector<uint32_t> seen;
  for (int i = 0; i < 12; ++i) {
    o.animate();
    if (i % 2 == 0) seen.push_back(o.frameIdx);
  }
  EXPECT_EQ(seen, (std::vector<uint32_t>{1, 2, 3, 2, 3, 2}));
  EXPECT_EQ(o.frame, &s.sprite.anims[0].frames[o.frameIdx]);

  // A big step past the end lands on the loop frame, no modulo.
  o.frameIdx = 3;
  o.frameTime = 0;
  game::dt = 2.0f;  // 8 frames at once
  o.animate();
  EXPECT_EQ(o.frameIdx, 2u);

  // One frame: nothing moves.
  o.setAnim(1u);
  o.animate();
  EXPECT_EQ(o.frameIdx, 0u);
  EXPECT_EQ(o.frameTime, 0.0f);
}

TEST(ObjectRecord, LoopFramePastTheEndHoldsTheLastFrame) {
  PhysicsGuard guard;
  game::dt = 0.5f;
  Animated s;
  s.sprite.anims[0].loopFrame = 7;
  Object o(1, 0, 0, 0, 0, &s.sprite, nullptr, nullptr);
  for (int i = 0; i < 10; ++i) {
    o.animate();
    ASSERT_LT(o.frameIdx, 4u);
  }
  EXPECT_EQ(o.frameIdx, 3u);
  EXPECT_EQ(o.frame, &s.sprite.anims[0].frames[3]);
}

TEST(ObjectRecord, SwitchingToNoSpriteDropsTheAnimation) {
  Animated s;
  Object o(1, 0, 0, 0, 0, &s.sprite, nullptr, nullptr);
  o.setAnim(2u);
  o.setSprite(nullptr);
  EXPECT_EQ(o.sprite, nullptr);
  EXPECT_EQ(o.anim, nullptr);
  EXPECT_EQ(o.frame, nullptr);
  Animated t;
  o.setSprite(&t.sprite);
  EXPECT_EQ(o.anim, &t.sprite.anims[0]);
  EXPECT_EQ(o.animIdx, 0u);
  o.setSprite(nullptr);  // before t goes
}

TEST(ObjectRecord, DrawUsesTruncatedPositionAndFrameParallax) {
  Camera& cam = Camera::instance();
  const float cx = cam.x, cy = cam.y;
  cam.x = 100.7f;
  cam.y = 40.2f;
  Animated s;
  Sprite::batch().clear();
  Object o(1, 0, 0, 0, 0, &s.sprite, nullptr, nullptr);
  o.x = 50.9f;
  o.y = -10.5f;
  o.z = 4;
  o.alpha = 77;
  o.frameIdx = 3;
  o.frame = &s.sprite.anims[0].frames[3];  // offsetX 3
  o.draw();
  ASSERT_EQ(Sprite::batch().size(), 4u);
  EXPECT_FLOAT_EQ(Sprite::batch()[0].x, 50.0f - 100.0f - 3.0f);
  EXPECT_FLOAT_EQ(Sprite::batch()[0].y, -10.0f - 40.0f);
  EXPECT_EQ(Sprite::batch()[0].a, 77);
  EXPECT_EQ(Sprite::batch()[0].z, 4.0f);

  Frame host(0, "", nullptr, nullptr, 0, 0, 0, 0.5f, 0.0f);
  o.frameHost = &host;
  Sprite::batch().clear();
  o.draw();
  ASSERT_EQ(Sprite::batch().size(), 4u);
  EXPECT_FLOAT_EQ(Sprite::batch()[0].x, 50.0f - 50.0f - 3.0f);
  EXPECT_FLOAT_EQ(Sprite::batch()[0].y, -10.0f);
  Sprite::batch().clear();
  o.frameHost = nullptr;
  cam.x = cx;
  cam.y = cy;
}
