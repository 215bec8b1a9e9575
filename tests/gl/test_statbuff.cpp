#include <GL/glew.h>

#include "base/log.h"
#include "gl/gl_fixture.h"
#include "gl/render_helpers.h"
#include "render/sprite.h"
#include "render/statbuff.h"

using namespace rendertest;

namespace {

const Rgba kR{255, 0, 0, 255}, kBlack{0, 0, 0, 255};

struct StatBuffGl : GlTest {
  TestArchive ar;
  Sprite* tile = nullptr;
  StatBuff b;
  void SetUp() override {
    GlTest::SetUp();
    clearScreen(0, 0, 0);
    ar.image("t", Image(16, 16, kRed)).file("t.txt", "anim 0 0 16 16 1").write();
    tile = Sprite::get(ar.res("t"));
    ASSERT_NE(tile, nullptr);
  }
  void TearDown() override {
    b.clear();
    Log::Capture quiet;
    Sprite::flush(nullptr);
    Sprite::clear();
  }
  // Appends one tile quad at (x, y), as a level frame fills its buffer.
  void addQuad(float x, float y) {
    const Camera& cam = Camera::instance();
    Sprite::draw(b.verts, b.sprite, x + cam.ix(), y + cam.iy(), 0, 0, 0, 255, 1, 1, 0, 1, 1);
    b.count = static_cast<uint32_t>(b.verts.size());
  }
};

}  // namespace

TEST_F(StatBuffGl, CameraFactorsShiftTheQuads) {
  ASSERT_TRUE(b.init(tile));
  addQuad(300, 200);
  Sprite::flush(nullptr);
  // Camera at (101.9, 40): factor 0.5 gives floor(-50.5) = -51, floor(-20) = -20.
  const struct { float factor; int x, y; } cases[] = {{0, 300, 200}, {1, 199, 160}, {0.5f, 249, 180}};
  for (const auto& c : cases) {
    clearScreen(0, 0, 0);
    Camera::instance().x = 101.9f;
    Camera::instance().y = 40.0f;
    b.print(c.factor, c.factor);
    EXPECT_EQ(countColour(c.x, c.y, 16, 16, kR), 256) << c.factor;
    EXPECT_EQ(pixel(c.x - 1, c.y), kBlack) << c.factor;
    EXPECT_EQ(pixel(c.x + 16, c.y), kBlack) << c.factor;
  }
}

TEST_F(StatBuffGl, CountLimitsWhatIsDrawn) {
  ASSERT_TRUE(b.init(tile));
  addQuad(0, 0);
  addQuad(100, 0);
  b.count = 4;
  b.print(0, 0);
  EXPECT_EQ(pixel(5, 5), kR);
  EXPECT_EQ(pixel(105, 5), kBlack);
  b.count = 4000;  // never reads past the list
  b.print(0, 0);
  EXPECT_EQ(pixel(105, 5), kR);
}

TEST_F(StatBuffGl, LifecycleAndMessages) {
  Log::Capture cap;
  b.print(0, 0);
  EXPECT_FALSE(b.init(nullptr));
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{
                             "FAIL: StatBuff.print: Wywolaj funkcje init() przed wyswietlaniem",
                             "FAIL: StatBuff.init: NULL sprite"}));
  EXPECT_FALSE(b.ready);

  ASSERT_TRUE(b.init(tile));
  const GLuint first = b.vbo;
  ASSERT_NE(first, 0u);
  glBindBuffer(GL_ARRAY_BUFFER, first);  // a name counts as a buffer once bound
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  ASSERT_TRUE(glIsBuffer(first));
  // A second init replaces the buffer name instead of losing it.
  ASSERT_TRUE(b.init(tile));
  EXPECT_NE(b.vbo, 0u);
  EXPECT_FALSE(glIsBuffer(first));

  addQuad(0, 0);
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
}
