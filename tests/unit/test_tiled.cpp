// crs tiled and crs untiled, run as the game maker runs them: every encoding
// of one map gives one archive, refused features give their place and reason
// and write nothing, and the demo level survives the way out to a map and back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "maps/level_import.h"
#include "resources/ini_file.h"
#include "resources/parser.h"
#include "resources/resfile.h"
#include "unit/scratch_dir.h"
#include "unit/tiled_maker.h"

namespace fs = std::filesystem;
using tiledtest::Enc;

namespace {

struct Tiled : ScratchDirTest {
  void SetUp() override {
    ScratchDirTest::SetUp();
    fs::create_directories(dir / "maps");
    fs::create_directories(dir / "game" / "data");
    tiledtest::writeAssets(path("maps"));
  }
  // Runs the crs tool; its standard error lands in `err`.
  int crs(const std::string& args, std::string* err = nullptr) {
    const std::string errFile = path("stderr.txt");
    const int rc = std::system((std::string(TERVALO_CRS) + " " + args + " >/dev/null 2>" + errFile).c_str());
    if (err) *err = readBytes(errFile);
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  }
  std::string importArchive(const std::string& mapName, const std::string& text) {
    writeBytes(path("maps/" + mapName), text);
    std::string err;
    EXPECT_EQ(crs("tiled " + path("maps/" + mapName) + " " + path("game/data/m.crs"), &err), 0) << err;
    return readBytes(path("game/data/m.crs"));
  }
};

std::string entry(const std::string& archive, const std::string& name) {
  Resfile r;
  ResBuffer b = r.load(archive, name);
  return b ? std::string(b.data(), b.size()) : "<missing>";
}

// A level as the game sees it: frames by place and layer (sheet, sky,
// parallax and block bytes), objects, script lines; frame names aside.
std::string levelSummary(const std::string& archive, const std::string& lvl) {
  std::map<std::string, std::string> frames;
  std::string rest;
  Parser lines(entry(archive, lvl + ".txt"), "\r\n");
  for (int i = 0; i < lines.count(); ++i) {
    Parser w(lines.show(i), " \t");
    if (w.show(0) == "frame") {
      std::string key = w.show(4) + " " + w.show(5) + " " + w.show(6);
      frames[key] = w.show(2) + " " + w.show(3) + " " + w.show(7) + " " + w.show(8) + " " +
                    std::to_string(std::hash<std::string>()(entry(archive, w.show(1) + ".bin")));
    } else if (w.show(0) != "--") {
      rest += lines.show(i) + "\n";
    }
  }
  std::string s;
  for (const auto& f : frames) s += "frame " + f.first + ": " + f.second + "\n";
  return s + rest;
}

// An INI file as the game reads it.
std::map<std::string, IniFile::Section> iniOf(const std::string& file) {
  IniFile ini;
  ini.open(file);
  return ini.sections();
}

}  // namespace

