// Tiled maps (TMX when the input begins with '<', JSON otherwise) read and built into a level;
// the files a map names (tilesets, picture, animations) come from memory, never from the disk.
#include <vector>

#include "fuzz/fuzz_util.h"
#include "maps/level_import.h"
#include "maps/tiled_map.h"
#include "unit/tiled_maker.h"

static bool memoryFiles(const std::string& path, std::string& out) {
  static const std::string png = tiledtest::sheetPng();
  const std::string ext = path.substr(std::min(path.size(), path.rfind('.')));
  if (ext == ".tsx") out = tiledtest::kTsx;
  else if (ext == ".tsj") out = tiledtest::kTsj;
  else if (ext == ".png") out = png;
  else if (ext == ".txt") out = "anim 0 0 32 32 1\n";
  else if (ext == ".lua") out = "function start() end\n";
  else return false;
  return true;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tiled::Map map;
  std::vector<std::string> errors;
  if (tiled::parseMap(fuzz::text(data, size), "maps/m.tmx", map, errors, memoryFiles)) {
    tiled::LevelPack pack;
    tiled::buildLevel(map, "data/m.crs", "lvl", pack, errors, memoryFiles);
  }
  return 0;
}
