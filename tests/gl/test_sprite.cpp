// Sprites, static tile buffers and full-screen fades, drawn and read back.

#include <filesystem>
#include <fstream>

#include "gl/gl_fixture.h"
#include "render/fade.h"
#include "render/statbuff.h"

namespace {

struct SpriteGl : GlTest {
  void SetUp() override {
    GlTest::SetUp();
    clearScreen(0, 0, 0);
  }
  // The quarters picture as one 32 x 32 animation under `entry`.
  Sprite* quartersSprite(const std::string& entry, const std::string& def = "anim 0 0 32 32 1") {
    ar.image(entry, quarters(), def).write();
    return Sprite::get(ar.res(entry));
  }
  static void drawAt(Sprite* s, float x, float y, uint32_t anim = 0, uint32_t frame = 0,
                     uint8_t alpha = 255, float px = 1, float py = 1, float sx = 1, float sy = 1) {
    Sprite::draw(Sprite::batch(), s, x, y, 0, anim, frame, alpha, px, py, 0, sx, sy);
  }
};

}  // namespace

// Where the quarters land is in the picture formats' test below.
TEST_F(SpriteGl, DrawnWithAlphaScaleAndParallax) {
  Sprite* s = quartersSprite("q", "anim 0 0 32 32 1 0 0 0 32 32 all");
  ASSERT_NE(s, nullptr);
  // A reload makes new textures and keeps the animations; what follows draws the new one.
  const uint32_t oldTex = s->texture;
  Sprite::reload();
  EXPECT_NE(s->texture, oldTex);
  EXPECT_NE(s->findAnim("all"), nullptr);
  glDeleteTextures(1, &oldTex);
  // Opacity blends with what is below: half-transparent red over black.
  drawAt(s, 0, 0, 0, 0, 128);
  Sprite::flush();
  EXPECT_TRUE(near(pixel(5, 5), {128, 0, 0}, 2)) << pixel(5, 5);
  clearScreen(0, 0, 0);
  drawAt(s, 10, 10, 0, 0, 255, 1, 1, 2, 2);  // doubled both ways
  Sprite::flush();
  EXPECT_EQ(countColour(10, 10, 64, 64, kRed), 32 * 32);
  expectPixels({{73, 73, kWhite}, {74, 74, kBlack}});
  // Turned 45 degrees clockwise about the placed point: the quarters'
  // centres land at (100, 111), (111, 122), (89, 122) and (100, 134).
  clearScreen(0, 0, 0);
  Sprite::draw(Sprite::batch(), s, 100, 100, 0, 0, 0, 255, 1, 1, 45, 1, 1);
  Sprite::flush();
  expectPixels({{100, 111, kRed}, {111, 122, kGreen}, {89, 122, kBlue}, {100, 134, kWhite}});
  // Parallax 0, 0.5, 1 against a camera truncated to (100, -40).
  clearScreen(0, 0, 0);
  Camera::instance().x = 100.9f;
  Camera::instance().y = -40.5f;
  for (float p : {0.0f, 0.5f, 1.0f}) drawAt(s, 300, 100 + 200 * p, 0, 0, 255, p, p);
  Sprite::flush();
  for (auto [x, y] : {std::pair{300, 100}, {250, 220}, {200, 340}})
    EXPECT_EQ(countColour(x, y, 16, 16, kRed), 256) << x;
  expectPixels({{249, 220, kBlack}, {199, 340, kBlack}});
  // A batch longer than the pieces GL gets it in (4096 quads) is drawn whole.
  clearScreen(0, 0, 0);
  for (int i = 0; i < 9000; ++i)
    drawAt(s, i % 4096 == 4095 ? 40.0f * (i / 4096) : 400, 300, 0, 0, 255, 0, 0);
  Sprite::flush();
  for (int x : {0, 40, 400}) EXPECT_EQ(countColour(x, 300, 16, 16, kRed), 256) << x;
}

