// Quads through Sprite::draw and the batch flush, against a baseline that
// fills the same interleaved array by hand and draws it with one
// glDrawArrays. Every iteration ends with glFinish, so both sides pay for
// the same rasterisation. Run under xvfb-run, best with
//   --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
// on a shared machine.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench_window.h"

namespace {

Sprite* g_a = nullptr;
Sprite* g_b = nullptr;

// Positions spread over the screen, the same for every variant.
inline float posX(int i) { return static_cast<float>((i * 37) % 608); }
inline float posY(int i) { return static_cast<float>((i * 53) % 448); }

// The hand-written fill: the array sized once, four vertices written in
// place per quad.
void fillDirect(std::vector<SpriteVertex>& verts, int n, float cx, float cy) {
  verts.resize(size_t(n) * 4);
  SpriteVertex* v = verts.data();
  for (int i = 0; i < n; ++i, v += 4) {
    const float x0 = posX(i) - cx, y0 = posY(i) - cy, x1 = x0 + 32, y1 = y0 + 32;
    v[0] = {0, 0, 255, 255, 255, 255, x0, y0, 0};
    v[1] = {0, 1, 255, 255, 255, 255, x0, y1, 0};
    v[2] = {1, 1, 255, 255, 255, 255, x1, y1, 0};
    v[3] = {1, 0, 255, 255, 255, 255, x1, y0, 0};
  }
}

void BM_SpriteDraw(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Sprite::flush(nullptr);
  for (auto _ : state) {
    VertexArray& batch = Sprite::batch();
    for (int i = 0; i < n; ++i)
      Sprite::draw(batch, g_a, posX(i), posY(i), 0, 0, 0, 255, 1, 1, 0, 1, 1);
    Sprite::flush();
    glFinish();
  }
  state.SetItemsProcessed(state.iterations() * n);
}

void BM_Baseline(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<SpriteVertex> verts;
  verts.reserve(1000);
  const float cx = static_cast<float>(Camera::instance().ix());
  const float cy = static_cast<float>(Camera::instance().iy());
  for (auto _ : state) {
    fillDirect(verts, n, cx, cy);
    glBindTexture(GL_TEXTURE_2D, g_a->texture);
    glInterleavedArrays(GL_T2F_C4UB_V3F, 0, verts.data());
    glDrawArrays(GL_QUADS, 0, static_cast<GLsizei>(verts.size()));
    glBindTexture(GL_TEXTURE_2D, 0);
    glFinish();
  }
  state.SetItemsProcessed(state.iterations() * n);
}

// Worst case: every quad changes the texture, so every quad is a draw call.
void BM_SpriteDrawAlternating(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Sprite::flush(nullptr);
  const uint64_t calls = Sprite::drawCalls();
  for (auto _ : state) {
    VertexArray& batch = Sprite::batch();
    for (int i = 0; i < n; ++i)
      Sprite::draw(batch, (i & 1) ? g_b : g_a, posX(i), posY(i), 0, 0, 0, 255, 1, 1, 0, 1, 1);
    Sprite::flush();
    glFinish();
  }
  state.SetItemsProcessed(state.iterations() * n);
  state.counters["calls_per_iter"] =
      static_cast<double>(Sprite::drawCalls() - calls) / static_cast<double>(state.iterations());
}

// The filling alone, without GL: Sprite::draw into an array against the
// hand-written loop.
void BM_FillOnly_SpriteDraw(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  VertexArray out;
  out.reserve(size_t(n) * 4);
  Sprite::flush(g_a);
  for (auto _ : state) {
    out.clear();
    for (int i = 0; i < n; ++i)
      Sprite::draw(out, g_a, posX(i), posY(i), 0, 0, 0, 255, 1, 1, 0, 1, 1);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}

void BM_FillOnly_Baseline(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<SpriteVertex> verts;
  verts.reserve(size_t(n) * 4);
  const float cx = static_cast<float>(Camera::instance().ix());
  const float cy = static_cast<float>(Camera::instance().iy());
  for (auto _ : state) {
    fillDirect(verts, n, cx, cy);
    benchmark::DoNotOptimize(verts.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}

}  // namespace

// Wall-clock time: the rasteriser works in threads of its own.
BENCHMARK(BM_Baseline)->Arg(1000)->Arg(5000)->Arg(20000)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SpriteDraw)->Arg(1000)->Arg(5000)->Arg(20000)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SpriteDrawAlternating)->Arg(1000)->Arg(5000)->Arg(20000)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FillOnly_Baseline)->Arg(1000)->Arg(5000)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FillOnly_SpriteDraw)->Arg(1000)->Arg(5000)->Arg(20000)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchgl::openWindowOrDie();
  benchgl::testSprites(g_a, g_b);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  Log::Capture quiet;
  Sprite::clear();
  return 0;
}
