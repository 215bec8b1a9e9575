// level_views GAME_DIR OUT_DIR [LEVEL [X Y]]: draws a level of a laid-out game
// at a fixed set of camera positions (or only at X, Y) and writes each picture as a PNG (view-NN.png).
// Nothing moves between the pictures (no update runs), the sky has finished
// fading, so two builds of the same level give the same files byte for byte:
// the proof that a level rebuilt another way still looks the same.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "api/lua_funcs.h"
#include "base/globals.h"
#include "base/log.h"
#include "gl/test_window.h"
#include "render/sprite.h"
#include "unit/png_maker.h"
#include "world/level.h"

namespace {

struct View {
  int x, y;
};

// Every screen of a level four frames wide and two high, half a screen
// apart, and a few positions between blocks (parallax rounding).
std::vector<View> views() {
  std::vector<View> v;
  for (int y = -120; y <= 600; y += 240)
    for (int x = 0; x <= 1920; x += 320) v.push_back({x, y});
  v.push_back({137, 77});
  v.push_back({1001, 333});
  v.push_back({1595, 515});
  return v;
}

std::string grab() {
  const std::vector<uint8_t> buf = readScreen(0, 0, Camera::kWidth, Camera::kHeight);
  pngtest::Image img(Camera::kWidth, Camera::kHeight);
  for (int y = 0; y < Camera::kHeight; ++y)
    for (int x = 0; x < Camera::kWidth; ++x) {
      const uint8_t* p = &buf[(size_t(Camera::kHeight - 1 - y) * Camera::kWidth + x) * 4];
      img.at(x, y) = {p[0], p[1], p[2], 255};
    }
  return img.encode();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: level_views GAME_DIR OUT_DIR [LEVEL [X Y]]\n");
    return 2;
  }
  std::filesystem::create_directories(argv[2]);
  const std::string out = std::filesystem::absolute(argv[2]).string();
  const std::string level = argc > 3 ? argv[3] : "data/lvl/miedzyczas.crs:lvl";
  if (chdir(argv[1]) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  LuaFuncs::install();
  if (!openTestWindow()) {
    std::fprintf(stderr, "level_views: no OpenGL window\n");
    return 1;
  }
  Level& lvl = Level::instance();
  {
    Log::Capture quiet;
    if (!lvl.load(level)) {
      for (const auto& l : quiet.lines()) std::fprintf(stderr, "%s\n", l.c_str());
      return 1;
    }
  }
  int n = 0;
  std::vector<View> todo = views();
  if (argc > 5) todo = {{std::atoi(argv[4]), std::atoi(argv[5])}};
  for (const View& v : todo) {
    // Three passes with a one-second frame time: the sky chosen here has
    // faded in and the old one is gone.
    game::dt = 1.0f;
    for (int pass = 0; pass < 3; ++pass) {
      glClearColor(0, 0, 0, 1);
      glClear(GL_COLOR_BUFFER_BIT);
      glMatrixMode(GL_MODELVIEW);
      glLoadIdentity();
      Camera::instance().x = static_cast<float>(v.x);
      Camera::instance().y = static_cast<float>(v.y);
      lvl.render();
      Sprite::flush();
    }
    char name[64];
    std::snprintf(name, sizeof name, "/view-%02d.png", n++);
    std::ofstream(out + name, std::ios::binary) << grab();
  }
  std::printf("level_views: %d views of %s in %s\n", n, level.c_str(), out.c_str());
  return 0;
}
