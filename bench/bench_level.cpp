// Level loading: the demo level of the built game, and generated levels of
// 50 and 200 frames, against the bare reading of the same archive entries
// (the I/O floor of a load). Sprites load into a real OpenGL window, as in
// the game; run under xvfb-run.
//
//   xvfb-run -a -s '-screen 0 1024x768x24 -noreset' build/bench/bench_level
//
// "Cold" loads start from an empty sprite cache (pictures decoded and
// uploaded every time); "warm" loads find the pictures cached by a level
// that stays loaded.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "api/lua_funcs.h"
#include "base/log.h"
#include "bench_window.h"
#include "resources/resfile.h"
#include "resources/resfile_writer.h"
#include "unit/png_maker.h"
#include "world/level.h"

// Level and character states get the script API, as in the game.
static const bool kApiInstalled = (LuaFuncs::install(), true);

namespace {

namespace fs = std::filesystem;

constexpr const char* kDemo = "data/lvl/miedzyczas.crs:lvl";

void enterGameDir() {
  static bool done = false;
  if (done) return;
  benchgl::openWindowOrDie();
  fs::current_path(TERVALO_GAME_DIR);
  done = true;
}

// A level of `frames` frames (one row of layer 0, every frame with its own
// block file) with one tile sheet and one sky, written once per size.
struct TempDir {
  fs::path path = fs::temp_directory_path() / ("tervalo_bench_level_" + std::to_string(::getpid()));
  TempDir() { fs::create_directories(path); }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

std::string generatedLevel(int frames) {
  static TempDir temp;
  const fs::path& dir = temp.path;
  const std::string archive = (dir / ("gen" + std::to_string(frames) + ".crs")).string();
  if (fs::exists(archive)) return archive + ":lvl";
  ResfileWriter w;
  pngtest::Image tiles(128, 32, {90, 60, 30, 255});
  tiles.rect(32, 0, 32, 32, {40, 160, 40, 255});
  w.add("tiles.png", tiles.encode());
  w.add("tiles.txt", "anim 0 0 32 32 1\nanim 32 0 32 32 1\nanim 64 0 32 32 1\nanim 96 0 32 32 1\n");
  w.add("sky.png", pngtest::Image(640, 480, {100, 150, 255, 255}).encode());
  std::string text = "-- generated\n";
  for (int i = 0; i < frames; ++i) {
    std::string cells(300, '\0');
    for (int c = 0; c < 300; ++c)
      if (c >= 240 || (c * 7 + i) % 13 == 0)
        cells[static_cast<size_t>(c)] = static_cast<char>(1 + (c + i) % 3);
    w.add("f" + std::to_string(i) + ".bin", cells);
    text += "frame f" + std::to_string(i) + " " + archive + ":tiles " + archive + ":sky " +
            std::to_string(i) + " 0 0\n";
  }
  w.add("lvl.txt", text);
  if (!w.write(archive)) {
    std::fprintf(stderr, "cannot write %s\n", archive.c_str());
    std::exit(1);
  }
  return archive + ":lvl";
}

void loadOnce(benchmark::State& state, const std::string& name) {
  Log::Capture quiet;
  Level lvl;
  if (!lvl.load(name)) state.SkipWithError("level did not load");
  benchmark::DoNotOptimize(lvl.frames.size());
}

void BM_LoadDemoCold(benchmark::State& state) {
  enterGameDir();
  for (auto _ : state) loadOnce(state, kDemo);
}
BENCHMARK(BM_LoadDemoCold)->Unit(benchmark::kMillisecond);

void BM_LoadDemoWarm(benchmark::State& state) {
  enterGameDir();
  Level holder;
  {
    Log::Capture quiet;
    holder.load(kDemo);
  }
  for (auto _ : state) loadOnce(state, kDemo);
}
BENCHMARK(BM_LoadDemoWarm)->Unit(benchmark::kMillisecond);

// The I/O floor: the level file and every block file read through a fresh
// archive reader, nothing built.
void BM_ReadEntriesOnly(benchmark::State& state) {
  enterGameDir();
  const int frames = static_cast<int>(state.range(0));
  const std::string name = generatedLevel(frames);
  const std::string archive = name.substr(0, name.find(':'));
  for (auto _ : state) {
    Resfile r;
    ResBuffer text = r.load(archive, "lvl.txt");
    benchmark::DoNotOptimize(text.data());
    for (int i = 0; i < frames; ++i) {
      ResBuffer b = r.load(archive, "f" + std::to_string(i) + ".bin");
      benchmark::DoNotOptimize(b.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * frames);
}
BENCHMARK(BM_ReadEntriesOnly)->Arg(50)->Arg(200)->Unit(benchmark::kMillisecond);

void BM_LoadGeneratedWarm(benchmark::State& state) {
  enterGameDir();
  const int frames = static_cast<int>(state.range(0));
  const std::string name = generatedLevel(frames);
  Level holder;
  {
    Log::Capture quiet;
    holder.load(name);
  }
  for (auto _ : state) loadOnce(state, name);
  state.SetItemsProcessed(state.iterations() * frames);
}
BENCHMARK(BM_LoadGeneratedWarm)->Arg(50)->Arg(200)->Unit(benchmark::kMillisecond);

void BM_LoadGeneratedCold(benchmark::State& state) {
  enterGameDir();
  const int frames = static_cast<int>(state.range(0));
  const std::string name = generatedLevel(frames);
  for (auto _ : state) loadOnce(state, name);
  state.SetItemsProcessed(state.iterations() * frames);
}
BENCHMARK(BM_LoadGeneratedCold)->Arg(50)->Arg(200)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
