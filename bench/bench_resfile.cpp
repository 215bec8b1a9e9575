// Archive reading against plain stdio + zlib on the same bytes.
//   bench_resfile --benchmark_filter=Load   64 MiB archive, 1000 entries, half zlib
//   bench_resfile --benchmark_filter=Open   table of 100 000 entries
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>

#include "base/log.h"
#include "resources/resfile.h"
#include "resources/resfile_writer.h"

namespace fs = std::filesystem;

namespace {

struct Archive {
  std::string path;
  std::vector<std::string> names;
  std::vector<uint32_t> offsets, stored, unpacked;
  std::vector<bool> compressed;
  uint32_t tableEnd = 0;
};

fs::path scratchDir() {
  static fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("tervalo_bench_res_" + std::to_string(::getpid()));
    fs::create_directories(d);
    std::atexit([] { fs::remove_all(fs::temp_directory_path() / ("tervalo_bench_res_" + std::to_string(::getpid()))); });
    return d;
  }();
  return dir;
}

// Keeps what a baseline reader needs to know about the table.
Archive describe(const std::string& path, const ResfileWriter& w) {
  Archive a;
  a.path = path;
  size_t table = 13;
  for (const auto& it : w.items()) table += (it.compressed ? 17 : 13) + it.name.size();
  a.tableEnd = static_cast<uint32_t>(table);
  uint32_t off = a.tableEnd;
  for (const auto& it : w.items()) {
    a.names.push_back(it.name);
    a.offsets.push_back(off);
    a.stored.push_back(static_cast<uint32_t>(it.data.size()));
    a.unpacked.push_back(it.rawSize);
    a.compressed.push_back(it.compressed);
    off += static_cast<uint32_t>(it.data.size());
  }
  return a;
}

// 1000 entries, about 64 MiB on disk: even entries 64 KiB of noise stored as
// they are, odd ones 128 KiB of low-entropy bytes that zlib halves.
const Archive& bigArchive() {
  static Archive a = [] {
    std::mt19937 rng(7);
    ResfileWriter w(1);
    char name[32];
    for (int i = 0; i < 1000; ++i) {
      const bool z = i % 2;
      std::string data(z ? 128 * 1024 : 64 * 1024, '\0');
      for (auto& c : data) c = static_cast<char>(z ? 'a' + rng() % 16 : rng());
      std::snprintf(name, sizeof name, "entry_%04d.bin", i);
      w.add(name, data, z ? ResfileWriter::Compression::Always : ResfileWriter::Compression::Never);
    }
    const std::string path = (scratchDir() / "big.crs").string();
    w.write(path);
    return describe(path, w);
  }();
  return a;
}

const Archive& wideArchive() {
  static Archive a = [] {
    ResfileWriter w;
    char name[32];
    for (int i = 0; i < 100000; ++i) {
      std::snprintf(name, sizeof name, "sprite_%06d.png", i);
      w.add(name, std::string(16, 'x'), ResfileWriter::Compression::Never);
    }
    const std::string path = (scratchDir() / "wide.crs").string();
    w.write(path);
    return describe(path, w);
  }();
  return a;
}

void BM_LoadAll_Resfile(benchmark::State& state) {
  const Archive& a = bigArchive();
  Resfile res;
  uint64_t bytes = 0;
  for (auto _ : state) {
    for (const auto& n : a.names) {
      ResBuffer b = res.load(a.path, n);
      if (!b) state.SkipWithError("load failed");
      bytes += b.size();
      benchmark::DoNotOptimize(b.data());
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

// The same reads done by hand: fseek + fread into a fresh buffer, and
// zlib's uncompress into another for the compressed half.
void BM_LoadAll_Baseline(benchmark::State& state) {
  const Archive& a = bigArchive();
  FILE* f = std::fopen(a.path.c_str(), "rb");
  uint64_t bytes = 0;
  for (auto _ : state) {
    for (size_t i = 0; i < a.names.size(); ++i) {
      std::unique_ptr<char[]> in(new char[a.stored[i] + 1]);
      fseeko(f, a.offsets[i], SEEK_SET);
      if (std::fread(in.get(), 1, a.stored[i], f) != a.stored[i]) state.SkipWithError("read failed");
      in[a.stored[i]] = 0;
      if (a.compressed[i]) {
        std::unique_ptr<char[]> out(new char[a.unpacked[i] + 1]);
        uLongf len = a.unpacked[i];
        if (uncompress(reinterpret_cast<Bytef*>(out.get()), &len,
                       reinterpret_cast<const Bytef*>(in.get()), a.stored[i]) != Z_OK)
          state.SkipWithError("inflate failed");
        out[len] = 0;
        bytes += len;
        benchmark::DoNotOptimize(out.get());
      } else {
        bytes += a.stored[i];
        benchmark::DoNotOptimize(in.get());
      }
    }
  }
  std::fclose(f);
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

// Open and drop, as when a load switches to another archive.
void BM_Open100k_Resfile(benchmark::State& state) {
  const Archive& a = wideArchive();
  for (auto _ : state) {
    Resfile res;
    if (!res.open(a.path) || res.entries().size() != 100000) state.SkipWithError("open failed");
    benchmark::DoNotOptimize(res.exists("sprite_050000.png"));
  }
}

// Open alone: the table and index are torn down outside the timing.
void BM_Open100k_ResfileNoTeardown(benchmark::State& state) {
  const Archive& a = wideArchive();
  for (auto _ : state) {
    auto res = std::make_unique<Resfile>();
    if (!res->open(a.path) || res->entries().size() != 100000) state.SkipWithError("open failed");
    benchmark::DoNotOptimize(res->exists("sprite_050000.png"));
    state.PauseTiming();
    res.reset();
    state.ResumeTiming();
  }
}

// Reading the table's bytes alone, with no parsing and no index.
void BM_Open100k_TableBytes(benchmark::State& state) {
  const Archive& a = wideArchive();
  std::vector<char> buf(a.tableEnd);
  for (auto _ : state) {
    FILE* f = std::fopen(a.path.c_str(), "rb");
    if (!f || std::fread(buf.data(), 1, buf.size(), f) != buf.size()) state.SkipWithError("read failed");
    std::fclose(f);
    benchmark::DoNotOptimize(buf.data());
  }
}

}  // namespace

BENCHMARK(BM_LoadAll_Baseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadAll_Resfile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Open100k_TableBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Open100k_Resfile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Open100k_ResfileNoTeardown)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
