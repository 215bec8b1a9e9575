// Level files, the npc list and the character table, the level's scripts
// and its periodic function.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "unit/api_fixture.h"
#include "world/level.h"
#include "world/npc.h"

namespace {

constexpr const char* kLvl = "data/lvl/t.crs:lvl";
const std::string kSection = std::string("[") + kLvl + "]\n";

struct LevelLoad : leveltest::GameDir {
  // The level file plus a block file "f0.bin" and any extra entries.
  void level(const std::string& text, std::vector<std::pair<std::string, std::string>> extra = {}) {
    extra.emplace_back("lvl.txt", text);
    extra.emplace_back("f0.bin", blocks());
    archive("data/lvl/t.crs", extra);
  }
  static std::string global(Level& lvl, const char* name) { return apitest::global(lvl.lua, name); }
  static std::unique_ptr<Npc> npc(const char* name, uint32_t id, bool player = false) {
    auto n = std::make_unique<Npc>(name, id, 0, 0, 0, 1, nullptr, nullptr, nullptr);
    n->isPlayer = player;
    return n;
  }
};

TEST_F(LevelLoad, Failures) {
  Level lvl;
  Log::Capture cap;
  EXPECT_FALSE(lvl.load("data/lvl/none.crs:lvl"));
  EXPECT_TRUE(cap.has("FAIL: Level.load: Nie udalo sie wczytac informacji o poziomie"));
  level("-- only\r\n\r\n--  comments\n");
  EXPECT_FALSE(lvl.load(kLvl));
  EXPECT_TRUE(cap.has("FAIL: Level.load: Nie udalo sie wczytac ramek (0, 0)"));
  level("frame f0 none none 0 0\nframe short none none 1 0\nframe f0 none none 2 0\n",
        {{"short.bin", std::string(299, '\1')}});
  EXPECT_FALSE(lvl.load(kLvl));
  EXPECT_TRUE(cap.has("FAIL: Level.load: Nie udalo sie wczytac ramki (load)"));
  EXPECT_EQ(lvl.frames.size(), 2u);  // what ran before the failing line stays
  level("frame f0 none none 0 0\nscript data/lvl/t.crs:missing.lua\ncall never\n");
  EXPECT_FALSE(lvl.load(kLvl));
  EXPECT_TRUE(cap.has("FAIL: Level.load: Nie udalo sie wczytac skryptu"));
  EXPECT_EQ(lvl.frames.size(), 1u);
  EXPECT_FALSE(cap.contains("OK  : "));
}

// Frame lines of 6, 7 and 9 words (8 words: only the horizontal factor);
// frames sorted by layer, greatest first, equal layers in file order.
TEST_F(LevelLoad, FrameLinesAndLayerOrder) {
  level(
      "frame f0 none none 0 0\nframe f0 none none 1 0 -1\nframe f0 none none 2 0 2 0.5 0.25\n"
      "frame f0 none none 3 0 0 0.5\nframe f0 none none\n");
  Level lvl;
  Log::Capture cap;
  ASSERT_TRUE(lvl.load(kLvl));
  ASSERT_EQ(lvl.frames.size(), 4u);
  const int wantFx[] = {2, 0, 3, 1}, wantLayer[] = {2, 0, 0, -1};
  const float wantPx[] = {0.5f, 1, 0.5f, 1}, wantPy[] = {0.25f, 1, 1, 1};
  for (size_t i = 0; i < 4; ++i) {
    const Frame& f = *lvl.frames[i];
    EXPECT_TRUE(f.fx == wantFx[i] && f.layer == wantLayer[i] && f.parallaxX == wantPx[i] &&
                f.parallaxY == wantPy[i])
        << i;
  }
  EXPECT_EQ(lvl.right, 4 * 640);
  EXPECT_TRUE(lvl.blockAt(5, 470, 0, false));
  EXPECT_TRUE(cap.contains("OK  : Level.load: Poziom \"data/lvl/t.crs:lvl\" wczytany w "));
}

// "script"/"call" lines and lua/list.ini (files named over four characters,
// the periodic function: 2 then 3 calls in 40 ms frames); a reload starts
// a fresh state. A chunk failing while it runs is reported at once and
// stops nothing.
TEST_F(LevelLoad, ScriptsAndAlwaysClock) {
  level("frame f0 none none 1 0\nscript data/lvl/t.crs:s.lua\nscript data/lvl/t.crs:bad.lua\n"
        "call hello\n",
        {{"s.lua",
          "n = 0 function tick() n = n + 1 end "
          "function hello() w = getLvlW() f = getGlobalStr('filename') end"},
         {"bad.lua", "error('zly skrypt')"}});
  file("lua/list.ini", kSection + "file=extra.lua\nalways=tick\n");
  file("lua/extra.lua", "extra = (extra or 0) + getLvlNpcCount()");
  Level lvl;
  {
    Log::Capture cap;
    ASSERT_TRUE(lvl.load(kLvl));
    EXPECT_EQ(cap.count("zly skrypt"), 1u);
  }
  EXPECT_EQ(global(lvl, "w") + " " + global(lvl, "f"), "1280 data/lvl/t.crs");
  EXPECT_EQ(global(lvl, "extra"), "100");
  game::dt = 0.04f;
  lvl.update();
  EXPECT_EQ(global(lvl, "n"), "2");
  lvl.update();
  EXPECT_EQ(global(lvl, "n"), "5");
  file("lua/list.ini", kSection + "file=abc\nalways=\n");
  IniFile::instance().close();
  ASSERT_TRUE(lvl.load(kLvl));
  EXPECT_EQ(global(lvl, "extra"), "nil");
  Log::Capture cap;
  for (int i = 0; i < 5; ++i) lvl.update();
  EXPECT_TRUE(cap.lines().empty()) << cap.joined();
  EXPECT_EQ(global(lvl, "n"), "0");
}

// Characters come from the save, else from their own file (then saved);
// "0" lines and one-letter names make none. Unloading saves them back.
TEST_F(LevelLoad, NpcsFromListAndSave) {
  level("frame f0 none none 0 0\n");
  file("npc/list.ini", kSection + "1=guard\n2=ghost\n3=x\n4=nofile\n5=saved\n");
  file("npc/guard", "[npc]\n" + std::string(kLvl) + "=1 1 0 0 100 200 0 7 none 2 128 g.lua\n");
  file("npc/ghost", "[npc]\n" + std::string(kLvl) + "=0 1 1 1 0 0 0 1 none 0 255\n");
  file("lua/g.lua", "dbSetVal('guard_ran', getId())");
  Database& db = Database::instance();
  db.setStr(std::string(kLvl) + "_saved", "1 0 1 1 50 60 0 3 none");
  Level lvl;
  Log::Capture cap;
  ASSERT_TRUE(lvl.load(kLvl));
  EXPECT_TRUE(cap.has("\t(\"npc/nofile\", 4)"));
  EXPECT_EQ(lvl.countNpcs(), 2u);
  Npc* guard = lvl.getNpcByName("guard");
  ASSERT_TRUE(guard && lvl.npcAt(1) == guard);
  EXPECT_TRUE(guard->talkable && guard->autoAnimOff && !guard->colsOn);
  EXPECT_EQ(guard->grav, &guard->ownGrav);
  EXPECT_EQ(guard->x + guard->hp + guard->alpha, 100 + 7 + 128);
  EXPECT_EQ(db.getVal("guard_ran"), 1);
  EXPECT_EQ(db.getStr(std::string(kLvl) + "_ghost"), "0 1 1 1 0 0 0 1 none 0 255");
  ASSERT_TRUE(lvl.npcAt(5));
  EXPECT_EQ(lvl.npcAt(5)->grav, &Object::globalGrav);
  guard->x = 300.5f;
  lvl.unload();
  EXPECT_EQ(lvl.npcCap + lvl.countNpcs() + lvl.objs.size() + lvl.right, 0u);
  // Without a sprite the sprite word is "-" and there is no animation; the
  // line reads back with the same position, opacity and script.
  EXPECT_EQ(db.getStr(std::string(kLvl) + "_guard"), "1 1 0 0 300 200 0 7 - 0 128 g.lua");
  db.setVal("guard_ran", 0);
  cap.clear();
  ASSERT_TRUE(lvl.load(kLvl));
  Npc* back = lvl.npcAt(1);
  ASSERT_TRUE(back);
  EXPECT_TRUE(back->x == 300 && back->hp == 7 && back->alpha == 128 && !back->sprite);
  EXPECT_EQ(back->script, "lua/g.lua");
  EXPECT_EQ(db.getVal("guard_ran"), 1);
  EXPECT_FALSE(cap.contains("\"-\"")) << cap.joined();  // no picture asked for
  EXPECT_EQ(lvl.npcCap, 1u + 5u) << "the table is made afresh by the first character";
}

TEST_F(LevelLoad, CharacterTable) {
  Level lvl;
  Log::Capture cap;
  lvl.addNpc(npc("a", 3), 3);
  Npc* b = lvl.addNpc(npc("b", 3), 3);
  EXPECT_TRUE(cap.has("FAIL: Level.addObj: Zastepowanie npc (3)"));
  EXPECT_EQ(lvl.npcAt(3), b);
  Npc* player = lvl.addNpc(npc("player", 0, true), 7);
  EXPECT_EQ(lvl.addNpc(npc("c", 7), 7), nullptr);
  EXPECT_TRUE(cap.has("FAIL: Level.addObj: Proba nadpisania gracza (7)"));
  EXPECT_EQ(lvl.npcAt(7), player);
  EXPECT_EQ(lvl.objs.size(), 2u);
  EXPECT_TRUE(lvl.addNpc(npc("d", 1), 2));
  EXPECT_TRUE(cap.has("INFO: Level.addNpc: Pozycja npc w liscie rozna od jego ID (pos: 2; ID: 1)"));
  // Past the end the table grows to pos + 5; absurd slots are refused.
  EXPECT_TRUE(lvl.addNpc(npc("e", 120), 120));
  EXPECT_EQ(lvl.npcCap, 125u);
  EXPECT_EQ(lvl.addNpc(npc("f", 4000000000u), 4000000000u), nullptr);
  EXPECT_TRUE(cap.has("FAIL: Level.addObj: Nie udalo sie powiekszyc tablicy obiektow"));
  EXPECT_EQ(lvl.addNpc(nullptr, 1), nullptr);
  EXPECT_TRUE(cap.has("FAIL: Level.addObj: NULL npc"));
  // Removed by slot or as a plain object, a character leaves no slot behind.
  lvl.delNpc(lvl.npcAt(2));
  lvl.delObj(lvl.getObj(120));
  EXPECT_EQ(lvl.countNpcs(), 2u);
  EXPECT_EQ(lvl.npcAt(120), nullptr);
  // The npc list keeps the player's character (the player refers to it).
  file("npc/list.ini", "[l]\n1=bob\n");
  file("npc/bob", "[npc]\nl=1 0 1 1 5 5 0 9 none\n");
  ASSERT_TRUE(lvl.loadNpcs("l"));
  EXPECT_EQ(lvl.npcAt(7), player);
  EXPECT_EQ(lvl.npcAt(3), nullptr);
  EXPECT_EQ(lvl.npcAt(1)->hp, 9);
  EXPECT_FALSE(lvl.loadNpcs(nullptr));
  EXPECT_TRUE(cap.has("FAIL: Level.loadNpcs: NULL name"));
}

// Changes asked for by scripts wait for the drain; a level that goes away
// takes its pending requests with it.
TEST_F(LevelLoad, RequestsWaitForTheDrain) {
  auto lvl = std::make_unique<Level>();
  lvl->adoptObj(std::make_unique<Object>(7, 0, 0, 0, 1, nullptr, nullptr, nullptr));
  lvl->addNpc(npc("a", 3), 3);
  lvl->requestDelObj(7);
  lvl->requestDelNpc(3);
  lvl->requestDelNpc(3);  // finds the slot empty by then
  EXPECT_EQ(lvl->objs.size(), 2u);
  EXPECT_EQ(ScriptRequests::instance().drain(), 3u);
  EXPECT_TRUE(lvl->objs.empty());
  lvl->requestUnload();
  lvl.reset();
  EXPECT_EQ(ScriptRequests::instance().pending(), 0u);
}

}  // namespace
