// Level -> map. The map is written the way Tiled 1.8 itself saves TMX (the
// same attribute order, indentation and CSV layout), so that opening and
// saving it in Tiled changes nothing.
#include "maps/level_export.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "base/log.h"
#include "maps/level_import.h"
#include "resources/ini_file.h"
#include "resources/parser.h"
#include "resources/resfile.h"

namespace fs = std::filesystem;

namespace tiled {
namespace {

std::string xmlEscape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

struct FrameLine {
  std::string name, sheet, sky;
  int fx = 0, fy = 0, layer = 0;
  std::string px = "1", py = "1";  // as Tiled prints them
  std::string cells;
};

struct ObjLine {
  long long id, x, y, z, hp;
  std::string sprite;
};

struct NpcInfo {
  int id;
  std::string name;
  std::vector<std::string> words;
};

struct TiledLayer {
  int layer;
  std::string px, py, sheet;
  std::vector<const FrameLine*> frames;
  std::string name;
  std::string skyOverride;
};

struct Prop {
  std::string name, type, value;
};

// Tiled prints factors with as few digits as they need: 1, 0.25.
std::string shortNumber(const std::string& word) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", std::atof(word.c_str()));
  return buf;
}

std::string propsXml(std::vector<Prop> props, const std::string& indent) {
  if (props.empty()) return "";
  std::sort(props.begin(), props.end(), [](const Prop& a, const Prop& b) { return a.name < b.name; });
  std::string s = indent + "<properties>\n";
  for (const auto& p : props) {
    s += indent + " <property name=\"" + xmlEscape(p.name) + "\"";
    if (p.type != "string") s += " type=\"" + p.type + "\"";
    if (p.value.find('\n') != std::string::npos)
      s += ">" + xmlEscape(p.value) + "</property>\n";
    else
      s += " value=\"" + xmlEscape(p.value) + "\"/>\n";
  }
  return s + indent + "</properties>\n";
}

class Exporter {
 public:
  Exporter(const std::string& mapPath, ExportReport& report, std::vector<std::string>& errors)
      : mapPath_(mapPath), report_(report), errors_(errors) {
    folderName_ = fs::path(mapPath).stem().string();
    folder_ = (fs::path(mapPath).parent_path() / folderName_).string();
  }

  bool run(const std::string& level, const std::string& gameDirOpt) {
    const size_t colon = level.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == level.size()) {
      errors_.push_back("\"" + level + "\" is not ARCHIVE:ENTRY");
      return false;
    }
    diskArchive_ = level.substr(0, colon);
    entry_ = level.substr(colon + 1);
    std::string error;
    if (!gamePaths(diskArchive_, gameDirOpt, gameDir_, archive_, error)) {
      errors_.push_back(error);
      return false;
    }
    levelName_ = archive_ + ":" + entry_;
    std::string text;
    if (!load(archive_, entry_ + ".txt", text)) {
      errors_.push_back(level + ": no level file " + entry_ + ".txt in " + diskArchive_);
      return false;
    }
    readLevelFile(text);
    readLists();
    if (!errors_.empty()) return false;
    if (frames_.empty()) {
      errors_.push_back(level + ": the level has no frames");
      return false;
    }
    groupLayers();
    chooseSkies();
    const std::string tmx = mapXml();
    if (!errors_.empty()) return false;
    std::error_code ec;
    fs::create_directories(folder_, ec);
    for (const auto& f : files_) write((fs::path(folder_) / f.first).string(), f.second);
    write(mapPath_, tmx);
    return errors_.empty();
  }

 private:
  void fail(const std::string& what) { errors_.push_back(levelName_ + ": " + what); }

  void write(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (!out) errors_.push_back("cannot write " + path);
  }

  // An entry of any archive of the game (archive path as the game names it).
  bool load(const std::string& archive, const std::string& entry, std::string& out) {
    Log::Capture quiet;
    const std::string disk = archive == archive_ ? diskArchive_ : (fs::path(gameDir_) / archive).string();
    ResBuffer b = res_.load(disk, entry);
    if (!b) return false;
    out.assign(b.data(), b.size());
    used_.insert({archive, entry});
    return true;
  }

  static bool splitRes(const std::string& res, std::string& archive, std::string& entry) {
    Parser p(res, ":");
    if (p.count() < 2) return false;
    archive = p.show(0);
    entry = p.show(1);
    return true;
  }

