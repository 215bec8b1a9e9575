// Developer mode's live reload of the demo level: the time from the reload
// key to the next drawn frame, against a plain frame and a plain start of
// the same level (unload, load, the player's character, one frame). Uncapped
// frames (Right Shift held), so pacing sleeps do not count. Run under Xvfb
// (it reads the laid-out game in build/game):
//   xvfb-run -a -s '-screen 0 1024x768x24' build/bench/bench_reload
#include <SDL/SDL.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "api/lua_funcs.h"
#include "base/globals.h"
#include "base/log.h"
#include "game/dev_mode.h"
#include "game/game.h"
#include "render/camera.h"
#include "world/level.h"
#include "world/player.h"

namespace {

constexpr int kLeftCtrl = 306, kRightShift = 303;

std::unique_ptr<Game> g_game;
std::vector<uint8_t> g_keys(512, 0);

void pushKey(int sym) {
  SDL_Event e{};
  e.type = SDL_KEYDOWN;
  e.key.type = SDL_KEYDOWN;
  e.key.state = SDL_PRESSED;
  e.key.keysym.sym = static_cast<SDLKey>(sym);
  SDL_PushEvent(&e);
}

// Left Ctrl+R is in the queue when the frame starts: the frame's length is
// the time from the key to the drawn picture.
void BM_ReloadKeyToFrame(benchmark::State& state) {
  Log::Capture quiet;
  g_keys[kLeftCtrl] = 1;
  const uint32_t before = g_game->devMode()->reloads();
  for (auto _ : state) {
    pushKey(SDLK_r);
    g_game->frame();
  }
  g_keys[kLeftCtrl] = 0;
  if (g_game->devMode()->reloads() - before != state.iterations())
    state.SkipWithError("a reload failed");
}
BENCHMARK(BM_ReloadKeyToFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10)
    ->Repetitions(5)->ReportAggregatesOnly(true);

// Baseline: a plain start of the same level, as a level change does it.
void BM_PlainLevelStart(benchmark::State& state) {
  Log::Capture quiet;
  Level& lvl = Level::instance();
  const std::string name = lvl.name;
  for (auto _ : state) {
    lvl.load(name);
    Player::instance().setPlayer();
    g_game->frame();
  }
}
BENCHMARK(BM_PlainLevelStart)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10)
    ->Repetitions(5)->ReportAggregatesOnly(true);

// Baseline: one frame of the running level.
void BM_PlainFrame(benchmark::State& state) {
  Log::Capture quiet;
  for (auto _ : state) g_game->frame();
}
BENCHMARK(BM_PlainFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(50)
    ->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  if (chdir(TERVALO_GAME_DIR) != 0) {
    std::perror(TERVALO_GAME_DIR);
    return 1;
  }
  LuaFuncs::install();
  {
    Log::Capture quiet;
    for (int attempt = 0;; ++attempt) {
      g_game = std::make_unique<Game>("bench", "bench");
      g_game->enableDevMode();
      const int code = g_game->startUp();
      if (code == Game::kOk) break;
      Camera::instance().shutdown();
      SDL_Quit();
      if (code != Game::kNoScreen || attempt == 8) {
        std::fprintf(stderr, "start-up failed (%d)\n", code);
        return 1;
      }
      SDL_Delay(200);
    }
    g_game->devMode()->start();
  }
  g_keys[kRightShift] = 1;
  game::keys = g_keys.data();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  // The game folder is only read: no shutdown, so no save is written.
  std::_Exit(0);
}
