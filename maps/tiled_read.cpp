// Reads Tiled maps and tilesets from TMX/TSX (pugixml) and JSON (nlohmann)
// into the one model of tiled_map.h. Sizes and counts are checked before
// anything is allocated, so a hostile file costs at most what kMaxCells
// allows.
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include "maps/tiled_map.h"

namespace tiled {

bool readDiskFile(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

std::string dirOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string joinPath(const std::string& dir, const std::string& rel) {
  if (rel.empty() || rel[0] == '/' || dir.empty()) return rel;
  return dir + "/" + rel;
}

namespace {

using nlohmann::json;

// ---- cell data -------------------------------------------------------------

bool base64Decode(const std::string& in, std::string& out) {
  static const std::string kAlpha =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  out.clear();
  uint32_t acc = 0;
  int bits = 0, pad = 0;
  for (char c : in) {
    if (c == ' ' || c == '\n' || c == '\r' || c == '\t') continue;
    if (c == '=') {
      ++pad;
      continue;
    }
    if (pad) return false;  // data after padding
    const size_t v = kAlpha.find(c);
    if (v == std::string::npos) return false;
    acc = (acc << 6) | static_cast<uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((acc >> bits) & 0xFF);
    }
  }
  return pad <= 2;
}

// zlib or gzip stream (told apart by its header) to exactly `expect` bytes.
bool inflateExact(const std::string& in, size_t expect, std::string& out) {
  out.assign(expect + 1, '\0');
  z_stream zs{};
  if (inflateInit2(&zs, 15 + 32) != Z_OK) return false;
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  zs.avail_in = static_cast<uInt>(in.size());
  zs.next_out = reinterpret_cast<Bytef*>(&out[0]);
  zs.avail_out = static_cast<uInt>(out.size());
  const int rc = inflate(&zs, Z_FINISH);
  const size_t got = out.size() - zs.avail_out;
  inflateEnd(&zs);
  if (rc != Z_STREAM_END || got != expect) return false;
  out.resize(expect);
  return true;
}

std::string cellCountWhy(size_t got, size_t count) {
  return "data holds " + std::to_string(got) + " cells, the layer " + std::to_string(count);
}

// Fills `gids` with `count` cells from a layer's or chunk's data.
bool decodeCells(const std::string& text, const std::string& encoding,
                 const std::string& compression, size_t count, std::vector<uint32_t>& gids,
                 std::string& why) {
  gids.clear();
  if (encoding == "csv") {
    if (!compression.empty()) {
      why = "compressed csv data";
      return false;
    }
    const char* p = text.c_str();
    while (*p) {
      while (*p == ',' || *p == ' ' || *p == '\n' || *p == '\r' || *p == '\t') ++p;
      if (!*p) break;
      if (*p < '0' || *p > '9') {
        why = "csv data holds something that is not a tile number";
        return false;
      }
      char* end = nullptr;
      const unsigned long long v = std::strtoull(p, &end, 10);
      if (v > 0xFFFFFFFFull) {
        why = "tile number out of range in csv data";
        return false;
      }
      if (gids.size() >= count) {
        why = "more cells in the data than the layer has";
        return false;
      }
      gids.push_back(static_cast<uint32_t>(v));
      p = end;
    }
  } else if (encoding == "base64") {
    std::string raw, bytes;
    if (!base64Decode(text, raw)) {
      why = "broken base64 data";
      return false;
    }
    if (compression.empty()) {
      bytes.swap(raw);
    } else if (compression == "zlib" || compression == "gzip") {
      if (!inflateExact(raw, count * 4, bytes)) {
        why = "broken " + compression + " data (or not " + std::to_string(count) + " cells)";
        return false;
      }
    } else {
      why = "unsupported compression \"" + compression +
            "\" (save the map with zlib, gzip or no compression)";
      return false;
    }
    if (bytes.size() != count * 4) {
      why = cellCountWhy(bytes.size() / 4, count);
      return false;
    }
    gids.resize(count);
    for (size_t i = 0; i < count; ++i) {
      const auto* b = reinterpret_cast<const unsigned char*>(bytes.data() + i * 4);
      gids[i] = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    }
  } else {
    why = "unsupported data encoding \"" + encoding + "\"";
    return false;
  }
  if (gids.size() != count) {
    why = cellCountWhy(gids.size(), count);
    return false;
  }
  return true;
}

// A rectangle's size, checked against the cell budget shared by the map.
bool sizeOk(long long w, long long h, uint64_t& budget, std::string& why) {
  if (w < 0 || h < 0 || w > 1 << 20 || h > 1 << 20 || uint64_t(w) * uint64_t(h) > budget) {
    why = "layer size " + std::to_string(w) + " x " + std::to_string(h) + " is out of range";
    return false;
  }
  budget -= uint64_t(w) * uint64_t(h);
  return true;
}

// Both readers fetch a whole number by name as get(name, out, default, lo,
// hi) and a number as get(name, out, default); what differs is only where
// they look and how they name the spot in a message. The fields read here
// are the same in TMX and JSON, checked in the same order.
struct IntField {
  const char* name;
  int* out;
  long long def, lo, hi;
};

template <class GetInt>
bool readInts(GetInt get, std::initializer_list<IntField> fields) {
  for (const auto& f : fields) {
    long long v;
    if (!get(f.name, v, f.def, f.lo, f.hi)) return false;
    *f.out = int(v);
  }
  return true;
}

template <class GetInt>
bool readMapGrid(GetInt get, Map& map) {
  return readInts(get, {{"tilewidth", &map.tileW, 0, 0, 1 << 16},
                        {"tileheight", &map.tileH, 0, 0, 1 << 16},
                        {"width", &map.width, 0, 0, 1 << 20},
                        {"height", &map.height, 0, 0, 1 << 20}});
}

template <class GetInt>
bool readTilesetGrid(GetInt get, Tileset& ts) {
  long long count;
  if (!readInts(get, {{"tilewidth", &ts.tileW, 0, 0, 1 << 16},
                      {"tileheight", &ts.tileH, 0, 0, 1 << 16},
                      {"spacing", &ts.spacing, 0, 0, 1 << 16},
                      {"margin", &ts.margin, 0, 0, 1 << 16},
                      {"columns", &ts.columns, 0, 0, 1 << 16}}) ||
      !get("tilecount", count, 0, 0, 1 << 24))
    return false;
  ts.tilecount = uint32_t(count);
  return true;
}

template <class GetInt>
bool readTileOffset(GetInt get, Tileset& ts) {
  return readInts(
      get, {{"x", &ts.offsetX, 0, INT_MIN, INT_MAX}, {"y", &ts.offsetY, 0, INT_MIN, INT_MAX}});
}

// A chunk of an infinite map's layer: where it lies and its size.
template <class GetInt>
bool readChunkRect(GetInt get, Chunk& c) {
  return readInts(get, {{"x", &c.x, 0, -(1 << 24), 1 << 24},
                        {"y", &c.y, 0, -(1 << 24), 1 << 24},
                        {"width", &c.w, 0, 0, 1 << 20},
                        {"height", &c.h, 0, 0, 1 << 20}});
}

// A fixed-size map's layer: the map's size unless it says otherwise.
template <class GetInt>
bool readLayerSize(GetInt get, const Map& map, Chunk& c) {
  return readInts(
      get, {{"width", &c.w, map.width, 0, 1 << 20}, {"height", &c.h, map.height, 0, 1 << 20}});
}

template <class GetNum>
bool readLayerNumbers(GetNum get, Layer& l) {
  return get("parallaxx", l.parallaxX, 1) && get("parallaxy", l.parallaxY, 1) &&
         get("opacity", l.opacity, 1) && get("offsetx", l.offsetX, 0) &&
         get("offsety", l.offsetY, 0);
}

// ---- TMX / TSX ---------------------------------------------------------------

class XmlReader {
 public:
  XmlReader(const std::string& text, const std::string& path, std::vector<std::string>& errors)
      : path_(path), errors_(errors) {
    size_t pos = 0;
    while ((pos = text.find('\n', pos)) != std::string::npos) lineEnds_.push_back(pos++);
  }

  std::string at(const pugi::xml_node& n) const {
    const ptrdiff_t off = n.offset_debug();
    const size_t line =
        off < 0 ? 0
                : size_t(std::lower_bound(lineEnds_.begin(), lineEnds_.end(), size_t(off)) -
                         lineEnds_.begin()) + 1;
    return path_ + ":" + std::to_string(line);
  }
  bool fail(const pugi::xml_node& n, const std::string& what) {
    errors_.push_back(at(n) + ": " + what);
    return false;
  }
  bool intAttr(const pugi::xml_node& n, const char* name, long long& out, long long def,
               long long lo = INT_MIN, long long hi = INT_MAX) {
    const pugi::xml_attribute a = n.attribute(name);
    if (!a) {
      out = def;
      return true;
    }
    const char* s = a.value();
    char* end = nullptr;
    errno = 0;
    out = std::strtoll(s, &end, 10);
    if (end == s || *end || errno || out < lo || out > hi)
      return fail(n, std::string("attribute ") + name + "=\"" + s + "\" is not a whole number in range");
    return true;
  }
  bool numAttr(const pugi::xml_node& n, const char* name, double& out, double def) {
    const pugi::xml_attribute a = n.attribute(name);
    if (!a) {
      out = def;
      return true;
    }
    const char* s = a.value();
    char* end = nullptr;
    out = std::strtod(s, &end);
    if (end == s || *end || !std::isfinite(out) || std::fabs(out) > 1e9)
      return fail(n, std::string("attribute ") + name + "=\"" + s + "\" is not a number");
    return true;
  }

  // The attribute getters of one element, in the shape the shared field
  // readers take.
  auto ints(const pugi::xml_node& n) {
    return [this, n](const char* name, long long& out, long long def, long long lo, long long hi) {
      return intAttr(n, name, out, def, lo, hi);
    };
  }
  auto nums(const pugi::xml_node& n) {
    return
        [this, n](const char* name, double& out, double def) { return numAttr(n, name, out, def); };
  }

  void properties(const pugi::xml_node& owner, Properties& out) {
    for (const auto& p : owner.child("properties").children("property")) {
      Property prop;
      prop.name = p.attribute("name").value();
      prop.type = p.attribute("type") ? p.attribute("type").value() : "string";
      prop.value = p.attribute("value") ? p.attribute("value").value() : p.text().get();
      prop.where = at(p);
      out.list.push_back(prop);
    }
  }

  // <tileset> contents (embedded in a map or the root of a .tsx).
  bool tileset(const pugi::xml_node& n, const std::string& file, Tileset& ts) {
    ts.name = n.attribute("name").value();
    if (!readTilesetGrid(ints(n), ts)) return false;
    if (auto off = n.child("tileoffset"))
      if (!readTileOffset(ints(off), ts)) return false;
    if (auto img = n.child("image")) {
      ts.image = joinPath(dirOf(file), img.attribute("source").value());
      ts.imageWhere = at(img);
    }
    for (const auto& t : n.children("tile")) {
      TileInfo ti;
      long long v;
      if (!intAttr(t, "id", v, 0, 0, 1 << 24)) return false;
      ti.id = uint32_t(v);
      ti.type = t.attribute("type") ? t.attribute("type").value() : t.attribute("class").value();
      ti.animated = bool(t.child("animation"));
      ti.shapes = bool(t.child("objectgroup"));
      ti.where = at(t);
      if (t.child("image") && ts.image.empty()) ts.imageWhere = at(t);
      ts.tiles.push_back(ti);
    }
    return true;
  }

  // Cells of a layer's <data> or of one of its <chunk>s (which carry the
  // data element's encoding).
  bool data(const pugi::xml_node& d, const pugi::xml_node& coding, Chunk& c, uint64_t& budget) {
    std::string why;
    if (!sizeOk(c.w, c.h, budget, why)) return fail(d, why);
    const size_t count = size_t(c.w) * size_t(c.h);
    const std::string enc = coding.attribute("encoding").value();
    if (enc.empty()) {  // one <tile gid="..."/> per cell
      c.gids.clear();
      for (const auto& t : d.children("tile")) {
        long long g;
        if (!intAttr(t, "gid", g, 0, 0, 0xFFFFFFFFll)) return false;
        if (c.gids.size() >= count) return fail(d, "more cells in the data than the layer has");
        c.gids.push_back(uint32_t(g));
      }
      if (c.gids.size() != count) return fail(d, cellCountWhy(c.gids.size(), count));
      return true;
    }
    if (!decodeCells(d.text().get(), enc, coding.attribute("compression").value(), count, c.gids,
                     why))
      return fail(d, why);
    return true;
  }

  bool layer(const pugi::xml_node& n, const Map& map, Layer& l, uint64_t& budget, int depth) {
    l.where = at(n);
    l.name = n.attribute("name").value();
    const std::string kind = n.name();
    if (!readLayerNumbers(nums(n), l)) return false;
    l.tint = n.attribute("tintcolor").value();
    properties(n, l.props);
    if (kind == "layer") {
      l.kind = Layer::Kind::Tiles;
      const pugi::xml_node d = n.child("data");
      if (!d) return fail(n, "tile layer without data");
      if (d.child("chunk")) {
        for (const auto& ch : d.children("chunk")) {
          Chunk c;
          c.where = at(ch);
          if (!readChunkRect(ints(ch), c) || !data(ch, d, c, budget)) return false;
          l.chunks.push_back(std::move(c));
        }
      } else {
        Chunk c;
        c.where = at(d);
        if (!readLayerSize(ints(n), map, c) || !data(d, d, c, budget)) return false;
        l.chunks.push_back(std::move(c));
      }
    } else if (kind == "objectgroup") {
      l.kind = Layer::Kind::Objects;
      for (const auto& o : n.children("object")) {
        MapObject obj;
        long long v;
        obj.where = at(o);
        if (o.attribute("template"))
          return fail(o, "object templates are not read: detach the object from its template");
        if (!intAttr(o, "id", v, 0, 0, 0xFFFFFFFFll)) return false;
        obj.id = uint32_t(v);
        obj.name = o.attribute("name").value();
        obj.type = o.attribute("type") ? o.attribute("type").value() : o.attribute("class").value();
        if (!numAttr(o, "x", obj.x, 0) || !numAttr(o, "y", obj.y, 0)) return false;
        if (!intAttr(o, "gid", v, 0, 0, 0xFFFFFFFFll)) return false;
        obj.gid = uint32_t(v);
        properties(o, obj.props);
        l.objects.push_back(std::move(obj));
      }
    } else if (kind == "imagelayer") {
      l.kind = Layer::Kind::Image;
    } else {
      l.kind = Layer::Kind::Group;
      if (depth > 32) return fail(n, "groups nested too deep");
      if (!layers(n, map, l.children, budget, depth + 1)) return false;
    }
    return true;
  }

  bool layers(const pugi::xml_node& parent, const Map& map, std::vector<Layer>& out,
              uint64_t& budget, int depth) {
    for (const auto& n : parent.children()) {
      const std::string k = n.name();
      if (k != "layer" && k != "objectgroup" && k != "imagelayer" && k != "group") continue;
      Layer l;
      if (!layer(n, map, l, budget, depth)) return false;
      out.push_back(std::move(l));
    }
    return true;
  }

 private:
  std::string path_;
  std::vector<std::string>& errors_;
  std::vector<size_t> lineEnds_;
};

bool loadXml(pugi::xml_document& doc, const std::string& text, const std::string& path,
             std::vector<std::string>& errors) {
  const pugi::xml_parse_result r = doc.load_buffer(text.data(), text.size());
  if (!r) {
    const size_t line = size_t(std::count(text.begin(), text.begin() + std::min<size_t>(
                                                               size_t(std::max<ptrdiff_t>(r.offset, 0)),
                                                               text.size()),
                                          '\n')) + 1;
    errors.push_back(path + ":" + std::to_string(line) + ": broken XML (" + r.description() + ")");
    return false;
  }
  return true;
}

// ---- JSON --------------------------------------------------------------------

class JsonReader {
 public:
  JsonReader(const std::string& path, std::vector<std::string>& errors)
      : path_(path), errors_(errors) {}

  std::string at(const std::string& ptr) const { return path_ + ":" + (ptr.empty() ? "/" : ptr); }
  bool fail(const std::string& ptr, const std::string& what) {
    errors_.push_back(at(ptr) + ": " + what);
    return false;
  }
  bool num(const json& o, const char* key, const std::string& ptr, double& out, double def) {
    auto it = o.find(key);
    if (it == o.end()) {
      out = def;
      return true;
    }
    if (!it->is_number() || !std::isfinite(it->get<double>()) || std::fabs(it->get<double>()) > 1e9)
      return fail(ptr + "/" + key, "not a number");
    out = it->get<double>();
    return true;
  }
  bool integer(const json& o, const char* key, const std::string& ptr, long long& out,
               long long def, long long lo = INT_MIN, long long hi = INT_MAX) {
    auto it = o.find(key);
    if (it == o.end()) {
      out = def;
      return true;
    }
    double d = 0;
    if (!it->is_number() || (d = it->get<double>(), d != std::floor(d)) || d < double(lo) ||
        d > double(hi))
      return fail(ptr + "/" + key, "not a whole number in range");
    out = (long long)d;
    return true;
  }
  auto ints(const json& o, const std::string& ptr) {
    return [this, &o, ptr](const char* key, long long& out, long long def, long long lo,
                           long long hi) { return integer(o, key, ptr, out, def, lo, hi); };
  }
  auto nums(const json& o, const std::string& ptr) {
    return [this, &o, ptr](const char* key, double& out, double def) {
      return num(o, key, ptr, out, def);
    };
  }
  std::string str(const json& o, const char* key) {
    auto it = o.find(key);
    return it != o.end() && it->is_string() ? it->get<std::string>() : std::string();
  }

  // Calls each(element, its pointer) for every element of the list o[key],
  // which must be a list of objects; none when there is no such key.
  template <class Each>
  bool eachObject(const json& o, const char* key, const std::string& ptr, Each each) {
    auto it = o.find(key);
    if (it == o.end()) return true;
    const std::string lp = ptr + "/" + key;
    if (!it->is_array()) return fail(lp, "not a list");
    for (size_t i = 0; i < it->size(); ++i) {
      const std::string ep = lp + "/" + std::to_string(i);
      if (!(*it)[i].is_object()) return fail(ep, "not an object");
      if (!each((*it)[i], ep)) return false;
    }
    return true;
  }

  bool properties(const json& o, const std::string& ptr, Properties& out) {
    return eachObject(o, "properties", ptr, [&](const json& p, const std::string& pp) {
      Property prop;
      prop.name = str(p, "name");
      prop.type = p.contains("type") ? str(p, "type") : "string";
      prop.where = at(pp);
      auto v = p.find("value");
      if (v == p.end()) {
      } else if (v->is_string()) {
        prop.value = v->get<std::string>();
      } else if (v->is_boolean()) {
        prop.value = v->get<bool>() ? "true" : "false";
      } else if (v->is_number_integer()) {
        prop.value = std::to_string(v->get<long long>());
      } else if (v->is_number()) {
        prop.value = v->dump();
      }
      out.list.push_back(prop);
      return true;
    });
  }

  bool tileset(const json& o, const std::string& ptr, const std::string& file, Tileset& ts) {
    ts.name = str(o, "name");
    if (!readTilesetGrid(ints(o, ptr), ts)) return false;
    auto off = o.find("tileoffset");
    if (off != o.end() && off->is_object() && !readTileOffset(ints(*off, ptr + "/tileoffset"), ts))
      return false;
    if (o.contains("image")) {
      ts.image = joinPath(dirOf(file), str(o, "image"));
      ts.imageWhere = at(ptr + "/image");
    }
    return eachObject(o, "tiles", ptr, [&](const json& t, const std::string& tp) {
      TileInfo ti;
      long long v;
      if (!integer(t, "id", tp, v, 0, 0, 1 << 24)) return false;
      ti.id = uint32_t(v);
      ti.type = t.contains("type") ? str(t, "type") : str(t, "class");
      ti.animated = t.contains("animation");
      ti.shapes = t.contains("objectgroup");
      ti.where = at(tp);
      if (t.contains("image") && ts.image.empty()) ts.imageWhere = at(tp + "/image");
      ts.tiles.push_back(ti);
      return true;
    });
  }

  bool cells(const json& o, const std::string& ptr, const std::string& encoding,
             const std::string& compression, Chunk& c, uint64_t& budget) {
    std::string why;
    if (!sizeOk(c.w, c.h, budget, why)) return fail(ptr, why);
    const size_t count = size_t(c.w) * size_t(c.h);
    auto d = o.find("data");
    if (d == o.end()) return fail(ptr, "tile layer without data");
    if (d->is_array()) {
      if (d->size() != count) return fail(ptr + "/data", cellCountWhy(d->size(), count));
      c.gids.resize(count);
      for (size_t i = 0; i < count; ++i) {
        const json& g = (*d)[i];
        if (!g.is_number_unsigned() || g.get<uint64_t>() > 0xFFFFFFFFull)
          return fail(ptr + "/data/" + std::to_string(i), "not a tile number");
        c.gids[i] = uint32_t(g.get<uint64_t>());
      }
      return true;
    }
    if (!d->is_string()) return fail(ptr + "/data", "neither a list nor a string");
    if (encoding != "base64") return fail(ptr + "/encoding", "unsupported data encoding \"" + encoding + "\"");
    if (!decodeCells(d->get<std::string>(), encoding, compression, count, c.gids, why))
      return fail(ptr + "/data", why);
    return true;
  }

  bool layer(const json& o, const std::string& ptr, const Map& map, Layer& l, uint64_t& budget,
             int depth) {
    l.where = at(ptr);
    l.name = str(o, "name");
    if (!readLayerNumbers(nums(o, ptr), l)) return false;
    l.tint = str(o, "tintcolor");
    if (!properties(o, ptr, l.props)) return false;
    const std::string kind = str(o, "type");
    const std::string enc = str(o, "encoding"), comp = str(o, "compression");
    if (kind == "tilelayer") {
      l.kind = Layer::Kind::Tiles;
      if (o.contains("chunks")) {
        const bool ok = eachObject(o, "chunks", ptr, [&](const json& ch, const std::string& cp) {
          Chunk c;
          c.where = at(cp);
          if (!readChunkRect(ints(ch, cp), c) || !cells(ch, cp, enc, comp, c, budget)) return false;
          l.chunks.push_back(std::move(c));
          return true;
        });
        if (!ok) return false;
      } else {
        Chunk c;
        c.where = at(ptr + "/data");
        if (!readLayerSize(ints(o, ptr), map, c) || !cells(o, ptr, enc, comp, c, budget))
          return false;
        l.chunks.push_back(std::move(c));
      }
    } else if (kind == "objectgroup") {
      l.kind = Layer::Kind::Objects;
      const bool ok = eachObject(o, "objects", ptr, [&](const json& ob, const std::string& op) {
        MapObject obj;
        long long v;
        obj.where = at(op);
        if (ob.contains("template"))
          return fail(op, "object templates are not read: detach the object from its template");
        if (!integer(ob, "id", op, v, 0, 0, 0xFFFFFFFFll)) return false;
        obj.id = uint32_t(v);
        obj.name = str(ob, "name");
        obj.type = ob.contains("type") ? str(ob, "type") : str(ob, "class");
        if (!num(ob, "x", op, obj.x, 0) || !num(ob, "y", op, obj.y, 0)) return false;
        if (!integer(ob, "gid", op, v, 0, 0, 0xFFFFFFFFll)) return false;
        obj.gid = uint32_t(v);
        if (!properties(ob, op, obj.props)) return false;
        l.objects.push_back(std::move(obj));
        return true;
      });
      if (!ok) return false;
    } else if (kind == "imagelayer") {
      l.kind = Layer::Kind::Image;
    } else if (kind == "group") {
      l.kind = Layer::Kind::Group;
      if (depth > 32) return fail(ptr, "groups nested too deep");
      if (!layers(o, ptr, map, l.children, budget, depth + 1)) return false;
    } else {
      return fail(ptr + "/type", "unknown layer type \"" + kind + "\"");
    }
    return true;
  }

  // The layers of the map or of a group `o`.
  bool layers(const json& o, const std::string& ptr, const Map& map, std::vector<Layer>& out,
              uint64_t& budget, int depth) {
    return eachObject(o, "layers", ptr, [&](const json& lo, const std::string& lp) {
      Layer l;
      if (!layer(lo, lp, map, l, budget, depth)) return false;
      out.push_back(std::move(l));
      return true;
    });
  }

 private:
  std::string path_;
  std::vector<std::string>& errors_;
};

bool loadJson(json& doc, const std::string& text, const std::string& path,
              std::vector<std::string>& errors) {
  doc = json::parse(text, nullptr, false);
  if (doc.is_discarded() || !doc.is_object()) {
    errors.push_back(path + ": broken JSON (not one well-formed object)");
    return false;
  }
  return true;
}

bool looksXml(const std::string& text) {
  for (char c : text) {
    if (c == ' ' || c == '\n' || c == '\r' || c == '\t') continue;
    return c == '<';
  }
  return false;
}

// An external tileset file, either format.
bool readTilesetFile(const std::string& file, const std::string& ref, Tileset& ts,
                     std::vector<std::string>& errors, const FileReader& files) {
  std::string text;
  if (!files || !files(file, text)) {
    errors.push_back(ref + ": tileset file \"" + file + "\" cannot be read");
    return false;
  }
  ts.file = file;
  if (looksXml(text)) {
    pugi::xml_document doc;
    if (!loadXml(doc, text, file, errors)) return false;
    XmlReader x(text, file, errors);
    const pugi::xml_node n = doc.child("tileset");
    if (!n) return x.fail(doc.first_child(), "not a Tiled tileset (no <tileset> element)");
    return x.tileset(n, file, ts);
  }
  json doc;
  if (!loadJson(doc, text, file, errors)) return false;
  JsonReader j(file, errors);
  return j.tileset(doc, "", file, ts);
}

}  // namespace

bool parseMap(const std::string& text, const std::string& path, Map& map,
              std::vector<std::string>& errors, const FileReader& files) {
  map = Map();
  map.file = path;
  uint64_t budget = kMaxCells;
  long long v;
  if (looksXml(text)) {
    pugi::xml_document doc;
    if (!loadXml(doc, text, path, errors)) return false;
    XmlReader x(text, path, errors);
    const pugi::xml_node m = doc.child("map");
    if (!m) return x.fail(doc.first_child(), "not a Tiled map (no <map> element)");
    map.where = x.at(m);
    map.orientation = m.attribute("orientation").value();
    if (!readMapGrid(x.ints(m), map) || !x.intAttr(m, "infinite", v, 0, 0, 1)) return false;
    map.infinite = v != 0;
    x.properties(m, map.props);
    for (const auto& t : m.children("tileset")) {
      Tileset ts;
      ts.where = x.at(t);
      if (!x.intAttr(t, "firstgid", v, 0, 1, 0x0FFFFFFF)) return false;
      ts.firstgid = uint32_t(v);
      if (t.attribute("source")) {
        if (!readTilesetFile(joinPath(dirOf(path), t.attribute("source").value()), ts.where, ts,
                             errors, files))
          return false;
      } else if (!x.tileset(t, path, ts)) {
        return false;
      }
      map.tilesets.push_back(std::move(ts));
    }
    return x.layers(m, map, map.layers, budget, 0);
  }

  json doc;
  if (!loadJson(doc, text, path, errors)) return false;
  JsonReader j(path, errors);
  if (j.str(doc, "type") != "map") return j.fail("/type", "not a Tiled map (type is not \"map\")");
  map.where = j.at("");
  map.orientation = j.str(doc, "orientation");
  if (!readMapGrid(j.ints(doc, ""), map)) return false;
  auto inf = doc.find("infinite");
  map.infinite = inf != doc.end() && inf->is_boolean() && inf->get<bool>();
  if (!j.properties(doc, "", map.props)) return false;
  const bool setsOk = j.eachObject(doc, "tilesets", "", [&](const json& t, const std::string& tp) {
    Tileset ts;
    ts.where = j.at(tp);
    if (!j.integer(t, "firstgid", tp, v, 0, 1, 0x0FFFFFFF)) return false;
    ts.firstgid = uint32_t(v);
    if (t.contains("source")) {
      if (!readTilesetFile(joinPath(dirOf(path), j.str(t, "source")), ts.where, ts, errors, files))
        return false;
    } else if (!j.tileset(t, tp, path, ts)) {
      return false;
    }
    map.tilesets.push_back(std::move(ts));
    return true;
  });
  return setsOk && j.layers(doc, "", map, map.layers, budget, 0);
}

bool readMap(const std::string& path, Map& out, std::vector<std::string>& errors,
             const FileReader& files) {
  std::string text;
  if (!files || !files(path, text)) {
    errors.push_back(path + ": cannot be read");
    return false;
  }
  return parseMap(text, path, out, errors, files);
}

}  // namespace tiled
