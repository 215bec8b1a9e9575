#include "gl/gl_fixture.h"

#include <SDL/SDL.h>

#include <cstdlib>
#include <iostream>
#include <vector>

#include "api/lua_funcs.h"
#include "base/log.h"

std::ostream& operator<<(std::ostream& os, const Rgba& c) {
  return os << "rgba(" << int(c.r) << "," << int(c.g) << "," << int(c.b) << "," << int(c.a) << ")";
}

void GlTest::SetUp() {
  ASSERT_TRUE(Camera::instance().started()) << "no OpenGL window (is DISPLAY set?)";
  Camera& cam = Camera::instance();
  cam.x = cam.y = cam.tx = cam.ty = 0;
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void GlTest::clearScreen(uint8_t r, uint8_t g, uint8_t b) {
  glClearColor(r / 255.0f, g / 255.0f, b / 255.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glClearColor(0.0f, 0.5f, 1.0f, 0.0f);
}

Rgba GlTest::pixel(int x, int y) {
  glFinish();
  uint8_t p[4] = {0, 0, 0, 0};
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, Camera::kHeight - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
  return Rgba{p[0], p[1], p[2], p[3]};
}

int GlTest::countColour(int x, int y, int w, int h, Rgba c) {
  glFinish();
  std::vector<uint8_t> buf(static_cast<size_t>(w) * h * 4);
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, Camera::kHeight - y - h, w, h, GL_RGBA, GL_UNSIGNED_BYTE, buf.data());
  int n = 0;
  for (size_t i = 0; i < buf.size(); i += 4)
    if (buf[i] == c.r && buf[i + 1] == c.g && buf[i + 2] == c.b) ++n;
  return n;
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  LuaFuncs::install();
  // Listing tests needs no window.
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  if (!openTestWindow()) {
    std::cerr << "gl_tests: could not open an OpenGL window (DISPLAY=" 
              << (std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "unset") << ")\n";
    return 1;
  }
  return RUN_ALL_TESTS();
}
