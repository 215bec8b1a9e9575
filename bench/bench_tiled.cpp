// Importing Tiled maps against packing the same entries with `crs pack`:
//   bench_tiled --benchmark_filter=Demo     the demo's level, exported from the laid-out game
//   bench_tiled --benchmark_filter=Frames   a generated map of 200 frames (400 x 150 tiles)
// Tiled* reads the map and writes the archive and the lists (crs tiled);
// Pack* reads the archive's entries from a folder and writes them as one
// archive (crs pack -q), in the same run.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "base/log.h"
#include "maps/level_export.h"
#include "maps/level_import.h"
#include "resources/resfile.h"
#include "resources/resfile_writer.h"

namespace fs = std::filesystem;

namespace {

struct Case {
  std::string map, entries;  // the map; a folder with the archive's entries as files
  fs::path dir;
};

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Imports once and spreads the archive's entries into a folder for Pack.
void spread(Case& c) {
  tiled::LevelPack pack;
  std::vector<std::string> errors;
  const std::string out = (c.dir / "once" / "data" / "x.crs").string();
  if (!tiled::importMap(c.map, out, "lvl", "", pack, errors)) {
    std::fprintf(stderr, "bench_tiled: %s\n", errors.empty() ? "?" : errors[0].c_str());
    std::exit(1);
  }
  c.entries = (c.dir / "entries").string();
  fs::create_directories(c.entries);
  for (const auto& e : pack.entries) std::ofstream(c.entries + "/" + e.first, std::ios::binary) << e.second;
}

Case& demo() {
  static Case c = [] {
    Case k;
    k.dir = fs::temp_directory_path() / ("tervalo_bench_tiled_demo_" + std::to_string(::getpid()));
    fs::create_directories(k.dir);
    k.map = (k.dir / "demo.tmx").string();
    tiled::ExportReport r;
    std::vector<std::string> errors;
    const std::string lvl = std::string(TERVALO_GAME_DIR) + "/data/lvl/miedzyczas.crs:lvl";
    if (!tiled::exportLevel(lvl, k.map, "", r, errors)) {
      std::fprintf(stderr, "bench_tiled: %s\n", errors.empty() ? "?" : errors[0].c_str());
      std::exit(1);
    }
    spread(k);
    return k;
  }();
  return c;
}

// 20 x 10 frames, every cell of the lower half of each frame a tile of the
// demo's terrain sheet (the sheet comes from the demo's export).
Case& frames200() {
  static Case c = [] {
    Case k;
    demo();
    k.dir = demo().dir / "big";
    fs::create_directories(k.dir);
    k.map = (k.dir / "big.tmx").string();
    const int w = 20 * 20, h = 10 * 15;
    std::mt19937 rng(7);
    std::string csv;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        csv += std::to_string(y % 15 >= 7 ? 2 + rng() % 100 : 0);
        if (x + 1 < w || y + 1 < h) csv += ",";
      }
      csv += "\n";
    }
    std::ofstream(k.map) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                            "<map version=\"1.8\" orientation=\"orthogonal\" renderorder=\"right-down\" width=\""
                         << w << "\" height=\"" << h
                         << "\" tilewidth=\"32\" tileheight=\"32\" infinite=\"0\">\n"
                            " <properties><property name=\"sky\" type=\"file\" value=\"../demo/sky_day.png\"/></properties>\n"
                            " <tileset firstgid=\"1\" source=\"../demo/tiles.tsx\"/>\n"
                            " <layer id=\"1\" name=\"ground\" width=\""
                         << w << "\" height=\"" << h << "\">\n  <data encoding=\"csv\">\n"
                         << csv << "</data>\n </layer>\n</map>\n";
    spread(k);
    return k;
  }();
  return c;
}

void tiledImport(benchmark::State& state, Case& c) {
  const std::string out = (c.dir / "game" / "data" / "x.crs").string();
  for (auto _ : state) {
    tiled::LevelPack pack;
    std::vector<std::string> errors;
    if (!tiled::importMap(c.map, out, "lvl", "", pack, errors)) state.SkipWithError("import failed");
    state.counters["frames"] = double(pack.frames);
  }
}

// What `crs pack -q OUT DIR` does: the folder's files sorted by name, each
// compressed when that makes it smaller, written as one archive.
void pack(benchmark::State& state, Case& c) {
  const std::string out = (c.dir / "packed.crs").string();
  for (auto _ : state) {
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(c.entries)) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    ResfileWriter w(9);
    for (const auto& f : files) w.add(f.filename().string(), slurp(f));
    if (!w.write(out)) state.SkipWithError("pack failed");
  }
}

void BM_DemoTiled(benchmark::State& s) { tiledImport(s, demo()); }
void BM_DemoPack(benchmark::State& s) { pack(s, demo()); }
void BM_Frames200Tiled(benchmark::State& s) { tiledImport(s, frames200()); }
void BM_Frames200Pack(benchmark::State& s) { pack(s, frames200()); }

BENCHMARK(BM_DemoTiled)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DemoPack)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Frames200Tiled)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Frames200Pack)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(fs::temp_directory_path() / ("tervalo_bench_tiled_demo_" + std::to_string(::getpid())));
  return 0;
}
