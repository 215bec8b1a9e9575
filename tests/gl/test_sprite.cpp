#include <GL/glew.h>

#include <filesystem>
#include <fstream>

#include "base/log.h"
#include "gl/gl_fixture.h"
#include "gl/render_helpers.h"
#include "render/sprite.h"

using namespace rendertest;

namespace {

struct SpriteGl : GlTest {
  TestArchive ar;
  void SetUp() override {
    GlTest::SetUp();
    clearScreen(0, 0, 0);
  }
  void TearDown() override {
    Log::Capture quiet;
    Sprite::flush(nullptr);
    Sprite::clear();
  }
  // The quarters picture as one 32 x 32 animation under `entry`.
  Sprite* quartersSprite(const std::string& entry, const std::string& def = "anim 0 0 32 32 1") {
    ar.image(entry, quarters()).file(entry + ".txt", def).write();
    return Sprite::get(ar.res(entry));
  }
  static void drawAt(Sprite* s, float x, float y, uint32_t anim = 0, uint32_t frame = 0,
                     uint8_t alpha = 255, float px = 1, float py = 1, float sx = 1,
                     float sy = 1) {
    Sprite::draw(Sprite::batch(), s, x, y, 0, anim, frame, alpha, px, py, 0, sx, sy);
  }
};

const Rgba kBlack{0, 0, 0, 255}, kR{255, 0, 0, 255}, kG{0, 255, 0, 255}, kB{0, 0, 255, 255},
    kW{255, 255, 255, 255};

}  // namespace

TEST_F(SpriteGl, DrawnWhereAskedWithColoursAlphaScaleAndParallax) {
  Sprite* s = quartersSprite("q");
  ASSERT_NE(s, nullptr);
  drawAt(s, 100, 50);
  Sprite::flush();
  EXPECT_EQ(pixel(116, 50), kG);
  EXPECT_EQ(pixel(100, 66), kB);
  EXPECT_EQ(pixel(131, 81), kW);
  EXPECT_EQ(countColour(100, 50, 16, 16, kR), 256);
  EXPECT_EQ(countColour(96, 46, 40, 40, kBlack), 40 * 40 - 32 * 32);
  // Opacity blends with what is below: half-transparent red over black.
  clearScreen(0, 0, 0);
  drawAt(s, 0, 0, 0, 0, 128);
  Sprite::flush();
  EXPECT_NEAR(pixel(5, 5).r, 128, 2);
  EXPECT_EQ(pixel(5, 5).g, 0);
  clearScreen(0, 0, 0);
  drawAt(s, 10, 10, 0, 0, 255, 1, 1, 2, 2);  // doubled both ways
  Sprite::flush();
  EXPECT_EQ(countColour(10, 10, 64, 64, kR), 32 * 32);
  EXPECT_EQ(pixel(73, 73), kW);
  EXPECT_EQ(pixel(74, 74), kBlack);
  // Parallax 0, 0.5, 1 against a camera truncated to (100, -40).
  clearScreen(0, 0, 0);
  Camera& cam = Camera::instance();
  cam.x = 100.9f;
  cam.y = -40.5f;
  drawAt(s, 300, 100, 0, 0, 255, 0, 0);
  drawAt(s, 300, 200, 0, 0, 255, 0.5, 0.5);
  drawAt(s, 300, 300, 0, 0, 255, 1, 1);
  Sprite::flush();
  EXPECT_EQ(countColour(300, 100, 16, 16, kR), 256);
  EXPECT_EQ(countColour(250, 220, 16, 16, kR), 256);
  EXPECT_EQ(countColour(200, 340, 16, 16, kR), 256);
  EXPECT_EQ(pixel(249, 220), kBlack);
  EXPECT_EQ(pixel(199, 340), kBlack);
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
  ar.image("f", img).file("f.txt", "anim 0 0 16 16 4\nframe 2 8 16\n");
  ar.image("m", m).file("m.txt", "anim 0 0 4 1 1").write();
  Sprite* s = Sprite::get(ar.res("f"));
  ASSERT_NE(s, nullptr);
  drawAt(s, 200, 100, 0, 1);
  drawAt(s, 300, 100, 0, 0);
  drawAt(s, 400, 100, 0, 2);  // no such frame
  drawAt(s, 400, 100, 1, 0);  // no such animation
  EXPECT_EQ(Sprite::batch().size(), 8u);
  Sprite::flush();
  EXPECT_EQ(countColour(192, 84, 16, 16, kG), 256);
  EXPECT_EQ(countColour(292, 84, 16, 16, kR), 256);
  EXPECT_EQ(pixel(200, 100), kBlack);
  EXPECT_EQ(countColour(380, 70, 60, 60, kBlack), 3600);

  Sprite* ms = Sprite::get(ar.res("m"));
  ASSERT_NE(ms, nullptr);
  EXPECT_EQ(ms->mask, (std::vector<uint8_t>{0, 1, 1, 0}));
  EXPECT_TRUE(ms->isSolid(1, 0, 0));
  EXPECT_FALSE(ms->isSolid(4, 0, 0));  // box edge, outside the picture
}