TEST_F(SpriteGl, FramesAnchorsAndAlphaMask) {
  // Two 16 x 16 frames, red then green; anchor (8, 16) is the bottom middle.
  Image img(32, 16);
  img.rect(0, 0, 16, 16, kRed);
  img.rect(16, 0, 16, 16, kGreen);
  Image m(4, 1, kClear);  // alpha 0, 1, 255, 0
  m.at(1, 0) = {0, 0, 0, 1};
  m.at(2, 0) = {9, 9, 9, 255};
  m.at(3, 0) = {255, 255, 255, 0};
  ar.image("f", img, "anim 0 0 16 16 4\nframe 2 8 16\n").image("m", m, "anim 0 0 4 1 1");
  ar.image("g", img, "1 16 0 16 16 8 16\n");  // the short form: one frame, green, same anchor
  ar.image("wide", Image(64, 33, kRed), "anim 40 0 32 32 1").write();
  Sprite* s = Sprite::get(ar.res("f"));
  ASSERT_NE(s, nullptr);
  drawAt(s, 200, 100, 0, 1);
  drawAt(s, 300, 100, 0, 0);
  drawAt(s, 400, 100, 0, 2);  // no such frame
  drawAt(s, 400, 100, 1, 0);  // no such animation
  EXPECT_EQ(Sprite::batch().size(), 8u);
  drawAt(Sprite::get(ar.res("g")), 500, 100);
  Sprite::flush();
  for (auto [x, c] : {std::pair{492, kGreen}, {192, kGreen}, {292, kRed}})
    EXPECT_EQ(countColour(x, 84, 16, 16, c), 256) << x;
  EXPECT_EQ(pixel(200, 100), kBlack);
  EXPECT_EQ(countColour(380, 70, 60, 60, kBlack), 3600);

  Sprite* ms = Sprite::get(ar.res("m"));
  ASSERT_NE(ms, nullptr);
  EXPECT_EQ(ms->mask, (std::vector<uint8_t>{0, 1, 1, 0}));
  // A frame reaching past the picture's right edge is never opaque.
  Sprite* wide = Sprite::get(ar.res("wide"));
  ASSERT_NE(wide, nullptr);
  EXPECT_FALSE(wide->opaqueFrame(0, 0));
}

TEST_F(SpriteGl, SharedByNameCountedAndDroppedFromTheBatch) {
  const size_t before = Sprite::cacheSize();
  Sprite* a = quartersSprite("p");
  Sprite* b = Sprite::get(ar.res("p"));
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a->refs, 2u);
  EXPECT_EQ(Sprite::cacheSize(), before + 1);
  // The same entry under a three-letter extension is another cache key.
  Sprite* c = Sprite::get(ar.res("p.bmp"));
  ASSERT_NE(c, nullptr);
  EXPECT_NE(c, a);
  Sprite::release(c);
  Sprite::release(a);
  EXPECT_TRUE(Sprite::alive(a));
  // The last release also takes the sprite's quads out of the batch.
  drawAt(b, 0, 0);
  const uint64_t calls = Sprite::drawCalls();
  Sprite::release(b);
  EXPECT_FALSE(Sprite::alive(a));
  EXPECT_EQ(Sprite::cacheSize(), before);
  EXPECT_EQ(Sprite::current(), nullptr);
  EXPECT_TRUE(Sprite::batch().empty());
  Sprite::flush();
  EXPECT_EQ(pixel(4, 4), kBlack);

  // Preloading does not count; the first get does.
  Sprite* pre = Sprite::load(ar.res("p"));
  ASSERT_NE(pre, nullptr);
  EXPECT_EQ(pre->refs, 0u);
  EXPECT_EQ(Sprite::get(ar.res("p")), pre);
  EXPECT_EQ(pre->refs, 1u);
  // clear() drops everything, the batch too.
  drawAt(pre, 0, 0);
  Log::Capture quiet;
  Sprite::clear();
  EXPECT_EQ(Sprite::current(), nullptr);
  EXPECT_EQ(Sprite::cacheSize(), 0u);
  Sprite::flush();
  EXPECT_EQ(Sprite::drawCalls(), calls);
}

// PNG, BMP and TGA pictures load from a plain file or from an archive entry
// (whose name says .png whatever it holds); without definitions the whole
// image is one animation.
TEST_F(SpriteGl, PicturesOfEachFormatShowTheWholeImage) {
  const Image img = quarters(40, 24);
  const std::string dir = tempDir().string() + "/";
  std::ofstream(dir + "q.png", std::ios::binary) << img.encode();
  std::ofstream(dir + "q.bmp", std::ios::binary) << img.bmp();
  std::ofstream(dir + "q.tga", std::ios::binary) << img.tga();
  std::string odd = img.encode();  // a private chunk after the header, named like the end
  odd.insert(33, pngtest::chunk("zzND", "x"));
  ar.file("b.png", img.bmp()).file("t.png", img.tga()).file("z.png", odd).write();
  for (const std::string& name :
       {dir + "q.png", dir + "q.bmp", dir + "q.tga", ar.res("b"), ar.res("t"), ar.res("z")}) {
    clearScreen(0, 0, 0);
    SCOPED_TRACE(name);
    Log::Capture cap;
    Sprite* s = Sprite::get(name);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(cap.lines().size(), name.find(".crs:") == std::string::npos ? 0u : 2u) << cap.joined();
    ASSERT_EQ(s->getAnimCount(), 1u);
    const Sprite::Anim* a = s->getAnim(0);
    EXPECT_EQ(std::vector<uint32_t>({a->w, a->h, a->boxX2, a->boxY2}), std::vector<uint32_t>({40, 24, 40, 24}));
    drawAt(s, 10, 10);
    Sprite::flush();
    expectPixels({{35, 13, kGreen}, {13, 31, kBlue}, {49, 33, kWhite}});
    EXPECT_EQ(countColour(10, 10, 20, 12, kRed), 20 * 12);
    EXPECT_EQ(countColour(10, 10, 60, 44, kBlack), 60 * 44 - 40 * 24);
    Sprite::release(s);
  }
  std::ofstream(dir + "thin.bmp", std::ios::binary) << Image(1, 3, kRed).bmp();
  EXPECT_NE(Sprite::get(dir + "thin.bmp"), nullptr) << "one pixel wide is still a picture";
}

