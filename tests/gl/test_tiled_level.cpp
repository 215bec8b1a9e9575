// A level imported from a Tiled map loads in the engine and its tiles,
// parallax layer, objects and character land on the screen pixels the map
// puts them at.
#include <unistd.h>

#include <filesystem>

#include "base/log.h"
#include "gl/gl_fixture.h"
#include "maps/level_import.h"
#include "render/sprite.h"
#include "resources/database.h"
#include "resources/ini_file.h"
#include "unit/tiled_maker.h"
#include "world/level.h"

namespace fs = std::filesystem;

TEST_F(GlTest, TiledMapTilesLandOnTheirPixels) {
  const fs::path dir = fs::temp_directory_path() / ("tervalo_tiledgl_" + std::to_string(::getpid()));
  fs::create_directories(dir / "maps");
  fs::create_directories(dir / "game" / "data");
  tiledtest::writeAssets((dir / "maps").string());
  tiledtest::put((dir / "maps" / "m.tmx").string(), tiledtest::tmx(tiledtest::Enc::Zlib));
  tiled::LevelPack pack;
  std::vector<std::string> errors;
  ASSERT_TRUE(tiled::importMap((dir / "maps" / "m.tmx").string(), (dir / "game" / "data" / "m.crs").string(),
                               "lvl", "", pack, errors))
      << (errors.empty() ? "" : errors[0]);
  const fs::path old = fs::current_path();
  fs::current_path(dir / "game");
  Database::instance().clear();
  IniFile::instance().close();
  {
    Level lvl;
    {
      Log::Capture quiet;
      ASSERT_TRUE(lvl.load("data/m.crs:lvl"));
    }
    EXPECT_EQ(lvl.frames.size(), 4u);
    EXPECT_EQ(lvl.countNpcs(), 1u);
    auto draw = [&](int cx) {
      clearScreen(0, 0, 0);
      Camera::instance().x = float(cx);
      Camera::instance().y = 0;
      lvl.render();
      Sprite::flush();
    };
    const Rgba red{255, 0, 0, 255}, green{0, 255, 0, 255}, blue{0, 0, 255, 255},
        yellow{255, 255, 0, 255}, sky{0, 128, 128, 255};
    draw(64);
    EXPECT_EQ(pixel(10, 470), red);      // the floor, row 14
    EXPECT_EQ(pixel(5, 440), yellow);    // the crate at (80, 448), anchored bottom middle
    EXPECT_EQ(pixel(230, 440), yellow);  // the character at (300, 448)
    EXPECT_EQ(pixel(40, 70), blue);      // tile (2, 2) behind at half speed: 64 - 32
    EXPECT_EQ(pixel(100, 170), blue);    // tile (5, 5) in front
    EXPECT_EQ(pixel(300, 200), sky);
    draw(400);
    EXPECT_EQ(pixel(805 - 400, 325), green);  // tile (25, 10) in the second frame
    EXPECT_EQ(pixel(5, 70), sky);             // the far tile has gone by
    lvl.unload();
  }
  Camera::instance().x = 0;
  IniFile::instance().close();
  Database::instance().clear();
  fs::current_path(old);
  fs::remove_all(dir);
}
