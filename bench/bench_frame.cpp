// Cost of one empty frame of the loop (events, update, camera, present) and
// the uncapped frame rate with Right Shift held. Run under Xvfb:
//   xvfb-run -a -s '-screen 0 1024x768x24 -noreset' build/bench/bench_frame
#include <SDL/SDL.h>
#include <benchmark/benchmark.h>

#include <ctime>
#include <vector>

#include "base/globals.h"
#include "base/log.h"
#include "game/game.h"
#include "gl/test_window.h"
#include "render/camera.h"

namespace {

double cpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

// Baseline: the bare buffer swap the frame ends with.
void BM_SwapOnly(benchmark::State& state) {
  for (auto _ : state) SDL_GL_SwapBuffers();
}
BENCHMARK(BM_SwapOnly)->UseRealTime();

// One uncapped frame (Right Shift held): wall time per frame gives the
// uncapped rate; the CPU-time counter is the process CPU per frame.
void BM_EmptyFrameUncapped(benchmark::State& state) {
  std::vector<uint8_t> keys(512, 0);
  keys[303] = 1;  // Right Shift
  const uint8_t* saved = game::keys;
  game::keys = keys.data();
  Game game("bench", "bench");
  double cpu0 = cpuSeconds();
  for (auto _ : state) game.frame();
  double cpu = cpuSeconds() - cpu0;
  state.counters["cpu_us_per_frame"] = 1e6 * cpu / state.iterations();
  state.counters["fps"] = benchmark::Counter(state.iterations(), benchmark::Counter::kIsRate);
  game::keys = saved;
}
BENCHMARK(BM_EmptyFrameUncapped)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (!openTestWindow()) return 1;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  Camera::instance().shutdown();
  SDL_Quit();
  return 0;
}
