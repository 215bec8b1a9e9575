// Opens the one OpenGL window of a test or benchmark process through
// Camera::init. Under Xvfb the server must run with -noreset: one that
// resets when its last client leaves loses SDL 1.2's connection while it
// starts.
#pragma once

#include <GL/glew.h>
#include <SDL/SDL.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "base/log.h"
#include "render/camera.h"

inline bool openTestWindow() {
  Log::Capture quiet;
  if (Camera::instance().init(0)) return true;
  std::fprintf(stderr, "%s\n", quiet.joined().c_str());
  return false;
}

// RGBA bytes of a rectangle of the back buffer, (x, y) its top-left corner
// counted from the screen's top; rows come bottom row first, as GL reads them.
inline std::vector<uint8_t> readScreen(int x, int y, int w, int h) {
  glFinish();
  std::vector<uint8_t> buf(static_cast<size_t>(w) * h * 4);
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, Camera::kHeight - y - h, w, h, GL_RGBA, GL_UNSIGNED_BYTE, buf.data());
  return buf;
}
