// `crs tiled`: a Tiled map becomes a level archive (level file, block files,
// tile sheets with their animation definitions, skies, sprites, scripts) and
// the character and script lists of the game folder (npc/list.ini,
// npc/<name>, lua/list.ini). Every refused feature of the map is reported
// with the place it was read from; then nothing is written.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "maps/tiled_map.h"

namespace tiled {

// Level geometry the map is cut into.
constexpr int kTile = 32, kFrameCols = 20, kFrameRows = 15;
constexpr int kFrameW = kTile * kFrameCols, kFrameH = kTile * kFrameRows;
constexpr int kFrameCells = kFrameCols * kFrameRows;

// A change to one section of an INI file of the game folder.
struct IniChange {
  std::string file;     // under the game folder: "npc/list.ini"
  std::string section;
  // true: the section becomes exactly `values` (and goes away when they are
  // none); false: only the keys of `values` are set, the rest stays.
  bool wholeSection = false;
  std::vector<std::pair<std::string, std::string>> values;
};

struct LevelPack {
  std::string levelName;  // "data/lvl/name.crs:lvl", as the game names the level
  std::vector<std::pair<std::string, std::string>> entries;  // archive entries, in order
  std::vector<IniChange> ini;
  std::vector<std::string> warnings;  // things ignored on purpose (unknown properties)
  size_t frames = 0, objects = 0, npcs = 0;
};

// Builds the level `archive`:`entry` (the archive's path as the game names
// it) from a map already read. False with `errors` when the map cannot be a
// level; every problem found is listed, not only the first.
bool buildLevel(const Map& map, const std::string& archive, const std::string& entry,
                LevelPack& out, std::vector<std::string>& errors,
                const FileReader& files = readDiskFile);

// The game folder the archive `out` belongs to and the archive's path as the
// game names it: with `gameDirOpt` empty, the folder holding the nearest
// "data" folder above the archive (else the archive's own folder).
bool gamePaths(const std::string& out, const std::string& gameDirOpt, std::string& gameDir,
               std::string& archiveName, std::string& error);

// Changes an INI file's text as `change` says.
std::string editIni(const std::string& text, const IniChange& change);

// The whole command: read, build, then write the archive and the INI files.
bool importMap(const std::string& mapPath, const std::string& out, const std::string& entry,
               const std::string& gameDirOpt, LevelPack& pack, std::vector<std::string>& errors);

// Width and height of a PNG from its header; false when it is none.
bool pngSize(const std::string& bytes, int& w, int& h);

// A name usable as an archive entry and a level file word: letters, digits,
// '_' and '-' kept, anything else '_'.
std::string safeName(const std::string& s);

}  // namespace tiled
