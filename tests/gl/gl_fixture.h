// GL test fixture: one real SDL OpenGL window (640 x 480) for the whole test
// binary, opened through Camera::init under Xvfb, with helpers that read
// back what reached the framebuffer. Brings what every GL test uses: the
// window, the log, the frame time and sprites.
#pragma once

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <ostream>
#include <string>

#include "base/globals.h"
#include "base/log.h"
#include "gl/render_helpers.h"
#include "gl/test_window.h"
#include "render/camera.h"
#include "render/sprite.h"

using namespace rendertest;

class Level;

// A pixel read back; equal when the RGB match (alpha is ignored).
struct Rgba {
  uint8_t r, g, b, a;
  constexpr Rgba(uint8_t r_, uint8_t g_, uint8_t b_, uint8_t a_ = 255) : r(r_), g(g_), b(b_), a(a_) {}
  constexpr Rgba(pngtest::Rgba8 c) : r(c.r), g(c.g), b(c.b), a(c.a) {}
  bool operator==(const Rgba& o) const { return r == o.r && g == o.g && b == o.b; }
};
std::ostream& operator<<(std::ostream& os, const Rgba& c);
// Within `d` on each of R, G and B.
bool near(Rgba a, Rgba b, int d = 1);

// Every test starts with the camera at (0, 0) and leaves the sprite cache
// empty and the frame time as it found it.
class GlTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Fills the back buffer with one colour.
  static void clearScreen(uint8_t r, uint8_t g, uint8_t b);
  // Pixel at screen (x, y), y counted from the top like the engine's coordinates.
  static Rgba pixel(int x, int y);
  // Each point of the screen shows its colour (a failure names the point).
  struct At {
    int x, y;
    Rgba c;
  };
  static void expectPixels(std::initializer_list<At> want);
  // Number of pixels in the rectangle whose RGB equals c.
  static int countColour(int x, int y, int w, int h, Rgba c);
  // One picture of the level over black with the camera at (x, y).
  static void drawLevel(Level& lvl, float x, float y);
  // A sprite of the test's archive, loaded without its console lines.
  Sprite* get(const std::string& entry) const;
  // Moves into a fresh directory (removed after the test) with no saved
  // state and no ini file open.
  void enterTempDir();
  // Writes a file under the current directory, making its folders.
  static void put(const std::string& path, const std::string& text);

  TestArchive ar;
  std::filesystem::path tempDir_, oldDir_;
  float savedDt_ = 0;
};
