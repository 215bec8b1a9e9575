// The same scene as bench/love_scene: N sprites of 32 x 32 pixels from one
// texture bouncing around the 640 x 480 window, every one moved and drawn
// each frame, the frame presented without waiting. Prints one line:
//   SCENE engine N frames F seconds S fps R
//   sprite_scene N SECONDS        (run under Xvfb)
#include <SDL/SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench_window.h"
#include "render/camera.h"
#include "render/sprite.h"

namespace {

double now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

struct Mover {
  float x, y, vx, vy;
};

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 1000;
  const double seconds = argc > 2 ? std::atof(argv[2]) : 5.0;
  benchgl::openWindowOrDie();
  Sprite *a = nullptr, *b = nullptr;
  benchgl::testSprites(a, b);
  // The same deterministic start as the LOVE program.
  std::vector<Mover> movers(static_cast<size_t>(n));
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<float>((seed >> 16) & 0x7fff) / 32768.0f;
  };
  for (Mover& m : movers) m = {next() * 608, next() * 448, next() * 200 - 100, next() * 200 - 100};
  Camera& cam = Camera::instance();
  double last = now();
  const double start = last;
  long frames = 0;
  while (last - start < seconds) {
    const double t = now();
    const float dt = static_cast<float>(t - last);
    last = t;
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
    }
    cam.beginFrame();
    for (Mover& m : movers) {
      m.x += m.vx * dt;
      m.y += m.vy * dt;
      if (m.x < 0 || m.x > 608) m.vx = -m.vx;
      if (m.y < 0 || m.y > 448) m.vy = -m.vy;
      Sprite::draw(Sprite::batch(), a, static_cast<float>(static_cast<int>(m.x)),
                   static_cast<float>(static_cast<int>(m.y)), 0.0f, 0, 0, 255, 0.0f, 0.0f, 0.0f,
                   1.0f, 1.0f);
    }
    Sprite::flush();
    cam.endFrame();
    ++frames;
  }
  const double elapsed = now() - start;
  std::printf("SCENE engine %d frames %ld seconds %.3f fps %.2f\n", n, frames, elapsed,
              frames / elapsed);
  Sprite::release(a);
  Sprite::release(b);
  cam.shutdown();
  SDL_Quit();
  return 0;
}