// A static buffer of tile quads, as a level frame fills it.
TEST_F(GlTest, StatBuffShiftsByTheCameraDrawsItsCountAndIsRebuilt) {
  ar.image("t", Image(16, 16, kRed), "anim 0 0 16 16 1").write();
  Sprite* tile = get("t");
  StatBuff b;
  ASSERT_TRUE(b.init(tile));
  for (float x : {300.0f, 400.0f}) Sprite::draw(b.verts, tile, x, 200, 0, 0, 0, 255, 1, 1, 0, 1, 1);
  b.count = 4;  // the second quad is not drawn
  Sprite::flush(nullptr);
  // Camera at (101.9, 40): factor 0.5 gives floor(-50.5) = -51, floor(-20) = -20.
  Camera::instance().x = 101.9f;
  Camera::instance().y = 40.0f;
  const struct { float factor; int x, y; } cases[] = {{0, 300, 200}, {1, 199, 160}, {0.5f, 249, 180}};
  for (const auto& c : cases) {
    clearScreen(0, 0, 0);
    b.print(c.factor, c.factor);
    EXPECT_EQ(countColour(c.x, c.y, 16, 16, kRed), 256) << c.factor;
    expectPixels({{c.x - 1, c.y, kBlack}, {c.x + 16, c.y, kBlack}, {c.x + 105, c.y + 5, kBlack}});
  }
  b.count = 4000;  // never reads past the list
  b.print(0, 0);
  EXPECT_EQ(pixel(405, 205), kRed);

  // Messages, and a second init that replaces the buffer name instead of losing it.
  StatBuff fresh;
  Log::Capture cap;
  fresh.print(0, 0);
  EXPECT_FALSE(fresh.init(nullptr));
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{
                             "FAIL: StatBuff.print: Wywolaj funkcje init() przed wyswietlaniem",
                             "FAIL: StatBuff.init: NULL sprite"}));
  EXPECT_FALSE(fresh.ready);
  const GLuint first = b.vbo;
  ASSERT_NE(first, 0u);
  glBindBuffer(GL_ARRAY_BUFFER, first);  // a name counts as a buffer once bound
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  ASSERT_TRUE(glIsBuffer(first));
  ASSERT_TRUE(b.init(tile));
  EXPECT_NE(b.vbo, 0u);
  EXPECT_FALSE(glIsBuffer(first));
  Sprite::draw(b.verts, tile, 0, 0, 0, 0, 0, 255, 1, 1, 0, 1, 1);
  b.clear();
  EXPECT_FALSE(b.ready);
  EXPECT_TRUE(b.verts.empty());
  EXPECT_EQ(b.sprite, tile);
  // Printing a cleared buffer makes it ready again and draws nothing.
  clearScreen(0, 0, 0);
  cap.clear();
  b.print(1, 1);
  EXPECT_TRUE(b.ready);
  EXPECT_EQ(pixel(5, 5), kBlack);
  EXPECT_TRUE(cap.lines().empty()) << cap.joined();
  b.clear();
}

namespace {

struct FadeGl : GlTest {
  Fades fades;
  void SetUp() override {
    GlTest::SetUp();
    game::dt = 0.016f;
    ar.image("small", quarters(320, 240)).image("black", Image(640, 480, kBlack));
    ar.image("green", Image(640, 480, kGreen)).write();
  }
  void TearDown() override {
    fades.clear();
    GlTest::TearDown();
  }
  float alpha(size_t i) const { return fades.entries()[i].alpha; }
};

}  // namespace

TEST_F(FadeGl, AloneBehindOthersAndCrossFading) {
  // A small picture is stretched only when alone.
  fades.set(get("small"), 255, 255);
  clearScreen(0, 0, 0);
  fades.draw();
  EXPECT_EQ(countColour(0, 0, 320, 240, kRed), 320 * 240);
  EXPECT_EQ(countColour(320, 240, 320, 240, kWhite), 320 * 240);
  // Behind another entry it is drawn at its own size, fading out (255 - 4.08).
  fades.add(nullptr, 0, 255);
  clearScreen(0, 0, 0);
  fades.draw();
  ASSERT_EQ(fades.entries().size(), 2u);
  EXPECT_NEAR(pixel(0, 0).r, 251, 2);
  EXPECT_NEAR(pixel(319, 239).r, 251, 2);
  expectPixels({{320, 100, kBlack}, {100, 240, kBlack}});

  // The cross-fade removes the old picture and gives back its reference.
  fades.clear();
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
      EXPECT_EQ(pixel(320, 240), kGreen);
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