  // The entry a sprite name loads its picture or definitions from.
  static std::string spriteEntry(const std::string& entry, const std::string& ext) {
    if (entry.find('.') == std::string::npos) return entry + ext;
    return entry.size() >= 4 ? entry.substr(0, entry.size() - 4) + ext : entry + ext;
  }

  // A file of the map's folder holding an entry of the level's archive.
  std::string extract(const std::string& entry, const std::string& bytes) {
    files_[entry] = bytes;
    return folderName_ + "/" + entry;
  }

  // A sprite for a property: pictures of the level's archive become files
  // of the map's folder, others stay resource names.
  Prop spriteProp(const std::string& name, const std::string& res) {
    std::string archive, entry, png, txt;
    if (!splitRes(res, archive, entry) || archive != archive_ ||
        !load(archive, spriteEntry(entry, ".png"), png))
      return {name, "string", res};
    if (safeName(entry) != entry) return {name, "string", res};
    if (load(archive, spriteEntry(entry, ".txt"), txt)) extract(entry + ".txt", txt);
    return {name, "file", extract(entry + ".png", png)};
  }

  void readLevelFile(const std::string& text) {
    Parser lines(text, "\r\n");
    for (int i = 0; i < lines.count(); ++i) {
      Parser w(lines.show(i), " \t");
      const std::string cmd = w.count() ? w.show(0) : "";
      if (cmd == "--") continue;
      if (cmd == "sprite" && w.count() >= 2) {
        preload_.push_back(w.show(1));
      } else if (cmd == "frame" && w.count() >= 6) {
        FrameLine f;
        f.name = w.show(1);
        f.sheet = w.show(2);
        f.sky = w.show(3);
        f.fx = w.val(4);
        f.fy = w.val(5);
        f.layer = w.count() >= 7 ? w.val(6) : 0;
        if (w.count() >= 9) {
          f.px = shortNumber(w.show(7));
          f.py = shortNumber(w.show(8));
        } else if (w.count() == 8) {
          fail("frame " + f.name + " gives a parallaxX without a parallaxY");
        }
        std::string archive, entry;
        const std::string blocks = f.name + ".bin";
        const bool ok = f.name.find(':') != std::string::npos
                            ? splitRes(blocks, archive, entry) && load(archive, entry, f.cells)
                            : load(archive_, blocks, f.cells);
        if (!ok || f.cells.size() < size_t(kFrameCells)) {
          fail("block file of frame " + f.name + " is missing or short");
          continue;
        }
        f.cells.resize(kFrameCells);
        if (f.fx < 0 || f.fy < 0) {
          fail("frame " + f.name + " lies left of or above the level's origin; a Tiled map starts there");
          continue;
        }
        for (const auto& g : frames_)
          if (g.fx == f.fx && g.fy == f.fy && g.layer == f.layer)
            fail("frames " + g.name + " and " + f.name + " share a place and layer");
        frames_.push_back(f);
      } else if (cmd == "obj" && w.count() >= 7) {
        objs_.push_back({std::atoll(w.show(1).c_str()), w.val(2), w.val(3), w.val(4), w.val(5), w.show(6)});
      } else if (cmd == "script" && w.count() >= 2) {
        if (!script_.empty()) fail("more than one script line; a map holds one");
        script_ = w.show(1);
      } else if (cmd == "call" && w.count() >= 2) {
        if (!call_.empty()) fail("more than one call line; a map holds one");
        call_ = w.show(1);
      }
    }
  }

  void readLists() {
    IniFile ini;
    const std::string lua = (fs::path(gameDir_) / "lua" / "list.ini").string();
    if (ini.open(lua)) {
      ini.tryGet(levelName_, "file", alwaysFile_);
      ini.tryGet(levelName_, "always", always_);
    }
    IniFile list;
    if (!list.open((fs::path(gameDir_) / "npc" / "list.ini").string())) return;
    for (int i = 1; i <= 99; ++i) {
      std::string name;
      if (!list.tryGet(levelName_, std::to_string(i), name) || name.size() < 2) continue;
      IniFile npc;
      std::string line;
      if (!npc.open((fs::path(gameDir_) / "npc" / name).string()) ||
          !npc.tryGet("npc", levelName_, line)) {
        fail("character " + name + " has no line for the level in npc/" + name);
        continue;
      }
      Parser w(line, " ");
      if (w.count() < 9) {
        fail("the line of character " + name + " has fewer than 9 words");
        continue;
      }
      NpcInfo n{i, name, {}};
      for (int k = 0; k < w.count(); ++k) n.words.push_back(w.show(k));
      if (n.words[0] == "0") continue;  // absent: not created by the level
      npcs_.push_back(n);
    }
  }