TEST_F(SpriteGl, OneDrawCallPerRunOfOneSprite) {
  ar.image("a", quarters()).image("b", quarters()).write();
  Log::Capture quiet;  // no definitions: whole-image animations
  Sprite* a = Sprite::get(ar.res("a"));
  Sprite* b = Sprite::get(ar.res("b"));
  ASSERT_TRUE(a && b);
  Sprite::flush(nullptr);
  uint64_t calls = Sprite::drawCalls();
  drawAt(a, 0, 0);
  drawAt(a, 40, 0);
  Sprite::flush();
  EXPECT_EQ(Sprite::drawCalls() - calls, 1u);

  calls = Sprite::drawCalls();
  drawAt(a, 0, 0);
  drawAt(b, 40, 0);
  drawAt(a, 80, 0);
  Sprite::flush();
  EXPECT_EQ(Sprite::drawCalls() - calls, 3u);

  // Filling another array still hands the batch over on a change of sprite.
  calls = Sprite::drawCalls();
  drawAt(b, 0, 0);
  VertexArray other;
  Sprite::draw(other, a, 0, 0, 0, 0, 0, 255, 1, 1, 0, 1, 1);
  EXPECT_EQ(Sprite::drawCalls() - calls, 1u);
  EXPECT_EQ(other.size(), 4u);
}

TEST_F(SpriteGl, SharedByNameAndCounted) {
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
  Sprite::release(b);
  EXPECT_FALSE(Sprite::alive(a));
  EXPECT_EQ(Sprite::cacheSize(), before);

  // Preloading does not count; the first get does.
  Sprite* pre = Sprite::load(ar.res("p"));
  ASSERT_NE(pre, nullptr);
  EXPECT_EQ(pre->refs, 0u);
  EXPECT_EQ(Sprite::get(ar.res("p")), pre);
  EXPECT_EQ(pre->refs, 1u);
  // A sprite outside the cache only loses a count, never below zero.
  Sprite loose;
  loose.refs = 1;
  Sprite::release(&loose);
  Sprite::release(&loose);
  EXPECT_EQ(loose.refs, 0u);
  Sprite::release(pre);
  EXPECT_FALSE(Sprite::alive(pre));
  // A pointer kept after its sprite is gone is ignored.
  Sprite::get(ar.res("p"));
  Sprite::release(pre);
}

TEST_F(SpriteGl, FailuresAreReportedInOrder) {
  std::string broken = quarters().encode();
  broken.resize(broken.size() - 20);
  ar.image("ok", quarters()).file("ok.txt", "").file("bad.png", broken).write();
  Log::Capture cap;
  EXPECT_EQ(Sprite::get(ar.res("missing")), nullptr);
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{
                             "FAIL: Resfile.load: Nie znaleziono pliku \"missing.png\"",
                             "FAIL: Sprite.loadGfx: Nie udalo sie wczytac grafiki \"" +
                                 ar.res("missing.png") + "\"",
                             "FAIL: Sprite.load: Nie wczytano grafiki"}));
  cap.clear();
  EXPECT_EQ(Sprite::get(ar.res("bad")), nullptr);
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{
                             "FAIL: Sprite.loadGfx: Nie udalo sie zdekompresowac grafiki \"" +
                                 ar.res("bad") + "\"",
                             "FAIL: Sprite.load: Nie wczytano grafiki"}));
  cap.clear();
  EXPECT_EQ(Sprite::get(ar.res("ok")), nullptr);  // empty definition
  EXPECT_EQ(cap.lines(), std::vector<std::string>{"FAIL: Sprite.load: Nie wczytano animacji"});
  cap.clear();
  EXPECT_EQ(Sprite::load(""), nullptr);
  EXPECT_EQ(Sprite::load(nullptr), nullptr);
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{"FAIL: Sprite.load: name: \"\"",
                                                   "FAIL: Sprite.load: name: \"(null)\""}));
  cap.clear();
  EXPECT_EQ(Sprite::get("/nonexistent/picture.png"), nullptr);
  EXPECT_TRUE(cap.has(
      "FAIL: Sprite.loadGfx: Nie udalo sie zdekompresowac grafiki \"/nonexistent/picture.png\""));
}

