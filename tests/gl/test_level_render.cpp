// A level loaded from its file and drawn: layer order with the objects before
// the first negative layer, the sky's cross-fade, the bounds outline.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/globals.h"
#include "base/log.h"
#include "gl/gl_fixture.h"
#include "render/sprite.h"
#include "resources/database.h"
#include "resources/ini_file.h"
#include "resources/resfile_writer.h"
#include "unit/png_maker.h"
#include "world/bullet.h"
#include "world/level.h"
#include "world/npc.h"

namespace {

namespace fs = std::filesystem;

const Rgba kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255}, kBlue{0, 0, 255, 255},
    kWhite{255, 255, 255, 255}, kYellow{255, 255, 0, 255}, kSky{0, 128, 128, 255},
    kSky2{128, 0, 128, 255};

// Camera: level x 300 is screen x 0, level y -20 is screen y 0; the screen
// centre (620, 220) lies in frame (0, 0).
constexpr int kCamX = 300, kCamY = -20;
int sx(int levelX) { return levelX - kCamX; }
int sy(int levelY) { return levelY - kCamY; }

// Block file with tile `v` in row 1 at the given columns.
std::string blocks(std::initializer_list<int> cols, uint8_t v) {
  std::string b(300, '\0');
  for (int c : cols) b[static_cast<size_t>(20 + c)] = static_cast<char>(v);
  return b;
}

class LevelRender : public GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    dir = fs::temp_directory_path() /
          ("tervalo_lvlgl_" + std::to_string(::getpid()) + "_" + std::to_string(++serial));
    fs::create_directories(dir / "npc");
    old = fs::current_path();
    fs::current_path(dir);
    Database::instance().clear();
    IniFile::instance().close();
    gfx = (dir / "lvl.crs").string();
    pngtest::Image tiles(160, 32, {0, 0, 0, 255});
    tiles.rect(32, 0, 32, 32, {255, 0, 0, 255});
    tiles.rect(64, 0, 32, 32, {0, 255, 0, 255});
    tiles.rect(96, 0, 32, 32, {0, 0, 255, 255});
    tiles.rect(128, 0, 32, 32, {255, 255, 255, 255});
    ResfileWriter w;
    w.add("tiles.png", tiles.encode());
    w.add("tiles.txt",
          "anim 0 0 32 32 1\nanim 32 0 32 32 1\nanim 64 0 32 32 1\nanim 96 0 32 32 1\n"
          "anim 128 0 32 32 1\n");
    w.add("box.png", pngtest::Image(32, 32, {255, 255, 0, 255}).encode());
    w.add("box.txt", "anim 0 0 32 32 1\n");
    w.add("sky.png", pngtest::Image(64, 48, {0, 128, 128, 255}).encode());
    w.add("sky2.png", pngtest::Image(640, 480, {128, 0, 128, 255}).encode());
    // Layers 2, 0, -1, 0 in file order. Frame (0, 0): A red at columns 12
    // and 13, B green at 13 and 14. Frame (1, 0): D blue at 2, 3 and 4,
    // C white at 4 and 5. Boxes over B 14, D 3 and D 4.
    w.add("a.bin", blocks({12, 13}, 1));
    w.add("b.bin", blocks({13, 14}, 2));
    w.add("c.bin", blocks({4, 5}, 4));
    w.add("d.bin", blocks({2, 3, 4}, 3));
    const std::string t = gfx + ":tiles", box = gfx + ":box";
    w.add("lvl.txt", "sprite " + box + "\n" + "frame a " + t + " " + gfx + ":sky 0 0 2\n" +
                         "frame b " + t + " " + gfx + ":sky2 0 0 0\n" + "frame c " + t +
                         " none 1 0 -1\n" + "frame d " + t + " none 1 0 0\n" +
                         "obj 1 448 32 0 10 " + box + "\n" + "obj 2 736 32 0 10 " + box + "\n" +
                         "obj 3 768 32 0 10 " + box + "\n" + "obj 4 100 100 0 10\n");
    ASSERT_TRUE(w.write(gfx));
    std::ofstream("npc/list.ini") << "[" << gfx << ":lvl]\n1=bob\n";
    std::ofstream("npc/bob") << "[npc]\n" << gfx << ":lvl=1 1 1 0 2000 0 0 5 " << box << " 0 200\n";
  }
  void TearDown() override {
    Camera::instance().x = Camera::instance().y = 0;
    IniFile::instance().close();
    Database::instance().clear();
    game::dt = 0.01f;
    fs::current_path(old);
    fs::remove_all(dir);
  }
  void draw(Level& lvl) {
    clearScreen(0, 0, 0);
    Camera::instance().x = kCamX;
    Camera::instance().y = kCamY;
    lvl.render();
    Sprite::flush();
  }
  static bool near(Rgba a, Rgba b) {
    return std::abs(a.r - b.r) <= 3 && std::abs(a.g - b.g) <= 3 && std::abs(a.b - b.b) <= 3;
  }
  static inline int serial = 0;
  fs::path dir, old;
  std::string gfx;
};

}  // namespace

