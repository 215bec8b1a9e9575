// A Tiled map as the level importer sees it, read from either of Tiled's own
// formats: TMX (XML) or JSON, with tilesets embedded or in .tsx/.tsj files.
// Every element remembers where it was read ("map.tmx:12" for XML,
// "map.tmj:/layers/2" for JSON), so that problems name the spot.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tiled {

// Tiled's flip bits in a global tile id; the rest is the id.
constexpr uint32_t kFlipH = 0x80000000u, kFlipV = 0x40000000u, kFlipD = 0x20000000u,
                   kRotHex = 0x10000000u;
constexpr uint32_t kFlipBits = kFlipH | kFlipV | kFlipD | kRotHex;

// Cells a map may hold in all its tile layers together (a guard against
// hostile sizes; a level of 2 000 frames holds 600 000).
constexpr uint64_t kMaxCells = 1u << 24;

struct Property {
  std::string name, type, value, where;  // type as Tiled writes it: string, int, file, ...
};

struct Properties {
  std::vector<Property> list;
  const Property* find(const std::string& name) const {
    for (const auto& p : list)
      if (p.name == name) return &p;
    return nullptr;
  }
};

struct TileInfo {
  uint32_t id = 0;
  std::string type;      // Tiled's type/class of the tile
  bool animated = false;
  bool shapes = false;   // collision shapes drawn in Tiled's collision editor
  std::string where;
};

struct Tileset {
  std::string where;     // the map's reference to it
  std::string file;      // the .tsx/.tsj file, empty when embedded
  uint32_t firstgid = 0;
  std::string name;
  int tileW = 0, tileH = 0, spacing = 0, margin = 0, columns = 0;
  uint32_t tilecount = 0;
  std::string image;     // picture path, resolved against the file naming it
  std::string imageWhere;
  int offsetX = 0, offsetY = 0;
  std::vector<TileInfo> tiles;  // tiles with something of their own
};

// A rectangle of cells: the whole layer for a fixed-size map, or one chunk
// of an infinite one. Cells row by row, Tiled's global ids with flip bits.
struct Chunk {
  int x = 0, y = 0, w = 0, h = 0;
  std::vector<uint32_t> gids;
  std::string where;
};

struct MapObject {
  std::string where, name, type;
  uint32_t id = 0;
  double x = 0, y = 0;
  uint32_t gid = 0;
  Properties props;
};

struct Layer {
  enum class Kind { Tiles, Objects, Image, Group };
  Kind kind = Kind::Tiles;
  std::string where, name;
  double parallaxX = 1, parallaxY = 1, opacity = 1, offsetX = 0, offsetY = 0;
  std::string tint;
  Properties props;
  std::vector<Chunk> chunks;        // tile layers
  std::vector<MapObject> objects;   // object layers
  std::vector<Layer> children;      // groups, in drawing order
};

struct Map {
  std::string file, where;
  std::string orientation;
  int tileW = 0, tileH = 0, width = 0, height = 0;
  bool infinite = false;
  Properties props;
  std::vector<Tileset> tilesets;
  std::vector<Layer> layers;        // drawing order: first is bottom
};

// Reads a whole file; false when it cannot. Tests and the fuzz target pass
// their own to keep the reader off the disk.
using FileReader = std::function<bool(const std::string& path, std::string& out)>;
bool readDiskFile(const std::string& path, std::string& out);

// The directory part of a path ("" for a bare name) and a relative path
// joined onto it (absolute paths stay as they are).
std::string dirOf(const std::string& path);
std::string joinPath(const std::string& dir, const std::string& rel);

// Reads the map at `path`, TMX or JSON whatever its extension (the first
// character decides), with its external tilesets. On failure `errors` holds
// "where: what" lines.
bool readMap(const std::string& path, Map& out, std::vector<std::string>& errors,
             const FileReader& files = readDiskFile);
// The same from text already in memory; `path` names it in messages and
// anchors relative paths.
bool parseMap(const std::string& text, const std::string& path, Map& out,
              std::vector<std::string>& errors, const FileReader& files = readDiskFile);

}  // namespace tiled
