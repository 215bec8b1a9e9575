// Builds resource archives (".crs", version 2) for the archive tool, tests and
// benchmarks. The game itself only reads archives.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class ResfileWriter {
 public:
  enum class Compression {
    Auto,    // zlib only when the stream is smaller than the raw bytes
    Always,  // zlib whatever the outcome
    Never,   // stored as they are
  };

  struct Item {
    std::string name;
    std::string data;        // bytes as they go into the file
    uint32_t rawSize = 0;    // size before compression
    bool compressed = false;
  };

  explicit ResfileWriter(int zlibLevel = 6) : level_(zlibLevel) {}

  // Adds an entry; entries are written in the order they were added.
  // Returns false (and adds nothing) when zlib fails.
  bool add(const std::string& name, const std::string& bytes, Compression mode = Compression::Auto);
  const std::vector<Item>& items() const { return items_; }

  // The complete archive image: header, table, data.
  std::string build() const;
  // Writes the archive (a temporary file beside it, renamed into place, so
  // a failed write leaves an existing archive as it was); on failure
  // `error` says why.
  bool write(const std::string& path, std::string* error = nullptr) const;

 private:
  int level_;
  std::vector<Item> items_;
};
