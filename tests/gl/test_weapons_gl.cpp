// Weapons with real pictures: script uses spawn into the user's level, and
// the carried weapon is drawn at the hand point of the character's frame.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/log.h"
#include "gl/gl_fixture.h"
#include "render/sprite.h"
#include "resources/resfile_writer.h"
#include "unit/png_maker.h"
#include "world/bullet.h"
#include "world/level.h"
#include "world/npc.h"
#include "world/weapon.h"

namespace fs = std::filesystem;

TEST_F(GlTest, WeaponSpawnsAndIsDrawnInHand) {
  const fs::path old = fs::current_path();
  const fs::path dir = fs::temp_directory_path() / ("tervalo_wep_" + std::to_string(::getpid()));
  fs::create_directories(dir / "lua");
  fs::create_directories(dir / "data");
  fs::current_path(dir);
  ResfileWriter w;
  w.add("body.png", pngtest::Image(8, 8, {255, 0, 0, 255}).encode());
  // Anchor at the top-left corner, the hand 4 px right of the body.
  w.add("body.txt", "anim 0 0 8 8 1 0 0 0 8 8 body\nframe 1 0 0 12 2\n");
  w.add("gun.png", pngtest::Image(4, 4, {0, 255, 0, 255}).encode());
  w.add("gun.txt", "1 0 0 4 4 0 0 1 0\n");
  w.add("stone.png", pngtest::Image(2, 2, {0, 0, 255, 255}).encode());
  w.add("stone.txt", "1 0 0 2 2 1 1 1 0\n");
  ASSERT_TRUE(w.write("data/g.crs"));
  std::ofstream("data/weapons") << "gun data/g.crs:gun lua/gun.lua shoot spec\n";
  std::ofstream("lua/gun.lua")
      << "function shoot(x, y) addBullet(x + 10, y, 0, 100, 1, 2, 1, 'data/g.crs:stone') end\n"
         "function spec(x, y) addParticle(x, y, 0, getUserDir() * 90, 10, 1, 0, "
         "'data/g.crs:stone') end\n";
  {
    Log::Capture cap;
    ASSERT_TRUE(Weapon::load("data/weapons"));
    Weapon* gun = Weapon::get("gun");
    ASSERT_NE(gun, nullptr);
    Level lvl;
    Npc* c = lvl.addNpc(std::make_unique<Npc>("c", 1, 100, 100, 0, 10,
                                              Sprite::get("data/g.crs:body"), &lvl, nullptr),
                        1);
    ASSERT_NE(c, nullptr);
    c->wep = gun;
    c->dir = 1;
    gun->fire1(100, 100, c);
    gun->fire2(100, 100, c);
    ASSERT_EQ(lvl.bullets.size(), 1u);
    const auto* b = static_cast<const Bullet*>(lvl.bullets[0]);
    EXPECT_TRUE(b->x == 110 && b->damage == 2 && b->count == 1 && b->ignore == c);
    ASSERT_EQ(lvl.parts.size(), 1u);
    EXPECT_NEAR(lvl.parts[0]->spdY, 10.0f, 1e-3);  // facing right: 90 degrees
    EXPECT_EQ(cap.lines(), std::vector<std::string>{}) << cap.joined();
    clearScreen(0, 0, 0);
    c->render();
    Sprite::flush();
    EXPECT_EQ(pixel(103, 103), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(pixel(113, 103), (Rgba{0, 255, 0, 255}));
    EXPECT_EQ(pixel(117, 103), (Rgba{0, 0, 0, 255}));
    c->wep = nullptr;
  }
  Weapon::clear();
  fs::current_path(old);
  fs::remove_all(dir);
}
