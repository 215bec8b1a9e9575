#include "gl/gl_fixture.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iostream>

#include "api/lua_funcs.h"
#include "resources/database.h"
#include "resources/ini_file.h"
#include "world/level.h"

std::ostream& operator<<(std::ostream& os, const Rgba& c) {
  return os << "rgba(" << int(c.r) << "," << int(c.g) << "," << int(c.b) << "," << int(c.a) << ")";
}

bool near(Rgba a, Rgba b, int d) {
  return std::abs(a.r - b.r) <= d && std::abs(a.g - b.g) <= d && std::abs(a.b - b.b) <= d;
}

void GlTest::SetUp() {
  ASSERT_TRUE(Camera::instance().started()) << "no OpenGL window (is DISPLAY set?)";
  Camera& cam = Camera::instance();
  cam.x = cam.y = cam.tx = cam.ty = 0;
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  savedDt_ = game::dt;
}

void GlTest::TearDown() {
  Camera::instance().x = Camera::instance().y = 0;
  game::dt = savedDt_;
  {
    Log::Capture quiet;
    Sprite::flush(nullptr);
    Sprite::clear();
  }
  if (tempDir_.empty()) return;
  IniFile::instance().close();
  Database::instance().clear();
  std::filesystem::current_path(oldDir_);
  std::filesystem::remove_all(tempDir_);
}

void GlTest::clearScreen(uint8_t r, uint8_t g, uint8_t b) {
  glClearColor(r / 255.0f, g / 255.0f, b / 255.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glClearColor(0.0f, 0.5f, 1.0f, 0.0f);
}

Rgba GlTest::pixel(int x, int y) {
  const std::vector<uint8_t> p = readScreen(x, y, 1, 1);
  return Rgba{p[0], p[1], p[2], p[3]};
}

void GlTest::expectPixels(std::initializer_list<At> want) {
  for (const At& w : want) EXPECT_EQ(pixel(w.x, w.y), w.c) << "at (" << w.x << ", " << w.y << ")";
}

int GlTest::countColour(int x, int y, int w, int h, Rgba c) {
  const std::vector<uint8_t> buf = readScreen(x, y, w, h);
  int n = 0;
  for (size_t i = 0; i < buf.size(); i += 4)
    if (buf[i] == c.r && buf[i + 1] == c.g && buf[i + 2] == c.b) ++n;
  return n;
}

void GlTest::drawLevel(Level& lvl, float x, float y) {
  clearScreen(0, 0, 0);
  Camera::instance().x = x;
  Camera::instance().y = y;
  lvl.render();
  Sprite::flush();
}

Sprite* GlTest::get(const std::string& entry) const {
  Log::Capture quiet;
  return Sprite::get(ar.res(entry));
}

void GlTest::enterTempDir() {
  static int serial = 0;
  tempDir_ = rendertest::tempDir() / ("dir" + std::to_string(++serial));
  std::filesystem::create_directories(tempDir_);
  oldDir_ = std::filesystem::current_path();
  std::filesystem::current_path(tempDir_);
  Database::instance().clear();
  IniFile::instance().close();
}

void GlTest::put(const std::string& path, const std::string& text) {
  const std::filesystem::path p(path);
  if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  LuaFuncs::install();
  // Listing tests needs no window.
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  if (!openTestWindow()) {
    const char* display = std::getenv("DISPLAY");
    std::cerr << "gl_tests: could not open an OpenGL window (DISPLAY=" << (display ? display : "unset") << ")\n";
    return 1;
  }
  return RUN_ALL_TESTS();
}
