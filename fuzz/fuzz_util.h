// Shared by the fuzz targets: the readers under test take file names, so
// inputs are written to per-process scratch files first.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>

#include "base/log.h"

namespace fuzz {

inline std::string text(const uint8_t* data, size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

// The process's own scratch folder, memory-backed when possible (the save
// path syncs to disk on every call), removed when the process ends. Private,
// so that a reader scanning its folder (the save looks for stale temporary
// files) sees only this run's files, however many runs came before.
inline const std::string& scratchRoot() {
  // Never destroyed: the exit handler runs after static destructors would.
  static const std::string& root = *new std::string([] {
    const char* tmp = std::getenv("TMPDIR");
    const std::string base = tmp && *tmp ? tmp : (::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
    const std::string dir = base + "/tervalo_fuzz_" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(scratchRoot(), ec);
    });
    return dir;
  }());
  return root;
}

inline std::string scratchPath(const char* tag, const char* ext = "") {
  return scratchRoot() + "/" + tag + ext;
}

inline bool writeFile(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

// Makes a private scratch folder with `subdirs` the working folder, so that
// what a reader looks up relative to it stays out of the repository's reach.
inline std::string enterScratchDir(const char* tag, std::initializer_list<const char*> subdirs = {}) {
  const std::string dir = scratchPath(tag);
  std::filesystem::create_directories(dir);
  for (const char* sub : subdirs) std::filesystem::create_directories(dir + "/" + sub);
  std::filesystem::current_path(dir);
  return dir;
}

}  // namespace fuzz

// Starts a target whose reader takes a file name: the input as the scratch
// file `path` (tag and extension name it), console lines silenced.
#define FUZZ_INPUT_FILE(path, tag, ext)                                   \
  static const std::string path = fuzz::scratchPath(tag, ext);            \
  if (!fuzz::writeFile(path, fuzz::text(data, size))) return 0;           \
  Log::Capture quiet
