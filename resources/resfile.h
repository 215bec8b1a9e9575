// Reader of the engine's resource archives (".crs", magic "CRES", version 2).
// A resource is named "archive path:entry name".
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

// Bytes of a loaded entry, followed by one zero byte (so a text entry is a
// C string). Length is Resfile::lastSize (also returned by size()).
class ResBuffer {
 public:
  ResBuffer() = default;
  ResBuffer(std::unique_ptr<char[]> data, uint32_t size) : data_(std::move(data)), size_(size) {}
  explicit operator bool() const { return data_ != nullptr; }
  char* data() { return data_.get(); }
  const char* data() const { return data_.get(); }
  const uint8_t* bytes() const { return reinterpret_cast<const uint8_t*>(data_.get()); }
  uint32_t size() const { return size_; }
  const char* c_str() const { return data_.get(); }

 private:
  std::unique_ptr<char[]> data_;
  uint32_t size_ = 0;
};

class Resfile {
 public:
  struct Entry {
    uint32_t offset = 0;        // absolute position in the file
    uint32_t size = 0;          // stored size
    uint32_t unpackedSize = 0;  // 0 for a stored entry
    uint8_t flags = 0;          // bit 0: zlib stream
  };

  Resfile();
  ~Resfile();
  Resfile(const Resfile&) = delete;
  Resfile& operator=(const Resfile&) = delete;

  // The shared instance used by nearly every loader.
  static Resfile& instance();

  bool open(const std::string& archivePath);
  // Forgets the open archive, so the next load reads its table again (the
  // file may have been rewritten).
  void close() { forget(); }
  // "archive:entry". A null name fails like a malformed one.
  ResBuffer load(const char* resourceName);
  ResBuffer load(const std::string& resourceName) { return load(resourceName.c_str()); }
  ResBuffer load(const std::string& archivePath, const std::string& entryName);
  ResBuffer load(const std::string& archivePath, uint32_t index);
  bool exists(const std::string& entryName) const;

  uint32_t lastSize = 0;

  const std::string& path() const { return path_; }
  const std::vector<Entry>& entries() const { return entries_; }
  // Entry names in table order (same indexes as entries()).
  const std::vector<std::string>& names() const { return names_; }

 private:
  ResBuffer loadEntry(uint32_t index);
  void forget();

  FILE* file_ = nullptr;
  std::string path_;
  uint32_t length_ = 0;
  uint8_t version_ = 0;
  std::vector<Entry> entries_;
  std::vector<std::string> names_;
  std::map<std::string, uint32_t> index_;
};
