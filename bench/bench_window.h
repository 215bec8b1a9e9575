// A real OpenGL window for the rendering benchmarks (run under Xvfb), and a
// 32 x 32 test sprite loaded through the sprite cache.
#pragma once

#include <GL/glew.h>
#include <SDL/SDL.h>

#include <cstdio>
#include <cstdlib>

#include "base/log.h"
#include "gl/render_helpers.h"
#include "gl/test_window.h"
#include "render/camera.h"
#include "render/sprite.h"

namespace benchgl {

inline void openWindowOrDie() {
  if (openTestWindow()) return;
  std::fprintf(stderr, "no OpenGL window: run under xvfb-run\n");
  std::exit(1);
}

// Two 32 x 32 sprites of their own textures (half-transparent edges, as
// game pictures have).
inline void testSprites(Sprite*& a, Sprite*& b) {
  static rendertest::TestArchive ar;
  static bool written = false;
  if (!written) {
    rendertest::Image img = rendertest::quarters();
    img.rect(0, 0, 32, 1, {255, 255, 255, 128});
    ar.image("a", img).image("b", img).file("a.txt", "anim 0 0 32 32 1").file(
        "b.txt", "anim 0 0 32 32 1");
    ar.write();
    written = true;
  }
  a = Sprite::get(ar.res("a"));
  b = Sprite::get(ar.res("b"));
  if (!a || !b) {
    std::fprintf(stderr, "test sprites did not load\n");
    std::exit(1);
  }
}

}  // namespace benchgl
