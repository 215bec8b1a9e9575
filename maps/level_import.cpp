// Map -> level: see level_import.h for what goes where, docs/tiled.md for the
// game maker's side of it.
#include "maps/level_import.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "resources/replace_file.h"
#include "resources/resfile_writer.h"

namespace fs = std::filesystem;

namespace tiled {

bool pngSize(const std::string& b, int& w, int& h) {
  if (b.size() < 24 || b.compare(0, 8, "\x89PNG\r\n\x1a\n", 8) != 0 || b.compare(12, 4, "IHDR") != 0)
    return false;
  auto be = [&](size_t o) {
    return uint32_t(uint8_t(b[o])) << 24 | uint32_t(uint8_t(b[o + 1])) << 16 |
           uint32_t(uint8_t(b[o + 2])) << 8 | uint32_t(uint8_t(b[o + 3]));
  };
  const uint32_t uw = be(16), uh = be(20);
  if (uw == 0 || uh == 0 || uw > 1u << 16 || uh > 1u << 16) return false;
  w = int(uw);
  h = int(uh);
  return true;
}

std::string safeName(const std::string& s) {
  std::string out;
  for (char c : s)
    out += (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-') ? c : '_';
  return out.empty() ? "_" : out;
}

namespace {

// Layer numbers as the level file prints them: 1.0, 0.25.
std::string factor(double v) {
  char buf[32];
  if (v == std::floor(v)) std::snprintf(buf, sizeof buf, "%.1f", v);
  else std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

std::string stemOf(const std::string& path) {
  std::string base = path.substr(path.find_last_of('/') + 1);
  const size_t dot = base.find_last_of('.');
  if (dot != std::string::npos && dot > 0) base.resize(dot);
  return base;
}

struct FlatLayer {
  const Layer* layer;
  double px, py;
  int engineLayer = 0;
};

class Builder {
 public:
  Builder(const Map& map, const std::string& archive, const std::string& entry, LevelPack& out,
          std::vector<std::string>& errors, const FileReader& files)
      : map_(map), archive_(archive), entry_(entry), out_(out), errors_(errors), files_(files) {}

  bool run() {
    out_ = LevelPack();
    out_.levelName = archive_ + ":" + entry_;
    checkMap();
    flatten(map_.layers, 1.0, 1.0);
    assignLayers();
    const std::string sky = mapSky();
    readSkyAreas();
    std::string frames, objs;
    for (const auto& fl : flat_) {
      if (fl.layer->kind == Layer::Kind::Tiles) frames += tileLayer(fl, sky);
      else objs += objectLayer(fl);
    }
    std::string text =
        "-- Level made by crs tiled from a Tiled map: edit the map, not this file.\n";
    text += preloads();
    text += frames + objs + scripts();
    luaList();
    npcList();
    if (out_.frames == 0 && errors_.empty())
      fail(map_.where, "the map has no tiles: a level needs at least one frame of blocks");
    if (!errors_.empty()) return false;
    entries_.insert(entries_.begin(), {entry_ + ".txt", text});
    out_.entries = std::move(entries_);
    return true;
  }

 private:
  void fail(const std::string& where, const std::string& what) {
    errors_.push_back(where + ": " + what);
  }

  void checkMap() {
    if (map_.orientation != "orthogonal")
      fail(map_.where, "orientation is \"" + map_.orientation +
                           "\"; only orthogonal maps become levels");
    if (map_.tileW != kTile || map_.tileH != kTile)
      fail(map_.where, "tiles are " + std::to_string(map_.tileW) + " x " +
                           std::to_string(map_.tileH) + " pixels; levels are built of 32 x 32 tiles");
    static const std::set<std::string> known = {"sky", "skies", "script", "call", "always",
                                                "alwaysFile", "preload", "pack"};
    warnUnknown(map_.props, known, "map");
  }

  void warnUnknown(const Properties& props, const std::set<std::string>& known,
                   const std::string& what) {
    for (const auto& p : props.list)
      if (!known.count(p.name))
        out_.warnings.push_back(p.where + ": property \"" + p.name + "\" of the " + what +
                                " means nothing to the level; ignored");
  }

  void flatten(const std::vector<Layer>& layers, double px, double py) {
    for (const auto& l : layers) {
      if (l.offsetX != 0 || l.offsetY != 0)
        fail(l.where, "layer \"" + l.name + "\" is offset; levels have no layer offsets (move its tiles instead)");
      if (l.opacity != 1)
        fail(l.where, "layer \"" + l.name + "\" is not opaque; blocks and objects are drawn opaque");
      if (!l.tint.empty() && l.tint != "#ffffff" && l.tint != "#ffffffff")
        fail(l.where, "layer \"" + l.name + "\" has a tint colour; levels draw tiles untinted");
      switch (l.kind) {
        case Layer::Kind::Group:
          flatten(l.children, px * l.parallaxX, py * l.parallaxY);
          break;
        case Layer::Kind::Image:
          fail(l.where, "image layer \"" + l.name +
                            "\": levels have no image layers (use the map's sky property or a tile layer)");
          break;
        default:
          flat_.push_back({&l, px * l.parallaxX, py * l.parallaxY});
      }
    }
  }

  bool intProp(const Properties& props, const std::string& name, long long& out, long long lo,
               long long hi) {
    const Property* p = props.find(name);
    if (!p) return false;
    char* end = nullptr;
    const long long v = std::strtoll(p->value.c_str(), &end, 10);
    if (p->value.empty() || *end || v < lo || v > hi) {
      fail(p->where, "property \"" + name + "\" must be a whole number from " +
                         std::to_string(lo) + " to " + std::to_string(hi) + ", not \"" +
                         p->value + "\"");
      return false;
    }
    out = v;
    return true;
  }

  bool boolProp(const Properties& props, const std::string& name, bool def) {
    const Property* p = props.find(name);
    if (!p) return def;
    if (p->value == "true" || p->value == "1") return true;
    if (p->value == "false" || p->value == "0") return false;
    fail(p->where, "property \"" + name + "\" must be true or false, not \"" + p->value + "\"");
    return def;
  }

  // Drawing order: the last tile layer below the first object layer is
  // layer 0, those under it 1, 2, ..., those above the objects -1, -2, ...
  // A layer's own "layer" property wins.
  void assignLayers() {
    int objIdx = -1;
    for (size_t i = 0; i < flat_.size(); ++i)
      if (flat_[i].layer->kind == Layer::Kind::Objects) {
        objIdx = int(i);
        break;
      }
    std::vector<size_t> below, above;
    for (size_t i = 0; i < flat_.size(); ++i) {
      if (flat_[i].layer->kind != Layer::Kind::Tiles) continue;
      (objIdx < 0 || int(i) < objIdx ? below : above).push_back(i);
    }
    int n = 0;
    for (auto it = below.rbegin(); it != below.rend(); ++it) flat_[*it].engineLayer = n++;
    n = below.empty() ? 0 : -1;
    for (size_t i : above) flat_[i].engineLayer = n--;
    int lastTiles = 0;
    for (auto& fl : flat_) {
      long long v;
      if (intProp(fl.layer->props, "layer", v, -1000000, 1000000)) fl.engineLayer = int(v);
      // Objects stand in the layer of the tiles under them.
      if (fl.layer->kind == Layer::Kind::Objects && !fl.layer->props.find("layer"))
        fl.engineLayer = lastTiles;
      if (fl.layer->kind == Layer::Kind::Tiles) lastTiles = fl.engineLayer;
    }
  }

  // ---- packing files --------------------------------------------------------

  // Adds an archive entry; the same name twice must mean the same bytes.
  bool addEntry(const std::string& name, const std::string& bytes, const std::string& where) {
    for (const auto& e : entries_)
      if (e.first == name) {
        if (e.second == bytes) return true;
        fail(where, "two different files would both be packed as \"" + name + "\"");
        return false;
      }
    entries_.push_back({name, bytes});
    return true;
  }

  bool readFile(const std::string& path, std::string& out) {
    return files_ && files_(path, out);
  }

  // A picture of the map's folder packed into the level's archive, with the
  // animation definition beside it (PICTURE.txt) or the whole picture as
  // one animation. Returns the sprite's resource name, "" on failure.
  std::string packImage(const std::string& path, const std::string& where) {
    auto known = packed_.find(path);
    if (known != packed_.end()) return known->second;
    std::string bytes;
    int w = 0, h = 0;
    if (!readFile(path, bytes)) {
      fail(where, "picture \"" + path + "\" cannot be read");
      return "";
    }
    if (!pngSize(bytes, w, h)) {
      fail(where, "\"" + path + "\" is not a PNG picture");
      return "";
    }
    const std::string stem = safeName(stemOf(path));
    std::string anims;
    const std::string txt = path.substr(0, path.size() - (path.size() - path.find_last_of('.'))) + ".txt";
    if (path.find_last_of('.') == std::string::npos || !readFile(txt, anims))
      anims = "anim 0 0 " + std::to_string(w) + " " + std::to_string(h) + " 1\n";
    if (!addEntry(stem + ".png", bytes, where) || !addEntry(stem + ".txt", anims, where)) return "";
    return packed_[path] = archive_ + ":" + stem;
  }

  // A sprite property: a file is packed, a text is a resource name as it is.
  std::string spriteOf(const Property& p) {
    if (p.type == "file") {
      if (p.value.empty()) {
        fail(p.where, "property \"" + p.name + "\" names no file");
        return "";
      }
      return packImage(joinPath(dirOf(map_.file), p.value), p.where);
    }
    if (p.value.empty() || p.value.find_first_of(" \t\r\n") != std::string::npos) {
      fail(p.where, "property \"" + p.name + "\" must name a sprite (archive:entry) without blanks");
      return "";
    }
    return p.value;
  }

  // ---- skies ------------------------------------------------------------------

  std::string mapSky() {
    const Property* p = map_.props.find("sky");
    if (!p) {
      fail(map_.where, "the map has no sky: give it the custom property \"sky\" (a picture)");
      return "";
    }
    return spriteOf(*p);
  }

  struct SkyArea {
    std::string sprite;
    int fx0, fy0, fx1, fy1;
  };

  // "skies": one area a line, PICTURE FX0 FY0 FX1 FY1 in frames; later
  // lines win.
  void readSkyAreas() {
    const Property* p = map_.props.find("skies");
    if (!p) return;
    std::istringstream in(p->value);
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
      ++n;
      std::istringstream words(line);
      std::string pic;
      SkyArea a;
      if (!(words >> pic)) continue;
      std::string rest;
      if (!(words >> a.fx0 >> a.fy0 >> a.fx1 >> a.fy1) || (words >> rest)) {
        fail(p->where, "line " + std::to_string(n) +
                           " of \"skies\" must read PICTURE FX0 FY0 FX1 FY1 (frames), not \"" +
                           line + "\"");
        continue;
      }
      Property fake{"skies", pic.find(':') != std::string::npos ? "string" : "file", pic, p->where};
      a.sprite = spriteOf(fake);
      areas_.push_back(a);
    }
  }

  std::string skyAt(const FlatLayer& fl, int fx, int fy, const std::string& mapSky) {
    if (const Property* p = fl.layer->props.find("sky")) return spriteOf(*p);
    std::string s = mapSky;
    for (const auto& a : areas_)
      if (fx >= a.fx0 && fx <= a.fx1 && fy >= a.fy0 && fy <= a.fy1) s = a.sprite;
    return s;
  }

  // ---- tile layers ------------------------------------------------------------

  const Tileset* tilesetOf(uint32_t gid) const {
    const Tileset* best = nullptr;
    for (const auto& ts : map_.tilesets)
      if (ts.firstgid <= gid && (!best || ts.firstgid > best->firstgid)) best = &ts;
    return best;
  }

  // The tileset's picture and its animation definitions (one 32 x 32
  // animation per tile, named by the tile's type); the sheet's resource name.
  std::string packTileset(const Tileset& ts) {
    auto known = sheets_.find(&ts);
    if (known != sheets_.end()) return known->second;
    sheets_[&ts] = "";
    bool ok = true;
    if (ts.tileW != kTile || ts.tileH != kTile) {
      fail(ts.where, "tileset \"" + ts.name + "\" has " + std::to_string(ts.tileW) + " x " +
                         std::to_string(ts.tileH) + " tiles; levels are built of 32 x 32 tiles");
      ok = false;
    }
    if (ts.image.empty()) {
      fail(ts.imageWhere.empty() ? ts.where : ts.imageWhere,
           "tileset \"" + ts.name + "\" is a collection of pictures; a tile sheet must be one picture");
      return "";
    }
    if (ts.offsetX || ts.offsetY) {
      fail(ts.where, "tileset \"" + ts.name + "\" has a drawing offset; blocks are drawn on their cells");
      ok = false;
    }
    if (ts.tilecount > 256) {
      fail(ts.where, "tileset \"" + ts.name + "\" has " + std::to_string(ts.tilecount) +
                         " tiles; a block file numbers at most 256 (0 to 255)");
      ok = false;
    }
    std::string bytes;
    int w = 0, h = 0;
    if (!readFile(ts.image, bytes)) {
      fail(ts.imageWhere, "tileset picture \"" + ts.image + "\" cannot be read");
      return "";
    }
    if (!pngSize(bytes, w, h)) {
      fail(ts.imageWhere, "tileset picture \"" + ts.image + "\" is not a PNG picture");
      return "";
    }
    if (!ok) return "";
    const int step = kTile + ts.spacing;
    const int cols = ts.columns > 0 ? ts.columns : std::max(0, (w - 2 * ts.margin + ts.spacing) / step);
    uint32_t count = ts.tilecount;
    if (count == 0 && cols > 0) count = uint32_t(cols * std::max(0, (h - 2 * ts.margin + ts.spacing) / step));
    if (cols <= 0 || count == 0 || count > 256) {
      fail(ts.where, "tileset \"" + ts.name + "\" holds no usable tiles (or more than 256)");
      return "";
    }
    std::string base = safeName(ts.name.empty() ? stemOf(ts.image) : ts.name);
    std::string name = base;
    for (int k = 2; usedSheetNames_.count(name); ++k) name = base + "_" + std::to_string(k);
    usedSheetNames_.insert(name);
    std::map<uint32_t, std::string> types;
    for (const auto& t : ts.tiles)
      if (!t.type.empty()) types[t.id] = safeName(t.type);
    std::string anims = "-- Tileset \"" + ts.name +
                        "\": one 32 x 32 animation per tile; animation 0 is never drawn by a block.\n";
    for (uint32_t id = 0; id < count; ++id) {
      const int x = ts.margin + int(id % uint32_t(cols)) * step;
      const int y = ts.margin + int(id / uint32_t(cols)) * step;
      anims += "anim " + std::to_string(x) + " " + std::to_string(y) + " 32 32 1 0 0 0 32 32";
      auto t = types.find(id);
      if (t != types.end()) anims += " " + t->second;
      anims += "\n";
    }
    if (!addEntry(name + ".png", bytes, ts.imageWhere) || !addEntry(name + ".txt", anims, ts.where))
      return "";
    return sheets_[&ts] = archive_ + ":" + name;
  }

  std::string tileLayer(const FlatLayer& fl, const std::string& mapSky) {
    const Layer& l = *fl.layer;
    static const std::set<std::string> known = {"layer", "sky"};
    warnUnknown(l.props, known, "layer \"" + l.name + "\"");
    std::map<std::pair<int, int>, std::string> frames;  // (fy, fx): row by row
    const Tileset* ts = nullptr;
    std::string firstCell;
    size_t flipped = 0;
    std::string flippedAt;
    std::set<uint32_t> reported;
    for (const auto& c : l.chunks) {
      for (size_t i = 0; i < c.gids.size(); ++i) {
        const uint32_t raw = c.gids[i];
        if (!raw) continue;
        const int col = c.x + int(i % size_t(c.w)), row = c.y + int(i / size_t(c.w));
        const std::string cell = "cell (" + std::to_string(col) + ", " + std::to_string(row) + ")";
        if (raw & kFlipBits) {
          if (!flipped++) flippedAt = cell;
          continue;
        }
        const Tileset* t = tilesetOf(raw);
        if (!t) {
          if (reported.insert(raw).second)
            fail(c.where, "layer \"" + l.name + "\", " + cell + ": tile " + std::to_string(raw) +
                              " belongs to no tileset");
          continue;
        }
        if (!ts) {
          ts = t;
          firstCell = cell;
        } else if (t != ts) {
          if (reported.insert(0xFFFFFFFFu).second)
            fail(c.where, "layer \"" + l.name + "\" draws with two tilesets (\"" + ts->name +
                              "\" at " + firstCell + ", \"" + t->name + "\" at " + cell +
                              "); a layer's blocks come from one tile sheet");
          continue;
        }
        const uint32_t id = raw - t->firstgid;
        if (id == 0 || (t->tilecount && id >= t->tilecount) || id > 255) {
          if (reported.insert(raw).second)
            fail(c.where, "layer \"" + l.name + "\", " + cell + ": tile " + std::to_string(id) +
                              " of tileset \"" + t->name + "\" cannot be a block (" +
                              (id == 0 ? "block 0 means an empty cell: leave the tileset's first tile unused"
                                       : "a block file numbers tiles 1 to 255") +
                              ")");
          continue;
        }
        for (const auto& ti : t->tiles)
          if (ti.id == id && ti.animated && reported.insert(raw).second)
            fail(ti.where, "tile " + std::to_string(id) + " of tileset \"" + t->name +
                               "\" is animated and used in layer \"" + l.name + "\" at " + cell +
                               "; blocks are drawn still (draw the animation as an object)");
        std::string& f = frames[{floorDiv(row, kFrameRows), floorDiv(col, kFrameCols)}];
        if (f.empty()) f.assign(kFrameCells, '\0');
        const int lc = col - floorDiv(col, kFrameCols) * kFrameCols;
        const int lr = row - floorDiv(row, kFrameRows) * kFrameRows;
        f[size_t(lr * kFrameCols + lc)] = char(id);
      }
    }
    if (flipped)
      fail(l.where, "layer \"" + l.name + "\" holds " + std::to_string(flipped) +
                        " flipped or rotated tile" + (flipped > 1 ? "s" : "") + " (the first at " +
                        flippedAt + "); blocks are drawn as the tile sheet has them: draw the turned tile into the sheet");
    if (!ts || frames.empty()) return "";
    for (const auto& ti : ts->tiles)
      if (ti.shapes)
        out_.warnings.push_back(ti.where + ": collision shapes of tile " + std::to_string(ti.id) +
                                " are ignored; a block collides where its picture is not transparent");
    const std::string sheet = packTileset(*ts);
    std::string base = safeName(l.name.empty() ? "layer" : l.name);
    std::string name = base;
    for (int k = 2; usedFrameNames_.count(name); ++k) name = base + "_" + std::to_string(k);
    usedFrameNames_.insert(name);
    std::string lines;
    for (const auto& f : frames) {
      const int fx = f.first.second, fy = f.first.first;
      if (f.second.find_first_not_of('\0') == std::string::npos) continue;
      const auto key = std::make_tuple(fx, fy, fl.engineLayer);
      auto clash = frameKeys_.find(key);
      if (clash != frameKeys_.end()) {
        fail(l.where, "layers \"" + clash->second + "\" and \"" + l.name + "\" both have tiles in frame (" +
                          std::to_string(fx) + ", " + std::to_string(fy) + ") of level layer " +
                          std::to_string(fl.engineLayer) + "; give one of them another \"layer\"");
        continue;
      }
      frameKeys_[key] = l.name;
      const std::string fname = name + "_" + std::to_string(fx) + "_" + std::to_string(fy);
      addEntry(fname + ".bin", f.second, l.where);
      const std::string sky = skyAt(fl, fx, fy, mapSky);
      lines += "frame " + fname + " " + sheet + " " + sky + " " + std::to_string(fx) + " " +
               std::to_string(fy) + " " + std::to_string(fl.engineLayer) + " " + factor(fl.px) +
               " " + factor(fl.py) + "\n";
      ++out_.frames;
    }
    return lines;
  }

  static int floorDiv(int a, int b) {
    const int q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
  }

  // ---- objects and characters ---------------------------------------------------

  std::string objectLayer(const FlatLayer& fl) {
    const Layer& l = *fl.layer;
    static const std::set<std::string> knownLayer = {"layer"};
    warnUnknown(l.props, knownLayer, "layer \"" + l.name + "\"");
    static const std::set<std::string> knownObj = {"sprite", "hp", "depth", "id"};
    static const std::set<std::string> knownNpc = {"sprite", "hp",   "depth",   "id",    "talkable",
                                                   "collide", "gravity", "anim", "alpha", "script"};
    std::string lines;
    for (const auto& o : l.objects) {
      const bool npc = o.type == "npc";
      warnUnknown(o.props, npc ? knownNpc : knownObj, "object \"" + o.name + "\"");
      const Property* sp = o.props.find("sprite");
      if (!sp) {
        fail(o.where, std::string(npc ? "character" : "object") + " \"" + o.name +
                          "\" has no \"sprite\" property");
        continue;
      }
      const std::string sprite = spriteOf(*sp);
      long long id = o.id, hp = 0, z = fl.engineLayer;
      intProp(o.props, "id", id, npc ? 1 : 0, npc ? 99 : 0xFFFFFFFFll);
      if (npc && !o.props.find("id") && (id < 1 || id > 99))
        fail(o.where, "character \"" + o.name + "\" needs an \"id\" property from 1 to 99");
      intProp(o.props, "hp", hp, INT32_MIN, INT32_MAX);
      intProp(o.props, "depth", z, -1000000, 1000000);
      const long long x = std::llround(o.x), y = std::llround(o.y);
      if (sprite.empty()) continue;
      if (!npc) {
        lines += "obj " + std::to_string(id) + " " + std::to_string(x) + " " + std::to_string(y) +
                 " " + std::to_string(z) + " " + std::to_string(hp) + " " + sprite + "\n";
        ++out_.objects;
        continue;
      }
      if (o.name.size() < 2 || o.name != safeName(o.name)) {
        fail(o.where, "character \"" + o.name +
                          "\" needs a name of two or more letters, digits, '_' or '-' (its file is npc/<name>)");
        continue;
      }
      long long anim = 0, alpha = 255;
      intProp(o.props, "anim", anim, 0, 1000000);
      intProp(o.props, "alpha", alpha, 0, 255);
      std::string script;
      if (const Property* s = o.props.find("script")) {
        script = s->value;
        if (script.empty() || script != safeName(script.substr(0, script.rfind('.'))) +
                                               (script.rfind('.') == std::string::npos ? "" : script.substr(script.rfind('.'))))
          fail(s->where, "property \"script\" must name a file of the game's lua/ folder (like walker.lua)");
      }
      if (!npcIds_.insert({int(id), o.name}).second) {
        fail(o.where, "two characters have the id " + std::to_string(id));
        continue;
      }
      std::string info = "1 " + std::string(boolProp(o.props, "talkable", true) ? "1" : "0") + " " +
                         (boolProp(o.props, "collide", true) ? "1" : "0") + " " +
                         (boolProp(o.props, "gravity", true) ? "1" : "0") + " " +
                         std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(z) +
                         " " + std::to_string(hp) + " " + sprite + " " + std::to_string(anim) + " " +
                         std::to_string(alpha);
      if (!script.empty()) info += " " + script;
      out_.ini.push_back({"npc/" + o.name, "npc", false, {{out_.levelName, info}}});
      ++out_.npcs;
    }
    return lines;
  }

  void npcList() {
    IniChange c{"npc/list.ini", out_.levelName, true, {}};
    for (const auto& n : npcIds_) c.values.push_back({std::to_string(n.first), n.second});
    out_.ini.insert(out_.ini.begin(), c);
  }

  // ---- scripts ----------------------------------------------------------------

  std::string preloads() {
    std::string lines;
    if (const Property* p = map_.props.find("preload")) {
      std::istringstream in(p->value);
      std::string w;
      while (in >> w) {
        Property one{"preload", w.find(':') != std::string::npos ? "string" : "file", w, p->where};
        const std::string s = spriteOf(one);
        if (!s.empty()) lines += "sprite " + s + "\n";
      }
    }
    if (const Property* p = map_.props.find("pack")) {
      std::istringstream in(p->value);
      std::string w;
      while (in >> w) packFile(joinPath(dirOf(map_.file), w), p->where);
    }
    return lines;
  }

  std::string packFile(const std::string& path, const std::string& where) {
    std::string bytes;
    const std::string name = path.substr(path.find_last_of('/') + 1);
    if (!readFile(path, bytes)) {
      fail(where, "file \"" + path + "\" cannot be read");
      return "";
    }
    if (name.empty() || name.find_first_of(" \t:") != std::string::npos) {
      fail(where, "file \"" + path + "\" has a name that cannot be an archive entry");
      return "";
    }
    if (!addEntry(name, bytes, where)) return "";
    return archive_ + ":" + name;
  }

  std::string scripts() {
    std::string lines;
    if (const Property* p = map_.props.find("script")) {
      std::string res = p->value;
      if (p->type == "file") res = packFile(joinPath(dirOf(map_.file), p->value), p->where);
      else if (res.find(':') == std::string::npos || res.find_first_of(" \t") != std::string::npos)
        fail(p->where, "property \"script\" must be a file or a resource name (archive:entry)"), res.clear();
      if (!res.empty()) lines += "script " + res + "\n";
    }
    if (const Property* p = map_.props.find("call")) {
      if (p->value.empty() || p->value.find_first_of(" \t\r\n") != std::string::npos)
        fail(p->where, "property \"call\" must name one script function");
      else
        lines += "call " + p->value + "\n";
    }
    return lines;
  }

  void luaList() {
    IniChange c{"lua/list.ini", out_.levelName, true, {}};
    if (const Property* p = map_.props.find("alwaysFile")) c.values.push_back({"file", p->value});
    if (const Property* p = map_.props.find("always")) c.values.push_back({"always", p->value});
    for (const auto& v : c.values)
      if (v.second.find_first_of("\r\n") != std::string::npos)
        fail(map_.where, "property \"" + v.first + "\" must be one line");
    out_.ini.push_back(c);
  }

  const Map& map_;
  std::string archive_, entry_;
  LevelPack& out_;
  std::vector<std::string>& errors_;
  const FileReader& files_;
  std::vector<FlatLayer> flat_;
  std::vector<SkyArea> areas_;
  std::vector<std::pair<std::string, std::string>> entries_;
  std::map<std::string, std::string> packed_;
  std::map<const Tileset*, std::string> sheets_;
  std::set<std::string> usedSheetNames_, usedFrameNames_;
  std::map<std::tuple<int, int, int>, std::string> frameKeys_;
  std::map<int, std::string> npcIds_;
};

// The whole file or nothing: a failed write keeps what was there.
bool writeWhole(const std::string& path, const std::string& bytes, std::string& error) {
  std::error_code ec;
  const fs::path p(path);
  if (p.has_parent_path()) fs::create_directories(p.parent_path(), ec);
  std::string why;
  if (replaceFile(path, bytes, false, &why) == ReplaceResult::Replaced) return true;
  error = "cannot write " + path + ": " + why;
  return false;
}

}  // namespace

bool buildLevel(const Map& map, const std::string& archive, const std::string& entry,
                LevelPack& out, std::vector<std::string>& errors, const FileReader& files) {
  return Builder(map, archive, entry, out, errors, files).run();
}

bool gamePaths(const std::string& out, const std::string& gameDirOpt, std::string& gameDir,
               std::string& archiveName, std::string& error) {
  std::error_code ec;
  const fs::path abs = fs::absolute(out, ec).lexically_normal();
  fs::path game;
  if (!gameDirOpt.empty()) {
    game = fs::absolute(gameDirOpt, ec).lexically_normal();
  } else {
    game = abs.parent_path();
    for (fs::path p = abs.parent_path(); p.has_relative_path(); p = p.parent_path())
      if (p.filename() == "data") {
        game = p.parent_path();
        break;
      }
  }
  const fs::path rel = abs.lexically_relative(game);
  if (rel.empty() || *rel.begin() == "..") {
    error = out + " does not lie inside the game folder " + game.string();
    return false;
  }
  gameDir = game.string();
  archiveName = rel.generic_string();
  if (archiveName.find_first_of(" \t:") != std::string::npos) {
    error = "the archive's path \"" + archiveName + "\" holds a blank or a colon";
    return false;
  }
  return true;
}

std::string editIni(const std::string& text, const IniChange& change) {
  std::vector<std::string> lines;
  {
    size_t pos = 0;
    while (pos < text.size()) {
      size_t nl = text.find('\n', pos);
      if (nl == std::string::npos) nl = text.size();
      std::string l = text.substr(pos, nl - pos);
      if (!l.empty() && l.back() == '\r') l.pop_back();
      lines.push_back(l);
      pos = nl + 1;
    }
  }
  auto isHeader = [](const std::string& l) { return l.size() >= 2 && l.front() == '[' && l.back() == ']'; };
  const std::string header = "[" + change.section + "]";
  size_t h = lines.size();
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i] == header) h = i;  // a repeated header starts the section afresh
  std::vector<std::string> body;
  for (const auto& kv : change.values) body.push_back(kv.first + "=" + kv.second);
  if (h == lines.size()) {
    if (body.empty()) return text;
    std::string out = text;
    if (!out.empty() && out.back() != '\n') out += "\n";
    if (!out.empty()) out += "\n";
    out += header + "\n";
    for (const auto& b : body) out += b + "\n";
    return out;
  }
  size_t e = h + 1;
  while (e < lines.size() && !isHeader(lines[e])) ++e;
  if (change.wholeSection) {
    // Blank lines and comments at the section's end belong to what follows.
    size_t keepFrom = e;
    while (keepFrom > h + 1 && (lines[keepFrom - 1].empty() || lines[keepFrom - 1][0] == ';')) --keepFrom;
    std::vector<std::string> out(lines.begin(), lines.begin() + long(h));
    if (!body.empty()) {
      out.push_back(header);
      out.insert(out.end(), body.begin(), body.end());
    } else {
      while (!out.empty() && out.back().empty()) out.pop_back();
    }
    out.insert(out.end(), lines.begin() + long(keepFrom), lines.end());
    std::string s;
    for (const auto& l : out) s += l + "\n";
    return s;
  }
  for (const auto& kv : change.values) {
    bool done = false;
    size_t last = h;
    for (size_t i = h + 1; i < e; ++i) {
      if (lines[i].empty() || lines[i][0] == ';') continue;
      last = i;
      if (lines[i].compare(0, kv.first.size() + 1, kv.first + "=") == 0) {
        lines[i] = kv.first + "=" + kv.second;
        done = true;
      }
    }
    if (!done) {
      lines.insert(lines.begin() + long(last) + 1, kv.first + "=" + kv.second);
      ++e;
    }
  }
  std::string s;
  for (const auto& l : lines) s += l + "\n";
  return s;
}

