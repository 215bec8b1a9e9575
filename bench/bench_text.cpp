// Text layout: characters laid out per second (divide by 1000 for per
// millisecond) for a 2 000-character text in the game's font, left-aligned
// and centred (centring measures every line). Run under xvfb-run.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_window.h"
#include "render/text.h"

namespace {

std::string sampleText() {
  const std::string words[] = {"the", "old", "ferryman", "said:", "cross", "the", "river",
                               "before", "dusk,", "and", "keep", "your", "lantern", "lit.",
                               "Tervalo", "waits\tbeyond", "the", "hills\n"};
  std::string s;
  for (size_t i = 0; s.size() < 2000; ++i) s += words[i % std::size(words)] + " ";
  s.resize(2000);
  return s;
}

void layoutBench(benchmark::State& state, int align) {
  Sprite* font = Sprite::get(std::string(TERVALO_GAME_DIR) + "/data/gfx.crs:font_00");
  if (!font) {
    state.SkipWithError("font_00 did not load (build the game data first)");
    return;
  }
  const std::string s = sampleText();
  Text t(0, 8, 8, -999, 0, 0, font, "", 624, 464, 16, 12, 32);
  t.align = align;
  size_t glyphs = 0;
  for (auto _ : state) {
    t.setStr(s);
    t.layout();
    glyphs = t.buffer().count / 4;
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(s.size()));
  state.counters["glyphs"] = static_cast<double>(glyphs);
  state.counters["height"] = t.height;
}

void BM_TextLayoutLeft(benchmark::State& state) { layoutBench(state, 0); }
void BM_TextLayoutCentred(benchmark::State& state) { layoutBench(state, 1); }

}  // namespace

BENCHMARK(BM_TextLayoutLeft)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TextLayoutCentred)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchgl::openWindowOrDie();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  Log::Capture quiet;
  Sprite::flush(nullptr);
  Sprite::clear();
  return 0;
}