  // One Tiled tile layer per (layer, parallax, sheet), drawn from the
  // greatest level layer down.
  void groupLayers() {
    for (const auto& f : frames_) {
      TiledLayer* found = nullptr;
      for (auto& l : layers_)
        if (l.layer == f.layer && l.px == f.px && l.py == f.py && l.sheet == f.sheet) found = &l;
      if (!found) {
        layers_.push_back({f.layer, f.px, f.py, f.sheet, {}, "", ""});
        found = &layers_.back();
      }
      found->frames.push_back(&f);
    }
    std::stable_sort(layers_.begin(), layers_.end(),
                     [](const TiledLayer& a, const TiledLayer& b) { return a.layer > b.layer; });
    std::set<std::string> names;
    for (auto& l : layers_) {
      // Named after what its frames' names share ("t00", "t10" -> "t").
      std::string prefix = l.frames[0]->name;
      for (const auto* f : l.frames) {
        size_t k = 0;
        while (k < prefix.size() && k < f->name.size() && prefix[k] == f->name[k]) ++k;
        prefix.resize(k);
      }
      while (!prefix.empty() && (std::isdigit(static_cast<unsigned char>(prefix.back())) || prefix.back() == '_'))
        prefix.pop_back();
      std::string name = prefix.empty() ? "layer " + std::to_string(l.layer) : prefix;
      for (int k = 2; names.count(name); ++k) name = prefix + " " + std::to_string(k);
      names.insert(name);
      l.name = name;
    }
  }

  struct Area {
    std::string sky;
    int fx0, fy0, fx1, fy1;
  };

  std::string resolvedSky(int fx, int fy) const {
    std::string s = sky_;
    for (const auto& a : areas_)
      if (fx >= a.fx0 && fx <= a.fx1 && fy >= a.fy0 && fy <= a.fy1) s = a.sky;
    return s;
  }

  // The map's sky is the one most layer-0 frames show, areas say where the
  // others show, a layer's own sky covers a layer that differs.
  void chooseSkies() {
    std::vector<const FrameLine*> ground;
    for (const auto& f : frames_)
      if (f.layer == 0) ground.push_back(&f);
    if (ground.empty())
      for (const auto& f : frames_) ground.push_back(&f);
    std::map<std::string, int> counts;
    std::vector<std::string> order;
    for (const auto* f : ground)
      if (!counts[f->sky]++) order.push_back(f->sky);
    sky_ = order[0];
    for (const auto& s : order)
      if (counts[s] > counts[sky_]) sky_ = s;
    // Runs of one sky along each row, stacked where rows repeat them.
    std::map<std::pair<int, int>, std::string> at;
    int maxX = 0, maxY = 0;
    for (const auto* f : ground) {
      at[{f->fy, f->fx}] = f->sky;
      maxX = std::max(maxX, f->fx);
      maxY = std::max(maxY, f->fy);
    }
    std::vector<Area> open;
    for (int fy = 0; fy <= maxY + 1; ++fy) {
      std::vector<Area> row;
      for (int fx = 0; fx <= maxX; ++fx) {
        auto it = at.find({fy, fx});
        if (it == at.end() || it->second == sky_) continue;
        if (!row.empty() && row.back().sky == it->second && row.back().fx1 == fx - 1) row.back().fx1 = fx;
        else row.push_back({it->second, fx, fy, fx, fy});
      }
      std::vector<Area> next;
      for (auto& r : row) {
        bool joined = false;
        for (auto& o : open)
          if (o.sky == r.sky && o.fx0 == r.fx0 && o.fx1 == r.fx1 && o.fy1 == fy - 1) {
            o.fy1 = fy;
            next.push_back(o);
            o.sky.clear();
            joined = true;
            break;
          }
        if (!joined) next.push_back(r);
      }
      for (auto& o : open)
        if (!o.sky.empty()) areas_.push_back(o);
      open = next;
    }
    for (auto& o : open) areas_.push_back(o);
    for (auto& l : layers_) {
      bool same = true, allOne = true;
      for (const auto* f : l.frames) {
        same = same && f->sky == resolvedSky(f->fx, f->fy);
        allOne = allOne && f->sky == l.frames[0]->sky;
      }
      if (same) continue;
      if (allOne) l.skyOverride = l.frames[0]->sky;
      else fail("the skies of layer " + l.name + "'s frames follow no area; a map cannot hold them");
    }
  }

