// Particles at scale: one game frame of N particles (stepped with their
// block and object tests, then drawn by the level) against drawing N quads
// from a hand-filled client array, the floor of the drawing alone. Runs
// under Xvfb; glFinish makes the rasterising count.
#include <GL/glew.h>
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "api/lua_funcs.h"
#include "base/globals.h"
#include "bench_window.h"
#include "render/camera.h"
#include "render/sprite.h"
#include "world/level.h"
#include "world/particle.h"

static const bool kApiInstalled = (LuaFuncs::install(), true);

namespace {

uint32_t g_seed = 99;
float rnd() {
  g_seed = g_seed * 1664525u + 1013904223u;
  return static_cast<float>(g_seed >> 8) / 16777216.0f;
}

Sprite* particleSprite() {
  static Sprite *a = nullptr, *b = nullptr;
  if (!a) benchgl::testSprites(a, b);
  return a;
}

// One screen with a floor and two ledges; N particles thrown about, every
// one replaced when it dies so the count stays N.
struct Cloud {
  Level lvl;
  explicit Cloud(int n) {
    Frame* f = lvl.addFrame(0, nullptr, nullptr, nullptr, 0, 0, 0, 1.0f, 1.0f);
    f->cells.assign(Frame::kCells, 0);
    for (int c = 0; c < Frame::kCols; ++c) f->cells[14 * Frame::kCols + c] = 1;
    for (int c = 3; c < 8; ++c) f->cells[9 * Frame::kCols + c] = 1;
    for (int c = 12; c < 17; ++c) f->cells[6 * Frame::kCols + c] = 1;
    for (int i = 0; i < n; ++i) spawn();
  }
  void spawn() {
    Sprite* s = particleSprite();
    ++s->refs;
    lvl.addParticle(static_cast<int>(rnd() * 620), static_cast<int>(rnd() * 400), 0, rnd() * 360,
                    50 + rnd() * 250, 2 + rnd() * 4, 0, s);
  }
  void frame(size_t n) {
    lvl.update();
    while (lvl.parts.size() < n) spawn();
  }
};

void BM_ParticlesStepDraw(benchmark::State& state) {
  benchgl::openWindowOrDie();
  game::dt = 0.016f;
  const int n = static_cast<int>(state.range(0));
  Cloud cloud(n);
  Camera& cam = Camera::instance();
  cam.x = cam.y = cam.tx = cam.ty = 0;
  for (auto _ : state) {
    cam.beginFrame();
    cloud.frame(static_cast<size_t>(n));
    cloud.lvl.render();
    Sprite::flush();
    glFinish();
  }
  state.counters["particles"] = n;
}

void BM_ParticlesBaseline_RawQuads(benchmark::State& state) {
  benchgl::openWindowOrDie();
  const int n = static_cast<int>(state.range(0));
  Sprite* s = particleSprite();
  std::vector<SpriteVertex> v(static_cast<size_t>(n) * 4);
  for (auto _ : state) {
    Camera::instance().beginFrame();
    for (int i = 0; i < n; ++i) {
      const float x = rnd() * 608, y = rnd() * 448;
      SpriteVertex* q = &v[static_cast<size_t>(i) * 4];
      q[0] = {0, 0, 255, 255, 255, 255, x, y, 0};
      q[1] = {0, 1, 255, 255, 255, 255, x, y + 32, 0};
      q[2] = {1, 1, 255, 255, 255, 255, x + 32, y + 32, 0};
      q[3] = {1, 0, 255, 255, 255, 255, x + 32, y, 0};
    }
    glBindTexture(GL_TEXTURE_2D, s->texture);
    glInterleavedArrays(GL_T2F_C4UB_V3F, 0, v.data());
    glDrawArrays(GL_QUADS, 0, static_cast<GLsizei>(v.size()));
    glBindTexture(GL_TEXTURE_2D, 0);
    glFinish();
  }
  state.counters["particles"] = n;
}

}  // namespace

BENCHMARK(BM_ParticlesBaseline_RawQuads)
    ->Arg(1000)
    ->Arg(10000)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParticlesStepDraw)
    ->Arg(1000)
    ->Arg(10000)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