bool importMap(const std::string& mapPath, const std::string& out, const std::string& entry,
               const std::string& gameDirOpt, LevelPack& pack, std::vector<std::string>& errors) {
  if (entry.empty() || entry != safeName(entry)) {
    errors.push_back("entry name \"" + entry + "\" must be letters, digits, '_' or '-'");
    return false;
  }
  std::string gameDir, archiveName, error;
  if (!gamePaths(out, gameDirOpt, gameDir, archiveName, error)) {
    errors.push_back(error);
    return false;
  }
  Map map;
  if (!readMap(mapPath, map, errors)) return false;
  if (!buildLevel(map, archiveName, entry, pack, errors)) return false;

  // Everything is known before anything is written.
  ResfileWriter writer(9);
  for (const auto& e : pack.entries)
    if (!writer.add(e.first, e.second)) {
      errors.push_back("zlib failed on " + e.first);
      return false;
    }
  std::map<std::string, std::string> iniTexts;  // path -> new text
  std::map<std::string, std::string> iniOld;
  for (const auto& c : pack.ini) {
    const std::string path = (fs::path(gameDir) / c.file).string();
    if (!iniTexts.count(path)) {
      std::string old;
      readDiskFile(path, old);
      iniOld[path] = iniTexts[path] = old;
    }
    iniTexts[path] = editIni(iniTexts[path], c);
  }
  if (!writeWhole(out, writer.build(), error)) {
    errors.push_back(error);
    return false;
  }
  for (const auto& t : iniTexts) {
    if (t.second == iniOld[t.first]) continue;
    if (!writeWhole(t.first, t.second, error)) {
      errors.push_back(error);
      return false;
    }
  }
  return true;
}

}  // namespace tiled