  // One TSX per sheet; returns the tileset's firstgid or 0.
  uint32_t tileset(const std::string& sheet, std::string& xmlRef) {
    auto known = firstgids_.find(sheet);
    if (known != firstgids_.end()) {
      xmlRef.clear();
      return known->second;
    }
    std::string archive, entry, png, txt;
    int w = 0, h = 0;
    if (!splitRes(sheet, archive, entry) || !load(archive, spriteEntry(entry, ".png"), png) ||
        !pngSize(png, w, h)) {
      fail("tile sheet " + sheet + " has no PNG picture");
      return 0;
    }
    if (w % kTile || h % kTile || (w / kTile) * (h / kTile) > 256) {
      fail("tile sheet " + sheet + " is " + std::to_string(w) + " x " + std::to_string(h) +
           " pixels; a tileset is a grid of at most 256 tiles of 32 x 32");
      return 0;
    }
    const int cols = w / kTile, count = cols * (h / kTile);
    load(archive, spriteEntry(entry, ".txt"), txt);
    // The definitions: animation v must be the v-th cell of the grid for
    // every block value the frames use.
    std::vector<std::vector<std::string>> anims;
    Parser lines(txt, "\r\n");
    for (int i = 0; i < lines.count(); ++i) {
      Parser wds(lines.show(i), " \t");
      if (wds.count() && wds.show(0) == "anim" && wds.count() >= 6) {
        std::vector<std::string> a;
        for (int k = 1; k < wds.count(); ++k) a.push_back(wds.show(k));
        anims.push_back(a);
      } else if (wds.count() >= 7 && wds.isVal(0)) {
        anims.push_back({wds.show(1), wds.show(2), wds.show(3), wds.show(4)});
      }
    }
    std::set<int> used;
    for (const auto& f : frames_)
      if (f.sheet == sheet)
        for (char c : f.cells)
          if (c) used.insert(uint8_t(c));
    for (int v : used) {
      const bool ok = v < int(anims.size()) && v < count &&
                      std::atoi(anims[v][0].c_str()) == (v % cols) * kTile &&
                      std::atoi(anims[v][1].c_str()) == (v / cols) * kTile &&
                      std::atoi(anims[v][2].c_str()) == kTile && std::atoi(anims[v][3].c_str()) == kTile;
      if (!ok) {
        fail("block " + std::to_string(v) + " of tile sheet " + sheet +
             " is not the " + std::to_string(v) + "th 32 x 32 cell of its picture; Tiled numbers tiles by the grid");
        return 0;
      }
    }
    const std::string name = safeName(entry);
    if (files_.count(name + ".png") && files_[name + ".png"] != png) {
      fail("two tile sheets named " + name);
      return 0;
    }
    files_[name + ".png"] = png;
    std::string tsx = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<tileset version=\"1.8\" tiledversion=\"1.8.2\" name=\"" + xmlEscape(name) +
                      "\" tilewidth=\"32\" tileheight=\"32\" tilecount=\"" + std::to_string(count) +
                      "\" columns=\"" + std::to_string(cols) + "\">\n"
                      " <image source=\"" + xmlEscape(name) + ".png\" width=\"" + std::to_string(w) +
                      "\" height=\"" + std::to_string(h) + "\"/>\n";
    for (int v = 0; v < count && v < int(anims.size()); ++v)
      if (anims[v].size() >= 11 && safeName(anims[v][10]) == anims[v][10])
        tsx += " <tile id=\"" + std::to_string(v) + "\" type=\"" + xmlEscape(anims[v][10]) + "\"/>\n";
    tsx += "</tileset>\n";
    files_[name + ".tsx"] = tsx;
    const uint32_t first = nextGid_;
    nextGid_ += uint32_t(count);
    firstgids_[sheet] = first;
    xmlRef = " <tileset firstgid=\"" + std::to_string(first) + "\" source=\"" + xmlEscape(folderName_) +
             "/" + xmlEscape(name) + ".tsx\"/>\n";
    return first;
  }

