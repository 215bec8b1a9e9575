// The window, its OpenGL state and the view: opens the 640 x 480 window,
// brackets every frame and holds the view position every drawing subtracts.
#pragma once

#include <cstdint>

class CameraShader;

class Camera {
 public:
  // The post-processing programs (render/shader.h).
  using Shader = CameraShader;

  static constexpr int kWidth = 640;
  static constexpr int kHeight = 480;

  // The program's one camera.
  static Camera& instance();

  // Opens the window on the first call; every later call flips between
  // window and full screen. Rebuilds the GL state and the screen texture.
  bool init(uint32_t flags);
  // Flips between window and full screen (Left Alt+Return). SDL keeps the
  // GL context through the switch where it can (on X11 it only resizes the
  // window), and then every texture and program stays as it was; only a
  // new context has the sprites' textures and the post-processing programs
  // built again (building them in a kept context would leave the old ones
  // behind, a few MiB of textures at every switch).
  bool toggleFullscreen();
  // The last init kept the GL context of the one before it.
  bool contextKept() const { return contextKept_; }
  void beginFrame();
  void endFrame();

  float x = 0, y = 0;    // view's top-left corner in level pixels
  float tx = 0, ty = 0;  // target, copied into x, y at beginFrame
  float spd = 200.0f;    // kept for scripts; nothing moves by it
  uint32_t screenTex = 0;
  bool shade = false;

  // Integer view position used by every drawing (truncated toward zero).
  int ix() const { return static_cast<int>(x); }
  int iy() const { return static_cast<int>(y); }

  // Closes the window and forgets that SDL was started (tests use it to
  // retry a failed start on a flaky X server).
  void shutdown();

  bool fullscreen() const { return fullscreen_; }
  bool started() const { return sdlStarted_; }
  // Number of frames whose endFrame copied the back buffer into screenTex.
  uint64_t screenCopies() const { return screenCopies_; }

 private:
  bool sdlStarted_ = false;
  bool fullscreen_ = false;
  bool contextKept_ = false;
  uint64_t screenCopies_ = 0;
};
