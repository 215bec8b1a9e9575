#include "resources/database.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "base/log.h"
#include "resources/replace_file.h"

namespace {

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

void putU32(std::string& out, uint32_t v) {
  char b[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
               static_cast<char>(v >> 24)};
  out.append(b, 4);
}

void putBytes(std::string& out, const std::string& s) {
  putU32(out, static_cast<uint32_t>(s.size()));
  out += s;
}

// The whole save file in memory: written with one call, read with one call.
std::string serialize(const std::map<std::string, std::string>& strs,
                      const std::map<std::string, int32_t>& vals) {
  size_t total = 8;
  for (const auto& [k, v] : strs) total += 8 + k.size() + v.size();
  for (const auto& kv : vals) total += 8 + kv.first.size();
  std::string out;
  out.reserve(total);
  putU32(out, static_cast<uint32_t>(strs.size()));
  for (const auto& [k, v] : strs) {
    putBytes(out, k);
    putBytes(out, v);
  }
  putU32(out, static_cast<uint32_t>(vals.size()));
  for (const auto& [k, v] : vals) {
    putBytes(out, k);
    putU32(out, static_cast<uint32_t>(v));
  }
  return out;
}

// Cursor over the loaded bytes that never steps past their end.
class Reader {
 public:
  explicit Reader(const std::string& data) : data_(data) {}
  bool u32(uint32_t& v) {
    if (data_.size() - pos_ < 4) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(data_.data() + pos_);
    v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    pos_ += 4;
    return true;
  }
  // A stored text ends at its first zero byte, if it holds one.
  bool text(uint32_t len, std::string& out) {
    if (data_.size() - pos_ < len) return false;
    const char* p = data_.data() + pos_;
    out.assign(p, strnlen(p, len));
    pos_ += len;
    return true;
  }

 private:
  const std::string& data_;
  size_t pos_ = 0;
};

bool readAll(FILE* f, std::string& out) {
  char chunk[65536];
  struct stat st;
  if (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
    out.reserve(static_cast<size_t>(st.st_size));
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) out.append(chunk, n);
  return !std::ferror(f);
}

}  // namespace

Database& Database::instance() {
  static Database db;
  return db;
}

void Database::setVal(const std::string& key, int32_t value) {
  if (key.size() < 2) return;
  vals_[key] = value;
}

int32_t Database::getVal(const std::string& key) const {
  auto it = vals_.find(key);
  return it == vals_.end() ? 0 : it->second;
}

void Database::setStr(const std::string& key, const std::string& value) {
  if (key.size() < 2) return;
  strs_[key] = value;
}

std::string Database::getStr(const std::string& key) const {
  auto it = strs_.find(key);
  return it == strs_.end() ? std::string() : it->second;
}

void Database::clear() {
  vals_.clear();
  strs_.clear();
}

bool Database::save(const std::string& path) const {
  if (path.size() < 2) return false;
  switch (replaceFile(path, serialize(strs_, vals_), true)) {
    case ReplaceResult::Replaced:
      return true;
    case ReplaceResult::InPlace:
      Log::info("Database.save: Folder tylko do odczytu, zapis wprost do pliku \"%s\"\n",
                path.c_str());
      return true;
    case ReplaceResult::CannotCreate:
      Log::fail("Database.save: Nie udalo sie otworzyc pliku");
      return false;
    default:
      Log::fail("Database.save: Zapis nie powiodl sie (str)");
      return false;
  }
}

bool Database::load(const std::string& path) {
  if (path.size() < 2) return false;
  clear();
  std::string data;
  {
    FilePtr f(std::fopen(path.c_str(), "rb"));
    if (!f) {
      Log::fail("Database.load: Nie udalo sie otworzyc pliku");
      return false;
    }
    if (!readAll(f.get(), data)) {
      Log::fail("Database.load: Nie udalo sie odczytac pliku");
      return false;
    }
  }

  Reader in(data);
  std::string key, value;
  uint32_t count, len;
  // Keys arrive in ascending order, so inserting at the end is the cheap path.
  if (!in.u32(count)) goto truncated;
  for (uint32_t i = 0; i < count; ++i) {
    if (!in.u32(len)) goto truncated;
    if (len == 0) {
      Log::fail("Database.load: Zerowa dlugosc klucza (str)");
      return false;
    }
    if (!in.text(len, key) || !in.u32(len) || !in.text(len, value)) goto truncated;
    // An empty value is a legitimate entry (setStr(k, "") saves it so).
    if (key.size() >= 2) strs_.insert_or_assign(strs_.end(), key, value);
  }
  if (!in.u32(count)) goto truncated;
  for (uint32_t i = 0; i < count; ++i) {
    if (!in.u32(len)) goto truncated;
    if (len == 0) {
      Log::fail("Database.load: Zerowa dlugosc kluczan (val)");
      return false;
    }
    uint32_t v;
    if (!in.text(len, key) || !in.u32(v)) goto truncated;
    if (key.size() >= 2) vals_.insert_or_assign(vals_.end(), key, static_cast<int32_t>(v));
  }
  return true;

truncated:
  Log::fail("Database.load: Plik uciety");
  return false;
}