  std::string skyWord(const std::string& res) {
    Prop p = spriteProp("sky", res);
    return p.value;
  }

  std::string mapXml() {
    int maxFx = 0, maxFy = 0;
    for (const auto& f : frames_) {
      maxFx = std::max(maxFx, f.fx);
      maxFy = std::max(maxFy, f.fy);
    }
    const int w = (maxFx + 1) * kFrameCols, h = (maxFy + 1) * kFrameRows;
    std::string tilesets;
    std::map<std::string, uint32_t> first;
    for (const auto& l : layers_) {
      std::string ref;
      first[l.sheet] = tileset(l.sheet, ref);
      tilesets += ref;
    }
    if (!errors_.empty()) return "";

    // Map properties.
    std::vector<Prop> mp;
    mp.push_back(spriteProp("sky", sky_));
    if (!areas_.empty()) {
      std::string lines;
      for (const auto& a : areas_) {
        if (!lines.empty()) lines += "\n";
        lines += skyWord(a.sky) + " " + std::to_string(a.fx0) + " " + std::to_string(a.fy0) + " " +
                 std::to_string(a.fx1) + " " + std::to_string(a.fy1);
      }
      mp.push_back({"skies", "string", lines});
    }
    if (!script_.empty()) {
      std::string archive, entry, bytes;
      if (splitRes(script_, archive, entry) && archive == archive_ && safeName(entry.substr(0, entry.rfind('.'))) == entry.substr(0, entry.rfind('.')) &&
          load(archive, entry, bytes))
        mp.push_back({"script", "file", extract(entry, bytes)});
      else
        mp.push_back({"script", "string", script_});
    }
    if (!call_.empty()) mp.push_back({"call", "string", call_});
    if (!always_.empty()) mp.push_back({"always", "string", always_});
    if (!alwaysFile_.empty()) mp.push_back({"alwaysFile", "string", alwaysFile_});
    if (!preload_.empty()) {
      std::string lines;
      for (const auto& s : preload_) lines += (lines.empty() ? "" : "\n") + spriteProp("preload", s).value;
      mp.push_back({"preload", "string", lines});
    }

    std::string layersXml;
    int layerId = 1, objectId = 1;
    bool objectsDone = false;
    int objectsLayer = 0;
    auto objectLayer = [&]() {
      std::string s = " <objectgroup id=\"" + std::to_string(layerId++) + "\" name=\"objects\">\n";
      for (const auto& o : objs_) {
        std::vector<Prop> props{{"hp", "int", std::to_string(o.hp)},
                                {"id", "int", std::to_string(o.id)},
                                spriteProp("sprite", o.sprite)};
        if (o.z != objectsLayer) props.push_back({"depth", "int", std::to_string(o.z)});
        s += "  <object id=\"" + std::to_string(objectId++) + "\" x=\"" + std::to_string(o.x) +
             "\" y=\"" + std::to_string(o.y) + "\">\n" + propsXml(props, "   ") + "   <point/>\n  </object>\n";
        ++report_.objects;
      }
      for (const auto& n : npcs_) {
        const auto& wd = n.words;
        std::vector<Prop> props{{"hp", "int", wd[7]},
                                {"id", "int", std::to_string(n.id)},
                                spriteProp("sprite", wd[8])};
        if (std::atoi(wd[6].c_str()) != objectsLayer) props.push_back({"depth", "int", wd[6]});
        if (wd[1] != "1") props.push_back({"talkable", "bool", "false"});
        if (wd[2] == "0") props.push_back({"collide", "bool", "false"});
        if (wd[3] == "0") props.push_back({"gravity", "bool", "false"});
        if (wd.size() > 9 && wd[9] != "0") props.push_back({"anim", "int", wd[9]});
        if (wd.size() > 10 && wd[10] != "255") props.push_back({"alpha", "int", wd[10]});
        if (wd.size() > 11) props.push_back({"script", "string", wd[11]});
        s += "  <object id=\"" + std::to_string(objectId++) + "\" name=\"" + xmlEscape(n.name) +
             "\" type=\"npc\" x=\"" + wd[4] + "\" y=\"" + wd[5] + "\">\n" + propsXml(props, "   ") +
             "   <point/>\n  </object>\n";
        ++report_.npcs;
      }
      s += " </objectgroup>\n";
      objectsDone = true;
      return s;
    };
    for (const auto& l : layers_) {
      if (!objectsDone && l.layer < 0) layersXml += objectLayer();
      std::vector<uint32_t> gids(size_t(w) * size_t(h), 0);
      for (const auto* f : l.frames)
        for (int i = 0; i < kFrameCells; ++i)
          if (f->cells[size_t(i)])
            gids[size_t(f->fy * kFrameRows + i / kFrameCols) * size_t(w) + size_t(f->fx * kFrameCols + i % kFrameCols)] =
                first[l.sheet] + uint8_t(f->cells[size_t(i)]);
      layersXml += " <layer id=\"" + std::to_string(layerId++) + "\" name=\"" + xmlEscape(l.name) +
                   "\" width=\"" + std::to_string(w) + "\" height=\"" + std::to_string(h) + "\"";
      if (l.px != "1") layersXml += " parallaxx=\"" + l.px + "\"";
      if (l.py != "1") layersXml += " parallaxy=\"" + l.py + "\"";
      layersXml += ">\n";
      std::vector<Prop> props{{"layer", "int", std::to_string(l.layer)}};
      if (!l.skyOverride.empty()) props.push_back(spriteProp("sky", l.skyOverride));
      layersXml += propsXml(props, "  ");
      layersXml += "  <data encoding=\"csv\">\n";
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          layersXml += std::to_string(gids[size_t(y) * size_t(w) + size_t(x)]);
          if (x + 1 < w || y + 1 < h) layersXml += ",";
        }
        layersXml += "\n";
      }
      layersXml += "</data>\n </layer>\n";
      report_.frames += l.frames.size();
      ++report_.layers;
      if (l.layer >= 0) objectsLayer = l.layer;
    }
    if (!objectsDone && (!objs_.empty() || !npcs_.empty())) layersXml += objectLayer();

    // Every other entry of the archive travels along.
    std::string packed;
    {
      Log::Capture quiet;
      res_.open(diskArchive_);
      const auto names = res_.names();
      for (const auto& n : names) {
        if (used_.count({archive_, n}) || n == entry_ + ".txt") continue;
        bool isSheetTxt = false;
        for (const auto& f : frames_) {
          std::string a, e;
          if (splitRes(f.sheet, a, e) && a == archive_ && n == spriteEntry(e, ".txt")) isSheetTxt = true;
        }
        if (isSheetTxt) continue;
        std::string bytes;
        if (!load(archive_, n, bytes) || safeName(n.substr(0, n.rfind('.'))) + n.substr(std::min(n.size(), n.rfind('.'))) != n)
          continue;
        packed += (packed.empty() ? "" : "\n") + extract(n, bytes);
      }
    }
    if (!packed.empty()) mp.push_back({"pack", "string", packed});

    std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<map version=\"1.8\" tiledversion=\"1.8.2\" orientation=\"orthogonal\" "
                    "renderorder=\"right-down\" width=\"" + std::to_string(w) + "\" height=\"" +
                    std::to_string(h) + "\" tilewidth=\"32\" tileheight=\"32\" infinite=\"0\" "
                    "parallaxoriginx=\"320\" parallaxoriginy=\"240\" nextlayerid=\"" +
                    std::to_string(layerId) + "\" nextobjectid=\"" + std::to_string(objectId) + "\">\n";
    s += propsXml(mp, " ");
    s += tilesets + layersXml + "</map>\n";
    return s;
  }

  std::string mapPath_, folder_, folderName_;
  ExportReport& report_;
  std::vector<std::string>& errors_;
  std::string diskArchive_, entry_, gameDir_, archive_, levelName_;
  Resfile res_;
  std::set<std::pair<std::string, std::string>> used_;
  std::map<std::string, std::string> files_;
  std::vector<FrameLine> frames_;
  std::vector<ObjLine> objs_;
  std::vector<NpcInfo> npcs_;
  std::vector<std::string> preload_;
  std::string script_, call_, always_, alwaysFile_, sky_;
  std::vector<TiledLayer> layers_;
  std::vector<Area> areas_;
  std::map<std::string, uint32_t> firstgids_;
  uint32_t nextGid_ = 1;
};

}  // namespace

bool exportLevel(const std::string& level, const std::string& mapPath,
                 const std::string& gameDirOpt, ExportReport& report,
                 std::vector<std::string>& errors) {
  return Exporter(mapPath, report, errors).run(level, gameDirOpt);
}

}  // namespace tiled
