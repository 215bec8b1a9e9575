// Shared by the fuzz targets: the readers under test take file names, so
// every input is written to a per-process scratch file first.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

// Memory-backed when possible: the save path syncs to disk on every call.
inline std::string scratchPath(const char* tag) {
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = tmp && *tmp ? tmp : (::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
  return dir + "/tervalo_fuzz_" + tag + "_" +
         std::to_string(::getpid());
}

inline bool writeFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

}  // namespace fuzz
