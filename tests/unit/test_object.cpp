// Object records: animation selection, the animation clock and drawing.
#include <gtest/gtest.h>

#include "render/camera.h"
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
  EXPECT_EQ(o.anim, &a.s.anims[0]);
  EXPECT_EQ(o.animFps, 4u);
  o.frameIdx = 1;
  o.setAnim(0u);  // the running one: no restart
  EXPECT_EQ(o.frameIdx, 1u);
  o.setAnim("walk");
  EXPECT_EQ(o.animIdx, 2u);
  EXPECT_EQ(o.frameIdx, 0u);
  o.setAnim(9u);  // none: index kept, frame dropped
  EXPECT_EQ(o.anim, nullptr);
  EXPECT_EQ(o.frame, nullptr);
  EXPECT_EQ(o.animIdx, 9u);
  o.setAnim("jump");  // unknown once: none; afterwards animation 0
  EXPECT_EQ(o.anim, nullptr);
  o.setAnim("jump");
  EXPECT_EQ(o.anim, &a.s.anims[0]);
  EXPECT_EQ(o.animIdx, 0u);
  o.setSprite(nullptr);  // nothing left pointing into the old sprite
  EXPECT_EQ(o.anim, nullptr);
  EXPECT_EQ(o.frame, nullptr);
  Object bare(1, 0, 0, 0, 0, nullptr, nullptr, nullptr);
  EXPECT_EQ(bare.animFps, 100u);
}

TEST(ObjectRecord, AnimationClock) {
  PhysicsGuard guard;
  game::dt = 0.125f;  // speed 4: half a frame per step
  Animated a;
  Object o(1, 0, 0, 0, 0, &a.s, nullptr, nullptr);
  o.animate();
  o.animate();  // exactly 1.0 does not advance
  EXPECT_EQ(o.frameIdx, 0u);
  std::vector<uint32_t> seen;
  for (int i = 0; i < 6; ++i) {
    o.animate();
    o.animate();
    seen.push_back(o.frameIdx);
  }
  EXPECT_EQ(seen, (std::vector<uint32_t>{1, 2, 3, 2, 3, 2}));
  EXPECT_EQ(o.frame, &a.s.anims[0].frames[2]);

  a.s.anims[0].loopFrame = 7;  // past the end: holds the last frame
  o.frameIdx = 3;
  o.animate();
  o.animate();
  EXPECT_EQ(o.frameIdx, 3u);
  a.s.anims[0].speed = 0xFFFFFFFFu;  // no spinning on a huge speed
  Object fast(2, 0, 0, 0, 0, &a.s, nullptr, nullptr);
  fast.animate();
  EXPECT_EQ(fast.frameIdx, 3u);
  o.setAnim(1u);  // one frame never moves
  o.animate();
  EXPECT_EQ(o.frameTime, 0.0f);
}

TEST(ObjectRecord, DrawsAtTheTruncatedPositionWithItsFramesParallax) {
  Camera& cam = Camera::instance();
  cam.x = 100.7f;
  cam.y = 40.2f;
  Animated a;
  Object o(1, 0, 0, 4, 0, &a.s, nullptr, nullptr);
  o.x = 50.9f;
  o.y = -10.5f;
  o.alpha = 77;
  o.frameIdx = 3;  // anchor x 3
  VertexArray& batch = Sprite::batch();
  batch.clear();
  o.draw();
  Frame host(0, "", nullptr, nullptr, 0, 0, 0, 0.5f, 0.0f);
  o.frameHost = &host;
  o.draw();
  ASSERT_EQ(batch.size(), 8u);
  EXPECT_EQ(batch[0].x, 50.0f - 100.0f - 3.0f);
  EXPECT_EQ(batch[0].y, -10.0f - 40.0f);
  EXPECT_EQ(batch[0].z, 4.0f);
  EXPECT_EQ(batch[0].a, 77);
  EXPECT_EQ(batch[4].x, 50.0f - 50.0f - 3.0f);
  EXPECT_EQ(batch[4].y, -10.0f);
  batch.clear();
  cam.x = cam.y = 0;
}
