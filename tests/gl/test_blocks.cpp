// Block drawing of level frames through their static buffers, read back
// from the framebuffer; and sprite references held by world objects.
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "base/log.h"
#include "gl/gl_fixture.h"
#include "render/sprite.h"
#include "resources/resfile_writer.h"
#include "unit/png_maker.h"
#include "world/level.h"

namespace {

const Rgba kBlue{0, 0, 255, 255}, kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255},
    kWhite{255, 255, 255, 255};

// A tile sheet of three 32 x 32 tiles (0 unused, 1 red, 2 green) and a
// white 8 x 8 body, packed into an archive in a private directory.
class Blocks : public GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    char tmpl[] = "/tmp/tervalo_blocks_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    pngtest::Image sheet(96, 32, {0, 0, 0, 255});
    sheet.rect(32, 0, 32, 32, {255, 0, 0, 255});
    sheet.rect(64, 0, 32, 32, {0, 255, 0, 255});
    ResfileWriter w;
    w.add("tiles.png", sheet.encode());
    w.add("tiles.txt", "anim 0 0 32 32 1\nanim 32 0 32 32 1\nanim 64 0 32 32 1\n");
    w.add("body.png", pngtest::Image(8, 8, {255, 255, 255, 255}).encode());
    ASSERT_TRUE(w.write(dir + "/gfx.crs"));
    tilesName = dir + "/gfx.crs:tiles";
    bodyName = dir + "/gfx.crs:body";
  }
  void TearDown() override {
    Camera::instance().x = Camera::instance().y = 0;
    EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0);
  }
  // A frame at (fx, fy) with red at cell (1, 1) and green at cell (3, 2).
  Frame* makeFrame(Level& lvl, int fx, int fy) {
    Log::Capture quiet;
    Frame* f = lvl.addFrame(0, nullptr, Sprite::get(tilesName), nullptr, fx, fy, 0, 1.0f, 1.0f);
    if (!f || !f->blockSprite) return nullptr;
    f->cells.assign(Frame::kCells, 0);
    f->cells[1 * Frame::kCols + 1] = 1;
    f->cells[2 * Frame::kCols + 3] = 2;
    return f;
  }
  std::string dir, tilesName, bodyName;
};

}  // namespace

TEST_F(Blocks, TilesLandAtTheirCellsAndFollowTheCamera) {
  Level lvl;
  Frame* f = makeFrame(lvl, 1, 0);  // level x 640..1279
  ASSERT_NE(f, nullptr);
  Camera& cam = Camera::instance();
  cam.x = 616.9f, cam.y = 8.5f;  // built under a moved camera: 616, 8
  clearScreen(0, 0, 255);
  f->draw();
  // Red at level (672..703, 32..63) shows at screen (56..87, 24..55).
  EXPECT_EQ(pixel(56, 24), kRed);
  EXPECT_EQ(pixel(55, 24), kBlue);
  EXPECT_EQ(pixel(120, 56), kGreen);  // level (736..767, 64..95)
  EXPECT_EQ(countColour(0, 0, 640, 480, kRed), 32 * 32);
  EXPECT_EQ(f->buffer.count, 8u);
  // Parallax: x follows half the camera, y not at all.
  f->parallaxX = 0.5f, f->parallaxY = 0.0f;
  cam.x = 1280, cam.y = 100;
  clearScreen(0, 0, 255);
  f->draw();
  EXPECT_EQ(pixel(32, 32), kRed);
  EXPECT_EQ(pixel(63, 63), kRed);
  EXPECT_EQ(pixel(64, 40), kBlue);
  // Blocks are rebuilt only when marked dirty.
  f->cells[1 * Frame::kCols + 1] = 0;
  clearScreen(0, 0, 255);
  f->draw();
  EXPECT_EQ(pixel(32, 32), kRed);  // still the old quads
  f->dirty = true;
  clearScreen(0, 0, 255);
  f->draw();
  EXPECT_EQ(pixel(32, 32), kBlue);
  EXPECT_EQ(f->buffer.count, 4u);
}

TEST_F(Blocks, FrameObjectsDrawnOverBlocksAndSpriteReferencesGivenBack) {
  const size_t before = Sprite::cacheSize();
  {
    Level lvl;
    Frame* f = makeFrame(lvl, 0, 0);
    ASSERT_NE(f, nullptr);
    Log::Capture quiet;
    Object* a = lvl.addObj(1, 0, 0, 0, 1, Sprite::get(bodyName));
    Object* b = lvl.addFrameObj(2, 40, 40, 0, 1, Sprite::get(bodyName));
    ASSERT_TRUE(a && b);
    // Drawn after the blocks, with the frame's parallax (0: fixed on screen).
    f->parallaxX = 0.0f;
    Camera::instance().x = 300;
    clearScreen(0, 0, 255);
    f->draw();
    EXPECT_EQ(pixel(47, 47), kWhite);
    EXPECT_EQ(pixel(48, 48), kRed);
    EXPECT_EQ(b->sprite->refs, 2u);
    lvl.delObj(a);
    EXPECT_EQ(b->sprite->refs, 1u);
    b->setSprite(Sprite::get(tilesName));  // the body goes at once
    EXPECT_EQ(Sprite::cacheSize(), before + 1);
    // A frame at a taken key hands its sprites straight back.
    lvl.addFrame(5, nullptr, Sprite::get(tilesName), Sprite::get(bodyName), 0, 0, 0, 1, 1);
    EXPECT_EQ(b->sprite->refs, 2u);
    EXPECT_EQ(Sprite::cacheSize(), before + 1);
  }
  EXPECT_EQ(Sprite::cacheSize(), before);
}
