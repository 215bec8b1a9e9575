// `crs untiled`: a level archive written back out as a Tiled map (TMX) with
// its tilesets (TSX) and the pictures, scripts and files it needs in a folder
// beside the map, so that levels made by hand or by a generator can be
// opened in Tiled. Importing that map again gives the same level.
#pragma once

#include <string>
#include <vector>

namespace tiled {

struct ExportReport {
  size_t frames = 0, layers = 0, objects = 0, npcs = 0;
};

// `level` is ARCHIVE:ENTRY as on disk; the game folder (for npc/ and lua/
// lists and other archives) is found as for `crs tiled`, or `gameDirOpt`.
bool exportLevel(const std::string& level, const std::string& mapPath,
                 const std::string& gameDirOpt, ExportReport& report,
                 std::vector<std::string>& errors);

}  // namespace tiled
