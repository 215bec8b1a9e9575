// Save file of 100 000 keys (50 000 strings, 50 000 integers): save and load
// through Database, against writing/reading the same bytes with plain stdio.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iterator>
#include <fstream>

#include "resources/database.h"

namespace fs = std::filesystem;

namespace {

const std::string& dir() {
  static std::string d = [] {
    fs::path p = fs::temp_directory_path() / ("tervalo_bench_db_" + std::to_string(::getpid()));
    fs::create_directories(p);
    return p.string();
  }();
  return d;
}

Database& filled() {
  static Database db;
  if (db.vals().empty()) {
    char key[48];
    for (int i = 0; i < 50000; ++i) {
      std::snprintf(key, sizeof key, "quest_%05d_state", i);
      db.setStr(key, "npc_dialog_" + std::to_string(i * 7));
      std::snprintf(key, sizeof key, "counter_%05d", i);
      db.setVal(key, i * 3 - 7);
    }
  }
  return db;
}

void BM_Save(benchmark::State& state) {
  Database& db = filled();
  const std::string path = dir() + "/sav01.bin";
  for (auto _ : state)
    if (!db.save(path)) state.SkipWithError("save failed");
  state.counters["bytes"] = static_cast<double>(fs::file_size(path));
}

// The same bytes written in one call, flushed to disk and renamed the way a
// save does it: what the file system costs on its own.
void BM_SaveBaseline_WriteSyncRename(benchmark::State& state) {
  Database& db = filled();
  const std::string path = dir() + "/sav01.bin";
  db.save(path);
  std::ifstream in(path, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const std::string tmp = dir() + "/plain.tmp", dst = dir() + "/plain.bin";
  for (auto _ : state) {
    FILE* f = std::fopen(tmp.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fflush(f);
    fsync(fileno(f));
    std::fclose(f);
    std::rename(tmp.c_str(), dst.c_str());
  }
}

void BM_Load(benchmark::State& state) {
  const std::string path = dir() + "/sav01.bin";
  filled().save(path);
  Database db;
  for (auto _ : state)
    if (!db.load(path) || db.vals().size() != 50000) state.SkipWithError("load failed");
}

void BM_LoadBaseline_ReadFile(benchmark::State& state) {
  const std::string path = dir() + "/sav01.bin";
  filled().save(path);
  std::vector<char> buf(fs::file_size(path));
  for (auto _ : state) {
    FILE* f = std::fopen(path.c_str(), "rb");
    benchmark::DoNotOptimize(std::fread(buf.data(), 1, buf.size(), f));
    std::fclose(f);
  }
}

}  // namespace

BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveBaseline_WriteSyncRename)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadBaseline_ReadFile)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(dir());
  return 0;
}
