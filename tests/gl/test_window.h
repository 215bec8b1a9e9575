// Opens the one OpenGL window of a test or benchmark process through
// Camera::init, retrying: SDL 1.2 on Xvfb loses the X display now and then.
#pragma once

#include <SDL/SDL.h>

#include "base/log.h"
#include "render/camera.h"

inline bool openTestWindow() {
  for (int attempt = 0; attempt < 8; ++attempt) {
    Log::Capture quiet;
    if (Camera::instance().init(0)) return true;
    Camera::instance().shutdown();
    SDL_Quit();
    SDL_Delay(200);
  }
  return false;
}
