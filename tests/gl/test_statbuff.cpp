#include <GL/glew.h>

#include "core/log.h"
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
  void SetUp() override {
    GlTest::SetUp();
    clearScreen(0, 0, 0);
    Image img(16, 16, kRed);
    ar.image("t", img).file("t.txt", "anim 0 0 16 16 1").write();
    tile = Sprite::get(ar.res("t"));
    ASSERT_NE(tile, nullptr);
  }
  void TearDown() override {
    Log::Capture quiet;
    Sprite::flush(nullptr);
    Sprite::clear();
  }
  // Appends one tile quad at (x, y), as a level frame fills its buffer.
  void addQuad(StatBuff& b, float x, float y) {
    const Camera& cam = Camera::instance();
    Sprite::draw(b.verts, b.sprite, x + cam.ix(), y + cam.iy(), 0, 0, 0, 255, 1, 1, 0, 1, 1);
    b.count = static_cast<uint32_t>(b.verts.size());
  }
};

}  // namespace

TEST_F(StatBuffGl, CameraFactorsShiftTheQuads) {
  StatBuff b;
  ASSERT_TRUE(b.init(tile));
  addQuad(b, 300, 200);
  Sprite::flush(nullptr);
  Camera& cam = Camera::instance();
  cam.x = 101.9f;
  cam.y = 40.0f;

  b.print(0, 0);
  EXPECT_EQ(countColour(300, 200, 16, 16, kR), 256);
  clearScreen(0, 0, 0);
  cam.x = 101.9f;
  cam.y = 40.0f;
  b.print(1, 1);
  EXPECT_EQ(countColour(199, 160, 16, 16, kR), 256);
  EXPECT_EQ(pixel(198, 160), kBlack);
  clearScreen(0, 0, 0);
  cam.x = 101.9f;
  cam.y = 40.0f;
  b.print(0.5f, 0.5f);  // floor(-50.5) = -51, floor(-20) = -20
  EXPECT_EQ(countColour(249, 180, 16, 16, kR), 256);
  EXPECT_EQ(pixel(248, 180), kBlack);
  EXPECT_EQ(pixel(265, 180), kBlack);
  b.clear();
}

TEST_F(StatBuffGl, CountLimitsWhatIsDrawn) {
  StatBuff b;
  ASSERT_TRUE(b.init(tile));
  addQuad(b, 0, 0);
  addQuad(b, 100, 0);
  b.count = 4;
  b.print(0, 0);
  EXPECT_EQ(pixel(5, 5), kR);
  EXPECT_EQ(pixel(105, 5), kBlack);
  // A count beyond the list never reads past it.
  b.count = 4000;
  b.print(0, 0);
  EXPECT_EQ(pixel(105, 5), kR);
  b.clear();
}

TEST_F(StatBuffGl, LifecycleAndMessages) {
  Log::Capture cap;
  StatBuff b;
  b.print(0, 0);
  EXPECT_EQ(cap.lines(), std::vector<std::string>{
                             "FAIL: StatBuff.print: Wywolaj funkcje init() przed wyswietlaniem"});
  cap.clear();
  EXPECT_FALSE(b.init(nullptr));
  EXPECT_EQ(cap.lines(), std::vector<std::string>{"FAIL: StatBuff.init: NULL sprite"});
  EXPECT_FALSE(b.ready);
  EXPECT_EQ(b.sprite, nullptr);

  ASSERT_TRUE(b.init(tile));
  EXPECT_TRUE(b.ready);
  EXPECT_GE(b.verts.capacity(), 1200u);
  const GLuint first = b.vbo;
  ASSERT_NE(first, 0u);
  glBindBuffer(GL_ARRAY_BUFFER, first);  // a name counts as a buffer once bound
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  ASSERT_TRUE(glIsBuffer(first));
  // A second init replaces the buffer name instead of losing it.
  ASSERT_TRUE(b.init(tile));
  EXPECT_NE(b.vbo, 0u);
  EXPECT_FALSE(glIsBuffer(first));

  addQuad(b, 0, 0);
  b.clear();
  EXPECT_FALSE(b.ready);
  EXPECT_EQ(b.count, 0u);
  EXPECT_TRUE(b.verts.empty());
  EXPECT_EQ(b.sprite, tile);
  // Printing a cleared buffer makes it ready again and draws nothing.
  clearScreen(0, 0, 0);
  cap.clear();
  b.print(1, 1);
  EXPECT_TRUE(b.ready);
  EXPECT_EQ(pixel(5, 5), kBlack);
  EXPECT_NE(b.vbo, 0u);
  EXPECT_TRUE(cap.lines().empty()) << cap.joined();
  b.clear();
}