TEST_F(Tiled, EveryEncodingOfOneMapGivesOneArchive) {
  const std::string first = importArchive("m.tmx", tiledtest::tmx(Enc::Csv));
  std::vector<std::pair<std::string, std::string>> maps = {{"m.tmx", tiledtest::tmx(Enc::Csv, tiledtest::kTsxEmbedded)},
                                                           {"m.tmj", tiledtest::json(Enc::JsonArray, tiledtest::kTsjEmbedded)}};
  for (Enc e : {Enc::Base64, Enc::Zlib, Enc::Gzip, Enc::XmlTiles, Enc::Chunks})
    maps.push_back({"m.tmx", tiledtest::tmx(e)});
  for (Enc e : {Enc::JsonArray, Enc::JsonZlib, Enc::JsonChunks})
    maps.push_back({e == Enc::JsonZlib ? "m.json" : "m.tmj", tiledtest::json(e)});
  for (const auto& m : maps) EXPECT_TRUE(importArchive(m.first, m.second) == first) << m.second.substr(0, 400);

  const std::string a = path("game/data/m.crs");
  EXPECT_EQ(entry(a, "lvl.txt"),
            "-- Level made by crs tiled from a Tiled map: edit the map, not this file.\n"
            "frame back_0_0 data/m.crs:blocks data/m.crs:sky 0 0 1 0.5 0.5\n"
            "frame ground_0_0 data/m.crs:blocks data/m.crs:sky 0 0 0 1.0 1.0\n"
            "frame ground_1_0 data/m.crs:blocks data/m.crs:sky 1 0 0 1.0 1.0\n"
            "frame front_0_0 data/m.crs:blocks data/m.crs:sky 0 0 -1 1.0 1.0\n"
            "obj 1 80 448 0 10 data/m.crs:crate\n");
  std::string ground(300, '\0');
  for (int c = 0; c < 20; ++c) ground[size_t(14 * 20 + c)] = 1;
  EXPECT_EQ(entry(a, "ground_0_0.bin"), ground);
  EXPECT_EQ(entry(a, "ground_1_0.bin")[10 * 20 + 5], 2);
  EXPECT_EQ(entry(a, "blocks.png"), tiledtest::sheetPng());
  EXPECT_EQ(entry(a, "blocks.txt"),
            "-- Tileset \"blocks\": one 32 x 32 animation per tile; animation 0 is never drawn by a block.\n"
            "anim 0 0 32 32 1 0 0 0 32 32\nanim 32 0 32 32 1 0 0 0 32 32 red\n"
            "anim 64 0 32 32 1 0 0 0 32 32\nanim 96 0 32 32 1 0 0 0 32 32\n");
  EXPECT_EQ(entry(a, "crate.txt"), "anim 0 0 32 32 1 0 0 0 32 32 crate\nframe 1 16 32\n");
  EXPECT_EQ(entry(a, "sky.txt"), "anim 0 0 64 48 1\n");
  // Eleven imports later the lists hold the level once.
  EXPECT_EQ(readBytes(path("game/npc/list.ini")), "[data/m.crs:lvl]\n2=bob\n");
  EXPECT_EQ(readBytes(path("game/npc/bob")),
            "[npc]\ndata/m.crs:lvl=1 1 1 1 300 448 0 5 data/m.crs:crate 0 255 bob.lua\n");
  EXPECT_EQ(readBytes(path("game/lua/list.ini")), "[data/m.crs:lvl]\nalways=tick\n");
}

TEST_F(Tiled, RefusedFeaturesNameTheirPlaceAndWriteNothing) {
  const std::string csv = tiledtest::tmx(Enc::Csv), json = tiledtest::json(Enc::JsonArray);
  auto with = [](std::string s, const std::string& from, const std::string& to) {
    const size_t at = s.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? s : s.replace(at, from.size(), to);
  };
  const std::string embedded = with(tiledtest::tmx(Enc::Csv, tiledtest::kTsxEmbedded), " width=\"128\" height=\"32\"", "");
  struct Row {
    std::string file, text, message;
  };
  const std::vector<Row> rows = {
      {"m.tmx", with(csv, "orthogonal", "isometric"), "m.tmx:2: orientation is \"isometric\"; only orthogonal"},
      {"m.tmj", with(json, "\"tilewidth\":32", "\"tilewidth\":16"), "m.tmj:/: tiles are 16 x 32 pixels"},
      {"m.tmx", with(embedded, "tilecount=\"4\"", "tilecount=\"300\""), "m.tmx:7: tileset \"blocks\" has 300 tiles; a block file numbers at most 256"},
      {"m.tmx", with(tiledtest::tmx(Enc::Zlib), "zlib", "zstd"), "m.tmx:9: unsupported compression \"zstd\""},
      {"m.tmx", with(csv, "blocks.tsx", "gone.tsx"), "m.tmx:7: tileset file \""},
      {"m.tmj", with(json, "blocks.tsj", "gone.tsj"), "m.tmj:/tilesets/0: tileset file \""},
      {"m.tmx", csv.substr(0, csv.size() - 30), "m.tmx:24: broken XML (Start-end tags mismatch)"},
      {"m.tmj", json.substr(0, json.size() - 3), "m.tmj: broken JSON"},
      {"m.tmj", with(json, "\"data\":[", "\"data\":[1,"), "m.tmj:/layers/0/data: data holds 601 cells, the layer 600"},
      {"m.tmx", with(csv, ",3,", ",2147483651,"), "m.tmx:13: layer \"ground\" holds 1 flipped or rotated tile (the first at cell (25, 10))"},
      {"m.tmx", with(csv, ",3,", ",1,"), "m.tmx:14: layer \"ground\", cell (25, 10): tile 0 of tileset \"blocks\" cannot be a block"},
      {"m.tmx", with(embedded, "</tileset>", "<tile id=\"2\"><animation><frame tileid=\"2\" duration=\"100\"/>"
                                             "<frame tileid=\"3\" duration=\"100\"/></animation></tile></tileset>"),
       "m.tmx:7: tile 2 of tileset \"blocks\" is animated and used in layer \"ground\" at cell (25, 10)"},
      {"m.tmx", with(with(csv, ",3,", ",7,"), "source=\"blocks.tsx\"/>", "source=\"blocks.tsx\"/> <tileset firstgid=\"5\" source=\"blocks.tsx\"/>"),
       "m.tmx:14: layer \"ground\" draws with two tilesets"},
      {"m.tmx", with(csv, "</map>", " <imagelayer id=\"20\" name=\"pic\"/>\n</map>"), "m.tmx:27: image layer \"pic\""},
      {"m.tmx", with(csv, "name=\"ground\"", "name=\"ground\" offsetx=\"5\""), "m.tmx:13: layer \"ground\" is offset"},
      {"m.tmx", with(csv, "  <property name=\"sky\" type=\"file\" value=\"sky.png\"/>\n", ""), "m.tmx:2: the map has no sky"},
      {"m.tmj", with(json, "\"value\":5}", "\"value\":5},{\"name\":\"id\",\"type\":\"int\",\"value\":150}"),
       "m.tmj:/layers/2/objects/1/properties/1: property \"id\" must be a whole number from 1 to 99"},
  };
  for (const auto& r : rows) {
    fs::remove_all(dir / "game");
    fs::create_directories(dir / "game" / "data");
    writeBytes(path("maps/" + r.file), r.text);
    std::string err;
    EXPECT_EQ(crs("tiled " + path("maps/" + r.file) + " " + path("game/data/m.crs"), &err), 1) << r.message;
    EXPECT_NE(err.find(path("maps/" + r.message.substr(0, r.message.find(' ')))), std::string::npos)
        << "expected: " << r.message << "\ngot: " << err;
    EXPECT_NE(err.find(r.message.substr(r.message.find(' '))), std::string::npos)
        << "expected: " << r.message << "\ngot: " << err;
    EXPECT_FALSE(fs::exists(dir / "game" / "data" / "m.crs")) << r.message;
    EXPECT_FALSE(fs::exists(dir / "game" / "npc")) << r.message;
  }
}

