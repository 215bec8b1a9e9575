// A small Tiled map written by hand in each of Tiled's encodings, for the
// importer's tests: two frames wide, one high, a parallax layer behind, the
// ground, an object layer with a crate and a character, a layer in front.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "unit/png_maker.h"
#include "unit/scratch_dir.h"

namespace tiledtest {

constexpr int kW = 40, kH = 15;

inline void put(const std::string& p, const std::string& bytes) { writeBytes(p, bytes); }

// Tile sheet: tile 0 unused (black), 1 red, 2 green, 3 blue.
inline std::string sheetPng() {
  pngtest::Image img(128, 32, {0, 0, 0, 255});
  img.rect(32, 0, 32, 32, {255, 0, 0, 255});
  img.rect(64, 0, 32, 32, {0, 255, 0, 255});
  img.rect(96, 0, 32, 32, {0, 0, 255, 255});
  return img.encode();
}

struct Layer {
  std::string name;
  double parallax = 1;
  std::vector<uint32_t> gids = std::vector<uint32_t>(kW * kH, 0);
  void set(int col, int row, uint32_t gid) { gids[size_t(row * kW + col)] = gid; }
};

// firstgid 1: gid = tile + 1.
inline std::vector<Layer> layers() {
  Layer back{"back", 0.5}, ground{"ground"}, front{"front"};
  for (int c = 0; c < kW; ++c) ground.set(c, 14, 2);  // red floor
  ground.set(25, 10, 3);                               // green block, frame 1
  back.set(2, 2, 4);                                   // blue, far behind
  front.set(5, 5, 4);
  return {back, ground, front};
}

enum class Enc { Csv, Base64, Zlib, Gzip, XmlTiles, Chunks, JsonArray, JsonZlib, JsonChunks };

inline std::string bytesOf(const std::vector<uint32_t>& g) {
  std::string b;
  for (uint32_t v : g) b += u32(v);
  return b;
}

inline std::string base64(const std::string& in) {
  static const char* a = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < in.size(); i += 3) {
    uint32_t v = uint32_t(uint8_t(in[i])) << 16;
    if (i + 1 < in.size()) v |= uint32_t(uint8_t(in[i + 1])) << 8;
    if (i + 2 < in.size()) v |= uint8_t(in[i + 2]);
    out += a[v >> 18];
    out += a[(v >> 12) & 63];
    out += i + 1 < in.size() ? a[(v >> 6) & 63] : '=';
    out += i + 2 < in.size() ? a[v & 63] : '=';
  }
  return out;
}

inline std::string csv(const std::vector<uint32_t>& g) {
  std::string s;
  for (size_t i = 0; i < g.size(); ++i) s += std::to_string(g[i]) + (i + 1 < g.size() ? "," : "");
  return s;
}

// The cells of columns [x, x + 20) as one chunk.
inline std::vector<uint32_t> part(const std::vector<uint32_t>& g, int x) {
  std::vector<uint32_t> out;
  for (int r = 0; r < kH; ++r)
    for (int c = x; c < x + 20; ++c) out.push_back(g[size_t(r * kW + c)]);
  return out;
}

inline const char* kTsx =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<tileset version=\"1.8\" tiledversion=\"1.8.2\" name=\"blocks\" tilewidth=\"32\" "
    "tileheight=\"32\" tilecount=\"4\" columns=\"4\">\n"
    " <image source=\"sheet.png\" width=\"128\" height=\"32\"/>\n"
    " <tile id=\"1\" type=\"red\"/>\n"
    "</tileset>\n";
inline const char* kTsj =
    "{\"name\":\"blocks\",\"tilewidth\":32,\"tileheight\":32,\"tilecount\":4,\"columns\":4,"
    "\"image\":\"sheet.png\",\"imagewidth\":128,\"imageheight\":32,\"type\":\"tileset\","
    "\"tiles\":[{\"id\":1,\"type\":\"red\"}]}";

// The same tilesets inside the map instead of beside it.
inline const char* kTsxEmbedded =
    "<tileset firstgid=\"1\" name=\"blocks\" tilewidth=\"32\" tileheight=\"32\" tilecount=\"4\" "
    "columns=\"4\"><image source=\"sheet.png\" width=\"128\" height=\"32\"/><tile id=\"1\" type=\"red\"/></tileset>";
inline const char* kTsjEmbedded =
    "{\"firstgid\":1,\"name\":\"blocks\",\"tilewidth\":32,\"tileheight\":32,\"tilecount\":4,\"columns\":4,"
    "\"image\":\"sheet.png\",\"tiles\":[{\"id\":1,\"type\":\"red\"}]}";

