#include "resources/resfile_writer.h"

#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "resources/replace_file.h"

namespace {

void putU32(std::string& out, uint32_t v) {
  const char b[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                     static_cast<char>(v >> 24)};
  out.append(b, 4);
}


}  // namespace

bool ResfileWriter::add(const std::string& name, const std::string& bytes, Compression mode) {
  Item item;
  item.name = name;
  item.rawSize = static_cast<uint32_t>(bytes.size());
  if (mode != Compression::Never) {
    uLongf packedLen = compressBound(bytes.size());
    std::string packed(packedLen, '\0');
    if (compress2(reinterpret_cast<Bytef*>(&packed[0]), &packedLen,
                  reinterpret_cast<const Bytef*>(bytes.data()), bytes.size(), level_) != Z_OK)
      return false;
    if (mode == Compression::Always || packedLen < bytes.size()) {
      packed.resize(packedLen);
      item.data = std::move(packed);
      item.compressed = true;
    }
  }
  if (!item.compressed) item.data = bytes;
  items_.push_back(std::move(item));
  return true;
}

std::string ResfileWriter::build() const {
  size_t tableSize = 0, dataSize = 0;
  for (const Item& it : items_) {
    tableSize += (it.compressed ? 17 : 13) + it.name.size();
    dataSize += it.data.size();
  }
  std::string out;
  out.reserve(13 + tableSize + dataSize);
  out.append("CRES", 4);
  out.push_back(2);
  putU32(out, static_cast<uint32_t>(13 + tableSize));  // data follow the table
  putU32(out, static_cast<uint32_t>(items_.size()));
  uint32_t rel = 0;
  for (const Item& it : items_) {
    putU32(out, rel);
    putU32(out, static_cast<uint32_t>(it.data.size()));
    out.push_back(it.compressed ? 1 : 0);
    if (it.compressed) putU32(out, it.rawSize);
    putU32(out, static_cast<uint32_t>(it.name.size()));
    out += it.name;
    rel += static_cast<uint32_t>(it.data.size());
  }
  for (const Item& it : items_) out += it.data;
  return out;
}

bool ResfileWriter::write(const std::string& path, std::string* error) const {
  // Beside the target and renamed over it: an archive that cannot be
  // written whole keeps its old contents.
  return replaceFile(path, build(), false, error) == ReplaceResult::Replaced;
}
