// Opens the one OpenGL window of a test or benchmark process through
// Camera::init. Under Xvfb the server must run with -noreset: one that
// resets when its last client leaves loses SDL 1.2's connection while it
// starts.
#pragma once

#include <SDL/SDL.h>

#include <cstdio>

#include "base/log.h"
#include "render/camera.h"

inline bool openTestWindow() {
  Log::Capture quiet;
  if (Camera::instance().init(0)) return true;
  std::fprintf(stderr, "%s\n", quiet.joined().c_str());
  return false;
}
