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

// Memory-backed when possible: the save path syncs to disk on every call.
inline std::string scratchPath(const char* tag, const char* ext = "") {
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = tmp && *tmp ? tmp : (::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
  return dir + "/tervalo_fuzz_" + tag + "_" + std::to_string(::getpid()) + ext;
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