// The demo's level out to a map and back: the same frames, blocks, objects,
// scripts, characters and lists.
TEST_F(Tiled, DemoLevelSurvivesUntiledAndTiled) {
  const fs::path game(TERVALO_GAME_DIR);
  const std::string level = (game / "data" / "lvl" / "miedzyczas.crs").string();
  ASSERT_TRUE(fs::exists(level)) << "build the game_data target first";
  std::string err;
  ASSERT_EQ(crs("untiled " + level + ":lvl " + path("maps/demo.tmx"), &err), 0) << err;
  fs::create_directories(dir / "copy" / "data" / "lvl");
  fs::copy(game / "npc", dir / "copy" / "npc");
  fs::copy(game / "lua", dir / "copy" / "lua");
  // The lists start without the level, so what comes back is the map's.
  for (const char* f : {"npc/list.ini", "lua/list.ini"}) {
    tiled::IniChange drop{f, "data/lvl/miedzyczas.crs:lvl", true, {}};
    writeBytes(path(std::string("copy/") + f), tiled::editIni(readBytes(path(std::string("copy/") + f)), drop));
  }
  const std::string back = path("copy/data/lvl/miedzyczas.crs");
  ASSERT_EQ(crs("tiled " + path("maps/demo.tmx") + " " + back, &err), 0) << err;
  EXPECT_EQ(levelSummary(back, "lvl"), levelSummary(level, "lvl"));
  for (const auto& e : fs::directory_iterator(game / "npc"))
    EXPECT_EQ(iniOf(path("copy/npc/" + e.path().filename().string())), iniOf(e.path().string())) << e.path();
  EXPECT_EQ(iniOf(path("copy/lua/list.ini")), iniOf((game / "lua" / "list.ini").string()));
  // Every picture and script of the archive came along unchanged.
  Resfile orig;
  ASSERT_TRUE(orig.open(level));
  for (const auto& n : orig.names())
    if (n.size() > 4 && n.compare(n.size() - 4, 4, ".txt") != 0 && n.compare(n.size() - 4, 4, ".bin") != 0) {
      EXPECT_TRUE(entry(back, n) == entry(level, n)) << n;
    }
}
