// GL test fixture: one real SDL OpenGL window (640 x 480) for the whole test
// binary, opened through Camera::init under Xvfb, with helpers that read
// back what reached the framebuffer.
#pragma once

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstdint>

#include "gl/test_window.h"
#include "render/camera.h"

struct Rgba {
  uint8_t r, g, b, a;
  bool operator==(const Rgba& o) const { return r == o.r && g == o.g && b == o.b; }
};
std::ostream& operator<<(std::ostream& os, const Rgba& c);

class GlTest : public ::testing::Test {
 protected:
  void SetUp() override;

  // Fills the back buffer with one colour and resets the camera position.
  static void clearScreen(uint8_t r, uint8_t g, uint8_t b);
  // Pixel at screen (x, y), y counted from the top like the engine's coordinates.
  static Rgba pixel(int x, int y);
  // Number of pixels in the rectangle whose RGB equals c.
  static int countColour(int x, int y, int w, int h, Rgba c);
};