TEST_F(SpriteGl, PlainFileShowsTheWholeImage) {
  const std::string path = (tempDir() / "plain_picture.png").string();
  std::ofstream(path, std::ios::binary) << Image(24, 10, kGreen).encode();
  Log::Capture cap;
  Sprite* s = Sprite::get(path);
  std::filesystem::remove(path);
  ASSERT_NE(s, nullptr);
  EXPECT_TRUE(cap.lines().empty());
  ASSERT_EQ(s->getAnimCount(), 1u);
  const Sprite::Anim* a = s->getAnim(0);
  EXPECT_EQ(std::vector<uint32_t>({a->w, a->h, a->boxX2, a->boxY2}),
            std::vector<uint32_t>({24, 10, 24, 10}));
  drawAt(s, 10, 10);
  Sprite::flush();
  EXPECT_EQ(countColour(10, 10, 30, 20, kG), 240);
}

// BMP and TGA pictures load like PNGs, from a plain file or from an
// archive entry (whose name says .png whatever it holds).
TEST_F(SpriteGl, BmpAndTgaPictures) {
  const Image img = quarters();
  const std::string bmp = (tempDir() / "q.bmp").string(), tga = (tempDir() / "q.tga").string();
  std::ofstream(bmp, std::ios::binary) << img.bmp();
  std::ofstream(tga, std::ios::binary) << img.tga();
  ar.file("b.png", img.bmp()).file("t.png", img.tga()).write();
  Log::Capture quiet;  // no animation definitions
  for (const std::string& name : {bmp, tga, ar.res("b"), ar.res("t")}) {
    clearScreen(0, 0, 0);
    Sprite* s = Sprite::get(name);
    ASSERT_NE(s, nullptr) << name;
    drawAt(s, 0, 0);
    Sprite::flush();
    EXPECT_EQ(pixel(20, 4), kG) << name;
    EXPECT_EQ(pixel(4, 20), kB) << name;
    Sprite::release(s);
  }
}

TEST_F(SpriteGl, DestroyedSpriteLeavesTheBatch) {
  Sprite* s = quartersSprite("d");
  ASSERT_NE(s, nullptr);
  drawAt(s, 0, 0);
  const uint64_t calls = Sprite::drawCalls();
  Sprite::release(s);
  EXPECT_EQ(Sprite::current(), nullptr);
  EXPECT_TRUE(Sprite::batch().empty());
  Sprite::flush();
  EXPECT_EQ(Sprite::drawCalls(), calls);
  EXPECT_EQ(pixel(4, 4), kBlack);

  // The same through clear().
  drawAt(Sprite::get(ar.res("d")), 0, 0);
  Log::Capture cap;
  Sprite::clear();
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{"INFO: Sprite.clear: Kasowanie grafik",
                                                   "OK  : Sprite.clear: Grafiki skasowane"}));
  EXPECT_EQ(Sprite::current(), nullptr);
  EXPECT_EQ(Sprite::cacheSize(), 0u);
  Sprite::flush();
  EXPECT_EQ(Sprite::drawCalls(), calls);
}

TEST_F(SpriteGl, ReloadRebuildsTexturesAndKeepsTheRest) {
  Sprite* s = quartersSprite("r", "anim 0 0 32 32 1 0 0 0 32 32 all");
  ASSERT_NE(s, nullptr);
  const uint32_t oldTex = s->texture;
  Sprite::reload();
  EXPECT_NE(s->texture, oldTex);
  EXPECT_NE(s->findAnim("all"), nullptr);
  drawAt(s, 0, 0);
  Sprite::flush();
  EXPECT_EQ(pixel(20, 20), kW);
  glDeleteTextures(1, &oldTex);
}

// The game's own pictures load with the animations their users look for.
TEST_F(SpriteGl, GameGraphicsLoad) {
  const std::string gfx = std::string(TERVALO_GAME_DIR) + "/data/gfx.crs:";
  Log::Capture cap;
  for (const char* name : {"player", "npc_a"}) {
    Sprite* s = Sprite::get(gfx + name);
    ASSERT_NE(s, nullptr) << name;
    for (const char* anim : {"stop_left", "stop_right", "move_left", "move_right", "jump_left",
                             "jump_right", "fall_left", "fall_right"}) {
      const Sprite::Anim* a = s->findAnim(anim);
      ASSERT_NE(a, nullptr) << name << " " << anim;
      EXPECT_LE(a->x + a->frames.size() * a->w, s->width);
    }
  }
  for (const char* name : {"font_00a", "fade_00", "npc_ptr", "fade_01", "krew01"})
    EXPECT_NE(Sprite::get(gfx + name), nullptr) << name;
  Sprite* font = Sprite::get(gfx + "font_00");
  Sprite* bg = Sprite::get(gfx + "dial_bg");
  ASSERT_TRUE(font && bg);
  EXPECT_EQ(font->getAnimCount(), 95u);
  EXPECT_EQ(bg->getAnimCount(), 3u);
  EXPECT_TRUE(cap.lines().empty()) << cap.joined();
}