TEST_F(LevelRender, LayerOrderObjectsSkyAndBounds) {
  Level lvl;
  {
    Log::Capture quiet;
    ASSERT_TRUE(lvl.load(gfx + ":lvl"));
  }
  ASSERT_EQ(lvl.objs.size(), 4u) << "three boxes and the character; the 6-word obj is ignored";
  ASSERT_EQ(lvl.skyboxes.size(), 1u);
  game::dt = 0.5f;
  draw(lvl);
  const int y = sy(40);
  EXPECT_EQ(pixel(sx(12 * 32 + 5), y), kRed);          // A alone
  EXPECT_EQ(pixel(sx(13 * 32 + 5), y), kGreen);        // B over A
  EXPECT_EQ(pixel(sx(14 * 32 + 5), y), kYellow);       // box over B
  EXPECT_EQ(pixel(sx(640 + 2 * 32 + 5), y), kBlue);    // D alone
  EXPECT_EQ(pixel(sx(640 + 3 * 32 + 5), y), kYellow);  // box over D
  EXPECT_EQ(pixel(sx(640 + 4 * 32 + 5), y), kWhite);   // C (layer -1) over the box
  // The first frame's sky fills the rest; the red outline runs along the
  // level's top edge.
  EXPECT_EQ(pixel(10, 300), kSky);
  // (A line along a pixel edge may land on either row beside it.)
  EXPECT_TRUE(pixel(200, sy(0)) == kRed || pixel(200, sy(0) - 1) == kRed);
  EXPECT_FALSE(pixel(200, sy(0) + 2) == kRed);
  // The screen centre lies in frame B, whose sky fades in over a second
  // and then replaces the old one.
  ASSERT_EQ(lvl.skyboxes.size(), 2u);
  draw(lvl);
  EXPECT_TRUE(near(pixel(10, 300), Rgba{64, 64, 128, 255})) << pixel(10, 300);
  draw(lvl);
  EXPECT_EQ(pixel(10, 300), kSky2);
  draw(lvl);
  EXPECT_EQ(lvl.skyboxes.size(), 1u);
  EXPECT_EQ(pixel(10, 300), kSky2);
  // A forced sky is kept against the frames' choice.
  Sprite* forced = Sprite::get(gfx + ":sky");
  lvl.setSkybox(forced, true);
  for (int i = 0; i < 3; ++i) draw(lvl);
  EXPECT_EQ(pixel(10, 300), kSky);
  EXPECT_EQ(lvl.skybox, forced);
  Sprite::release(forced);
  // The listed character saves its real sprite's name; unloading gives the
  // sky references back with the rest.
  lvl.unload();
  EXPECT_TRUE(lvl.skyboxes.empty());
  EXPECT_EQ(Database::instance().getStr(gfx + ":lvl_bob"),
            "1 1 1 0 2000 0 0 5 " + gfx + ":box 0 200 ");
  EXPECT_EQ(Sprite::nameOf(forced), "") << "no reference left on the sky";
}

// Bullets are drawn with the level's objects: their sprite at their
// position, under the frames of negative layers; one without a sprite
// leaves no trace.
TEST_F(LevelRender, BulletsWithSpritesAreDrawn) {
  Level lvl;
  {
    Log::Capture quiet;
    ASSERT_TRUE(lvl.load(gfx + ":lvl"));
  }
  game::dt = 0.0f;  // the sky keeps still
  const int free = 500, under = 640 + 5 * 32;  // open sky; behind C (layer -1)
  draw(lvl);
  const Rgba sky = pixel(sx(free) + 5, sy(300) + 5);
  ASSERT_TRUE(addBullet(lvl, free, 300, 0, 0, 0, 5, 0, 1, Sprite::get(gfx + ":box")));
  ASSERT_TRUE(addBullet(lvl, under, 32, 0, 0, 0, 5, 0, 1, Sprite::get(gfx + ":box")));
  lvl.bullets.add(std::make_unique<Bullet>(free, 200, 0, 0.0f, 0.0f, 5.0f, 0, 1, nullptr, &lvl,
                                           nullptr));
  draw(lvl);
  EXPECT_EQ(pixel(sx(free) + 5, sy(300) + 5), kYellow);
  EXPECT_EQ(pixel(sx(free) + 30, sy(300) + 30), kYellow);
  EXPECT_EQ(pixel(sx(free) + 5, sy(200) + 5), sky);
  EXPECT_EQ(pixel(sx(under) + 5, sy(32) + 5), kWhite);
}