// The map as TMX; `tileset` is the <tileset> element (embedded or a reference).
inline std::string tmx(Enc enc, const std::string& tileset =
                                    "<tileset firstgid=\"1\" source=\"blocks.tsx\"/>") {
  const bool chunks = enc == Enc::Chunks;
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                  "<map version=\"1.8\" orientation=\"orthogonal\" renderorder=\"right-down\" width=\"40\" "
                  "height=\"15\" tilewidth=\"32\" tileheight=\"32\" infinite=\"" +
                  std::string(chunks ? "1" : "0") + "\">\n"
                  " <properties>\n"
                  "  <property name=\"always\" value=\"tick\"/>\n"
                  "  <property name=\"sky\" type=\"file\" value=\"sky.png\"/>\n"
                  " </properties>\n " + tileset + "\n";
  int id = 1;
  for (const auto& l : layers()) {
    if (l.name == "front")
      s += " <objectgroup id=\"9\" name=\"things\">\n"
           "  <object id=\"1\" name=\"box\" x=\"80\" y=\"448\"><properties>"
           "<property name=\"hp\" type=\"int\" value=\"10\"/>"
           "<property name=\"sprite\" type=\"file\" value=\"crate.png\"/></properties><point/></object>\n"
           "  <object id=\"2\" name=\"bob\" type=\"npc\" x=\"300\" y=\"448\"><properties>"
           "<property name=\"hp\" type=\"int\" value=\"5\"/><property name=\"script\" value=\"bob.lua\"/>"
           "<property name=\"sprite\" type=\"file\" value=\"crate.png\"/></properties><point/></object>\n"
           " </objectgroup>\n";
    s += " <layer id=\"" + std::to_string(id++) + "\" name=\"" + l.name + "\" width=\"40\" height=\"15\"";
    if (l.parallax != 1) s += " parallaxx=\"0.5\" parallaxy=\"0.5\"";
    s += ">\n";
    switch (enc) {
      case Enc::Csv: s += "  <data encoding=\"csv\">\n" + csv(l.gids) + "\n</data>\n"; break;
      case Enc::Base64: s += "  <data encoding=\"base64\">" + base64(bytesOf(l.gids)) + "</data>\n"; break;
      case Enc::Zlib:
      case Enc::Gzip:
        s += "  <data encoding=\"base64\" compression=\"" + std::string(enc == Enc::Zlib ? "zlib" : "gzip") +
             "\">\n   " + base64(pngtest::deflate(bytesOf(l.gids), enc == Enc::Gzip)) + "\n  </data>\n";
        break;
      case Enc::XmlTiles:
        s += "  <data>";
        for (uint32_t g : l.gids) s += g ? "<tile gid=\"" + std::to_string(g) + "\"/>" : "<tile/>";
        s += "</data>\n";
        break;
      default:
        s += "  <data encoding=\"csv\">\n";
        for (int x : {0, 20})
          s += "<chunk x=\"" + std::to_string(x) + "\" y=\"0\" width=\"20\" height=\"15\">" + csv(part(l.gids, x)) + "</chunk>\n";
        s += "</data>\n";
    }
    s += " </layer>\n";
  }
  return s + "</map>\n";
}

inline std::string json(Enc enc, const std::string& tileset = "{\"firstgid\":1,\"source\":\"blocks.tsj\"}") {
  const bool chunks = enc == Enc::JsonChunks;
  std::string s = "{\"type\":\"map\",\"orientation\":\"orthogonal\",\"width\":40,\"height\":15,"
                  "\"tilewidth\":32,\"tileheight\":32,\"infinite\":" + std::string(chunks ? "true" : "false") +
                  ",\"properties\":[{\"name\":\"always\",\"type\":\"string\",\"value\":\"tick\"},"
                  "{\"name\":\"sky\",\"type\":\"file\",\"value\":\"sky.png\"}],"
                  "\"tilesets\":[" + tileset + "],\"layers\":[";
  bool firstLayer = true;
  for (const auto& l : layers()) {
    if (!firstLayer) s += ",";
    firstLayer = false;
    if (l.name == "front")
      s += "{\"type\":\"objectgroup\",\"name\":\"things\",\"objects\":["
           "{\"id\":1,\"name\":\"box\",\"x\":80,\"y\":448,\"point\":true,\"properties\":["
           "{\"name\":\"hp\",\"type\":\"int\",\"value\":10},{\"name\":\"sprite\",\"type\":\"file\",\"value\":\"crate.png\"}]},"
           "{\"id\":2,\"name\":\"bob\",\"type\":\"npc\",\"x\":300,\"y\":448,\"point\":true,\"properties\":["
           "{\"name\":\"hp\",\"type\":\"int\",\"value\":5},{\"name\":\"script\",\"type\":\"string\",\"value\":\"bob.lua\"},"
           "{\"name\":\"sprite\",\"type\":\"file\",\"value\":\"crate.png\"}]}]},";
    s += "{\"type\":\"tilelayer\",\"name\":\"" + l.name + "\",\"width\":40,\"height\":15";
    if (l.parallax != 1) s += ",\"parallaxx\":0.5,\"parallaxy\":0.5";
    if (enc == Enc::JsonArray) {
      s += ",\"data\":[" + csv(l.gids) + "]";
    } else if (enc == Enc::JsonZlib) {
      s += ",\"encoding\":\"base64\",\"compression\":\"zlib\",\"data\":\"" +
           base64(pngtest::deflate(bytesOf(l.gids), false)) + "\"";
    } else {
      s += ",\"chunks\":[";
      for (int x : {0, 20})
        s += std::string(x ? "," : "") + "{\"x\":" + std::to_string(x) +
             ",\"y\":0,\"width\":20,\"height\":15,\"data\":[" + csv(part(l.gids, x)) + "]}";
      s += "]";
    }
    s += "}";
  }
  return s + "]}";
}

// Writes the pictures and tilesets the maps name into `dir`.
inline void writeAssets(const std::string& dir) {
  put(dir + "/sheet.png", sheetPng());
  put(dir + "/blocks.tsx", kTsx);
  put(dir + "/blocks.tsj", kTsj);
  put(dir + "/sky.png", pngtest::Image(64, 48, {0, 128, 128, 255}).encode());
  put(dir + "/crate.png", pngtest::Image(32, 32, {255, 255, 0, 255}).encode());
  put(dir + "/crate.txt", "anim 0 0 32 32 1 0 0 0 32 32 crate\nframe 1 16 32\n");
}

}  // namespace tiledtest
