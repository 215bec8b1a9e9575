// Tiled maps (TMX when the input begins with '<', JSON otherwise) read and built into a level;
// the files a map names (tilesets, picture, animations) come from memory, never from the disk.
#include <cstdint>
#include <string>
#include <vector>

#include "maps/level_import.h"
#include "maps/tiled_map.h"
#include "unit/tiled_maker.h"

namespace {

bool endsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool memoryFiles(const std::string& path, std::string& out) {
  static const std::string png = tiledtest::sheetPng();
  if (endsWith(path, ".tsx")) out = tiledtest::kTsx;
  else if (endsWith(path, ".tsj")) out = tiledtest::kTsj;
  else if (endsWith(path, ".png")) out = png;
  else if (endsWith(path, ".txt")) out = "anim 0 0 32 32 1\n";
  else if (endsWith(path, ".lua")) out = "function start() end\n";
  else return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  tiled::Map map;
  std::vector<std::string> errors;
  if (tiled::parseMap(text, "maps/m.tmx", map, errors, memoryFiles)) {
    tiled::LevelPack pack;
    tiled::buildLevel(map, "data/m.crs", "lvl", pack, errors, memoryFiles);
  }
  return 0;
}
