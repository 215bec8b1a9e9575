#include <GL/glew.h>

#include "base/globals.h"
#include "base/log.h"
#include "gl/gl_fixture.h"
#include "gl/render_helpers.h"
#include "render/fade.h"
#include "render/sprite.h"

using namespace rendertest;

namespace {

const Rgba kBlack{0, 0, 0, 255};

struct FadeGl : GlTest {
  TestArchive ar;
  Fades fades;
  float savedDt = game::dt;
  void SetUp() override {
    GlTest::SetUp();
    game::dt = 0.016f;
    ar.image("small", Image(320, 240, kRed)).image("black", Image(640, 480, {0, 0, 0, 255}));
    ar.image("green", Image(640, 480, kGreen)).write();
  }
  void TearDown() override {
    fades.clear();
    game::dt = savedDt;
    Log::Capture quiet;
    Sprite::flush(nullptr);
    Sprite::clear();
  }
  Sprite* get(const char* entry) {
    Log::Capture quiet;  // the pictures have no animation definitions
    return Sprite::get(ar.res(entry));
  }
  float alpha(size_t i) const { return fades.entries()[i].alpha; }
};

}  // namespace

TEST_F(FadeGl, FadeOutAndInOverSixtyThreeFrames) {
  fades.set(get("black"), 255, 0);
  clearScreen(255, 255, 255);
  fades.draw();
  ASSERT_EQ(fades.entries().size(), 1u);
  EXPECT_FLOAT_EQ(alpha(0), 250.92f);
  EXPECT_NEAR(pixel(320, 240).r, 5, 2);  // black at 250 over white
  for (int frame = 2; frame <= 62; ++frame) fades.draw();
  EXPECT_GT(alpha(0), 0.0f);
  fades.draw();
  EXPECT_EQ(alpha(0), 0.0f);
  // It stays in the list, drawn invisibly.
  clearScreen(255, 255, 255);
  fades.draw();
  ASSERT_EQ(fades.entries().size(), 1u);
  EXPECT_EQ(pixel(320, 240), (Rgba{255, 255, 255, 255}));

  // The other way it reaches 255 with the 63rd frame and stays there.
  fades.set(get("black"), 0, 255);
  for (int frame = 1; frame <= 62; ++frame) fades.draw();
  EXPECT_LT(alpha(0), 255.0f);
  fades.draw();
  fades.draw();
  EXPECT_EQ(alpha(0), 255.0f);
  EXPECT_EQ(pixel(10, 470), kBlack);
}

TEST_F(FadeGl, SmallPictureStretchedOnlyWhenAlone) {
  fades.set(get("small"), 255, 255);
  clearScreen(0, 0, 0);
  fades.draw();
  EXPECT_EQ(countColour(0, 0, 640, 480, Rgba{255, 0, 0, 255}), 640 * 480);

  // Behind another entry it is drawn at its own size, fading out (255 - 4.08).
  fades.add(nullptr, 0, 255);
  clearScreen(0, 0, 0);
  fades.draw();
  ASSERT_EQ(fades.entries().size(), 2u);
  EXPECT_NEAR(pixel(0, 0).r, 251, 2);
  EXPECT_NEAR(pixel(319, 239).r, 251, 2);
  EXPECT_EQ(pixel(320, 100), kBlack);
  EXPECT_EQ(pixel(100, 240), kBlack);
}

TEST_F(FadeGl, NullPictures) {
  fades.set(nullptr, 0, 255);
  fades.draw();
  EXPECT_TRUE(fades.entries().empty());
  // Behind a front entry, a null picture is never removed.
  fades.set(nullptr, 40, 0);
  fades.add(get("black"), 0, 255);
  for (int i = 0; i < 20; ++i) fades.draw();
  ASSERT_EQ(fades.entries().size(), 2u);
  EXPECT_EQ(alpha(1), 40.0f);
}

TEST_F(FadeGl, CrossFadeRemovesTheOldPictureAndGivesBackReferences) {
  Sprite* a = get("black");
  Sprite* b = get("green");
  fades.set(a, 255, 255);
  fades.set(get("black"), 255, 255);  // the same picture again keeps one reference
  EXPECT_EQ(a->refs, 1u);
  fades.draw();
  fades.add(b, 0, 255);
  int frames = 0;
  while (fades.entries().size() == 2 && frames < 200) {
    const float before = alpha(1);
    clearScreen(255, 255, 255);
    fades.draw();
    ++frames;
    if (fades.entries().size() == 2) {
      EXPECT_NEAR(alpha(1), std::max(0.0f, before - 4.08f), 0.01);
      EXPECT_NEAR(alpha(0), std::min(255.0f, frames * 4.08f), 0.01);
    } else {  // the frame that drops the old picture still shows the new one
      EXPECT_EQ(pixel(320, 240), (Rgba{0, 255, 0, 255}));
    }
  }
  // a reaches 0 on frame 63 and goes on frame 64, its reference given back.
  EXPECT_EQ(frames, 64);
  EXPECT_FALSE(Sprite::alive(a));
  ASSERT_EQ(fades.entries().size(), 1u);
  EXPECT_EQ(fades.entries()[0].sprite, b);

  // A new front entry aiming below its start jumps there at once.
  fades.add(get("black"), 200, 50);
  fades.draw();
  EXPECT_EQ(alpha(0), 50.0f);
  // set() gives back every reference it replaces.
  fades.set(get("small"), 0, 0);
  EXPECT_FALSE(Sprite::alive(b));
}
