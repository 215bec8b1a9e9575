// Level files, the npc list, the level's scripts and its periodic function.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/log.h"
#include "unit/level_fixture.h"
#include "world/level.h"
#include "world/npc.h"

namespace {

constexpr const char* kLvl = "data/lvl/t.crs:lvl";

struct LevelLoad : leveltest::GameDir {
  // The test level: the given level file plus a block file "f0.bin" and
  // any extra entries.
  void level(const std::string& text, std::vector<std::pair<std::string, std::string>> extra = {}) {
    extra.emplace_back("lvl.txt", text);
    extra.emplace_back("f0.bin", blocks());
    archive("data/lvl/t.crs", extra);
  }
  // A global of the level's state as text.
  static std::string global(Level& lvl, const char* name) {
    lua_getglobal(lvl.lua.L(), name);
    const char* s = lua_tostring(lvl.lua.L(), -1);
    std::string out = s ? s : "nil";
    lua_pop(lvl.lua.L(), 1);
    return out;
  }
};

TEST_F(LevelLoad, MissingOrCommentOnlyFile) {
  Level lvl;
  {
    Log::Capture cap;
    EXPECT_FALSE(lvl.load("data/lvl/none.crs:lvl"));
    EXPECT_TRUE(cap.has("FAIL: Level.load: Nie udalo sie wczytac informacji o poziomie"));
  }
  level("-- only\r\n\r\n--  comments here\n");
  Log::Capture cap;
  EXPECT_FALSE(lvl.load(kLvl));
  EXPECT_TRUE(cap.has("FAIL: Level.load: Nie udalo sie wczytac ramek (0, 0)"));
  EXPECT_FALSE(cap.contains("OK  : "));
  EXPECT_EQ(lvl.name, kLvl);
}

// Words 6, 7 and 9 of a frame line; 8 words give only the horizontal
// factor. Frames are sorted by layer, greatest first, equal layers in
// file order, and keep the ids of their file positions.
TEST_F(LevelLoad, FrameLinesAndLayerOrder) {
  level(
      "frame f0 none none 0 0\n"
      "frame f0 none none 1 0 -1\n"
      "frame f0 none none 2 0 2 0.5 0.25\n"
      "frame f0 none none 3 0 0 0.5\n"
      "frame f0 none none\n"
      "bogus line here\n");
  Level lvl;
  Log::Capture cap;
  ASSERT_TRUE(lvl.load(kLvl));
  ASSERT_EQ(lvl.frames.size(), 4u);
  const int wantFx[] = {2, 0, 3, 1};
  const int wantLayer[] = {2, 0, 0, -1};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(lvl.frames[i]->fx, wantFx[i]) << i;
    EXPECT_EQ(lvl.frames[i]->layer, wantLayer[i]) << i;
    EXPECT_EQ(lvl.frames[i]->id, static_cast<uint32_t>(wantFx[i])) << i;
    EXPECT_TRUE(lvl.frames[i]->hasCells());
  }
  EXPECT_FLOAT_EQ(lvl.frames[0]->parallaxX, 0.5f);
  EXPECT_FLOAT_EQ(lvl.frames[0]->parallaxY, 0.25f);
  EXPECT_FLOAT_EQ(lvl.frames[1]->parallaxX, 1.0f);
  EXPECT_FLOAT_EQ(lvl.frames[3]->parallaxY, 1.0f);
  EXPECT_FLOAT_EQ(lvl.frames[2]->parallaxX, 0.5f);
  EXPECT_FLOAT_EQ(lvl.frames[2]->parallaxY, 1.0f);
  EXPECT_EQ(lvl.right, 4 * 640);
  EXPECT_EQ(lvl.bottom, 480);
  EXPECT_TRUE(cap.contains("OK  : Level.load: Poziom \"data/lvl/t.crs:lvl\" wczytany w "));
  EXPECT_TRUE(lvl.blockAt(5, 470, 0, false));
}

// A failing line stops the load; what ran before it stays.
TEST_F(LevelLoad, FailuresKeepWhatRan) {
  level("frame f0 none none 0 0\nframe short none none 1 0\nframe f0 none none 2 0\n",
        {{"short.bin", std::string(299, '\1')}});
  Level lvl;
  {
    Log::Capture cap;
    EXPECT_FALSE(lvl.load(kLvl));
    EXPECT_TRUE(cap.has("FAIL: Level.loadFrame: Brak wszystkich klockow (\"short.bin\")"));
    EXPECT_TRUE(cap.has("FAIL: Level.load: Nie udalo sie wczytac ramki (load)"));
    EXPECT_EQ(lvl.frames.size(), 2u);
  }
  level("frame f0 none none 0 0\nscript data/lvl/t.crs:missing.lua\ncall never\n");
  Log::Capture cap;
  EXPECT_FALSE(lvl.load(kLvl));
  EXPECT_TRUE(cap.has("FAIL: Level.load: Nie udalo sie wczytac skryptu"));
  EXPECT_FALSE(cap.contains("never"));
  EXPECT_EQ(lvl.frames.size(), 1u);
}

// "script" and "call" lines run in the level's state, which knows its
// level and archive; lua/list.ini adds a script file (names of more than
// four characters only) and the periodic function.
TEST_F(LevelLoad, ScriptsAndScriptList) {
  level("frame f0 none none 1 0\nscript data/lvl/t.crs:s.lua\ncall hello\n",
        {{"s.lua", "function hello() w = getLvlW(); f = getGlobalStr('filename') end"}});
  file("lua/list.ini", std::string("[") + kLvl + "]\nfile=extra.lua\n[other]\nfile=abc\n");
  file("lua/extra.lua", "extra = getLvlNpcCount()");
  Level lvl;
  ASSERT_TRUE(lvl.load(kLvl));
  EXPECT_EQ(global(lvl, "w"), "1280");
  EXPECT_EQ(global(lvl, "f"), "data/lvl/t.crs");
  EXPECT_EQ(global(lvl, "extra"), "100");
  EXPECT_TRUE(lvl.alwaysFn.empty());
}

// 62.5 calls per second of game time: 40 ms frames give 2, then 3 calls.
// An empty "always" means no periodic function, not a failed call.
TEST_F(LevelLoad, AlwaysClock) {
  level("frame f0 none none 0 0\nscript data/lvl/t.crs:s.lua\n",
        {{"s.lua", "n = 0 function tick() n = n + 1 end"}});
  file("lua/list.ini", std::string("[") + kLvl + "]\nalways=tick\n");
  Level lvl;
  ASSERT_TRUE(lvl.load(kLvl));
  game::dt = 0.04f;
  lvl.update();
  EXPECT_EQ(global(lvl, "n"), "2");
  lvl.update();
  EXPECT_EQ(global(lvl, "n"), "5");

  file("lua/list.ini", std::string("[") + kLvl + "]\nalways=\n");
  IniFile::instance().close();
  ASSERT_TRUE(lvl.load(kLvl));
  Log::Capture cap;
  for (int i = 0; i < 5; ++i) lvl.update();
  EXPECT_TRUE(cap.lines().empty()) << cap.joined();
  EXPECT_EQ(global(lvl, "n"), "0");
}

// Characters come from the save first, else from their own file (which is
// then saved); "0" lines and one-letter names make none. Unloading writes
// each character's line back.
TEST_F(LevelLoad, NpcsFromListAndSave) {
  level("frame f0 none none 0 0\n");
  file("npc/list.ini",
       std::string("[") + kLvl + "]\n1=guard\n2=ghost\n3=x\n4=nofile\n5=saved\n[other]\n6=guard\n");
  file("npc/guard", std::string("[npc]\n") + kLvl + "=1 1 0 0 100 200 0 7 none 2 128 g.lua\n");
  file("npc/ghost", std::string("[npc]\n") + kLvl + "=0 1 1 1 0 0 0 1 none 0 255\n");
  file("lua/g.lua", "ran = (ran or 0) + 1 dbSetVal('guard_ran', getId())");
  Database& db = Database::instance();
  db.setStr(std::string(kLvl) + "_saved", "1 0 1 1 50 60 0 3 none 0 255");

  Level lvl;
  Log::Capture cap;
  ASSERT_TRUE(lvl.load(kLvl));
  EXPECT_TRUE(cap.has("FAIL: Level.loadNpcs: Nie udalo sie wczytac z pliku informacji o npc"));
  EXPECT_TRUE(cap.has("\t(\"npc/nofile\", 4)"));
  EXPECT_EQ(lvl.countNpcs(), 2u);
  EXPECT_EQ(lvl.npcCap, 100u);
  EXPECT_EQ(lvl.objs.size(), 2u);

  Npc* guard = lvl.getNpcByName("guard");
  ASSERT_TRUE(guard);
  EXPECT_EQ(lvl.npcAt(1), guard);
  EXPECT_TRUE(guard->talkable);
  EXPECT_FALSE(guard->colsOn);
  EXPECT_EQ(guard->grav, &guard->ownGrav);
  EXPECT_EQ(guard->ownGrav.y, 0.0f);
  EXPECT_FLOAT_EQ(guard->x, 100.0f);
  EXPECT_EQ(guard->hp, 7);
  EXPECT_EQ(guard->animIdx, 0u) << "no sprite: no animation to choose";
  EXPECT_EQ(guard->alpha, 128);
  EXPECT_TRUE(guard->autoAnimOff);
  EXPECT_EQ(guard->script, "lua/g.lua");
  EXPECT_EQ(db.getVal("guard_ran"), 1);
  EXPECT_EQ(db.getStr(std::string(kLvl) + "_guard"), "1 1 0 0 100 200 0 7 none 2 128 g.lua");
  EXPECT_EQ(db.getStr(std::string(kLvl) + "_ghost"), "0 1 1 1 0 0 0 1 none 0 255");
  EXPECT_EQ(lvl.getNpcByName("ghost"), nullptr);

  Npc* saved = lvl.npcAt(5);
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->grav, &Object::globalGrav);
  EXPECT_FLOAT_EQ(saved->y, 60.0f);

  // Moved, then the level is left: the new position is saved and used on
  // the next visit.
  guard->x = 300.5f;
  guard->hp = 4;
  lvl.unload();
  EXPECT_EQ(lvl.npcCap, 0u);
  EXPECT_EQ(lvl.countNpcs(), 0u);
  EXPECT_TRUE(lvl.objs.empty());
  EXPECT_EQ(lvl.right, 0);
  // Without a sprite the name word stays empty.
  EXPECT_EQ(db.getStr(std::string(kLvl) + "_guard"), "1 1 0 0 300 200 0 4  0 128 g.lua");
  db.setStr(std::string(kLvl) + "_guard", "1 1 0 0 300 200 0 4 none 2 128 g.lua");
  ASSERT_TRUE(lvl.load(kLvl));
  ASSERT_TRUE(lvl.npcAt(1));
  EXPECT_FLOAT_EQ(lvl.npcAt(1)->x, 300.0f);
  EXPECT_EQ(lvl.npcAt(1)->hp, 4);
  EXPECT_EQ(lvl.npcCap, 1u + 5u) << "the table is made afresh by the first character";
}

// A reload starts a fresh script state: the old level's globals are gone.
TEST_F(LevelLoad, ReloadStartsFreshState) {
  level("frame f0 none none 0 0\nscript data/lvl/t.crs:s.lua\n",
        {{"s.lua", "loads = (loads or 0) + 1"}});
  Level lvl;
  ASSERT_TRUE(lvl.load(kLvl));
  ASSERT_TRUE(lvl.load(kLvl));
  EXPECT_EQ(global(lvl, "loads"), "1");
  EXPECT_EQ(lvl.frames.size(), 1u);
}

// --- the character table -----------------------------------------------------

struct LevelNpcs : leveltest::GameDir {
  static std::unique_ptr<Npc> npc(const char* name, uint32_t id) {
    return std::make_unique<Npc>(name, id, 0, 0, 0, 1, nullptr, nullptr, nullptr);
  }
};

TEST_F(LevelNpcs, AddNpcSlots) {
  Level lvl;
  Log::Capture cap;
  Npc* a = lvl.addNpc(npc("a", 3), 3);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->lvl, &lvl);
  EXPECT_TRUE(cap.lines().empty());

  // Another character in the slot is replaced and destroyed.
  Npc* b = lvl.addNpc(npc("b", 3), 3);
  EXPECT_TRUE(cap.has("FAIL: Level.addObj: Zastepowanie npc (3)"));
  EXPECT_EQ(lvl.npcAt(3), b);
  EXPECT_EQ(lvl.objs.size(), 1u);

  // The player's character is never overwritten.
  auto p = npc("player", 0);
  p->isPlayer = true;
  Npc* player = lvl.addNpc(std::move(p), 7);
  EXPECT_FALSE(cap.contains("Pozycja npc"));
  cap.clear();
  EXPECT_EQ(lvl.addNpc(npc("c", 7), 7), nullptr);
  EXPECT_TRUE(cap.has("FAIL: Level.addObj: Proba nadpisania gracza (7)"));
  EXPECT_EQ(lvl.npcAt(7), player);
  EXPECT_EQ(lvl.objs.size(), 2u);
  EXPECT_EQ(lvl.countNpcs(), 2u);

  // A position that differs from the id is reported but used.
  cap.clear();
  EXPECT_TRUE(lvl.addNpc(npc("d", 1), 2));
  EXPECT_TRUE(cap.has("INFO: Level.addNpc: Pozycja npc w liscie rozna od jego ID (pos: 2; ID: 1)"));

  // Past the end the table grows to pos + 5; absurd slots are refused.
  EXPECT_TRUE(lvl.addNpc(npc("e", 120), 120));
  EXPECT_EQ(lvl.npcCap, 125u);
  EXPECT_EQ(lvl.addNpc(npc("f", 4000000000u), 4000000000u), nullptr);
  EXPECT_TRUE(cap.has("FAIL: Level.addObj: Nie udalo sie powiekszyc tablicy obiektow"));
  EXPECT_EQ(lvl.npcCap, 125u);
  EXPECT_EQ(lvl.addNpc(nullptr, 1), nullptr);
  EXPECT_TRUE(cap.has("FAIL: Level.addObj: NULL npc"));

  EXPECT_EQ(lvl.getNpcByName("e"), lvl.npcAt(120));
  EXPECT_EQ(lvl.getNpcByName("E"), nullptr);
  EXPECT_EQ(lvl.getNpcByName(nullptr), nullptr);
  lvl.delNpc(lvl.npcAt(2));  // id 1 stored at slot 2
  EXPECT_EQ(lvl.npcAt(2), nullptr);
  EXPECT_EQ(lvl.countNpcs(), 3u);
  lvl.delNpc(nullptr);
  // Removed as a plain object, a character leaves no stale slot behind.
  lvl.delObj(lvl.getObj(120));
  EXPECT_EQ(lvl.npcAt(120), nullptr);
  EXPECT_EQ(lvl.countNpcs(), 2u);
}

// Changes asked for by scripts wait for the drain; a level that goes away
// takes its pending requests with it.
TEST_F(LevelNpcs, RequestsWaitForTheDrain) {
  auto lvl = std::make_unique<Level>();
  lvl->adoptObj(std::make_unique<Object>(7, 0, 0, 0, 1, nullptr, nullptr, nullptr));
  lvl->addNpc(npc("a", 3), 3);
  lvl->requestDelObj(7);
  lvl->requestDelNpc(3);
  lvl->requestDelNpc(3);  // finds the slot empty by then
  EXPECT_EQ(lvl->objs.size(), 2u);
  EXPECT_EQ(ScriptRequests::instance().drain(), 3u);
  EXPECT_TRUE(lvl->objs.empty());
  EXPECT_EQ(lvl->npcAt(3), nullptr);

  lvl->requestUnload();
  lvl.reset();
  EXPECT_EQ(ScriptRequests::instance().pending(), 0u);
}

// Loading the npc list keeps the player's character (the player still
// refers to it); every other character is made again.
TEST_F(LevelNpcs, LoadNpcsKeepsThePlayer) {
  file("npc/list.ini", "[l]\n1=bob\n");
  file("npc/bob", "[npc]\nl=1 0 1 1 5 5 0 1 none 0 255\n");
  Level lvl;
  auto p = npc("player", 0);
  p->isPlayer = true;
  Npc* player = lvl.addNpc(std::move(p), 0);
  lvl.addNpc(npc("bob", 1), 1)->hp = 42;
  ASSERT_TRUE(lvl.loadNpcs("l"));
  EXPECT_EQ(lvl.npcAt(0), player);
  ASSERT_TRUE(lvl.npcAt(1));
  EXPECT_EQ(lvl.npcAt(1)->hp, 1);
  EXPECT_EQ(lvl.objs.size(), 2u);
  Log::Capture cap;
  EXPECT_FALSE(lvl.loadNpcs(nullptr));
  EXPECT_TRUE(cap.has("FAIL: Level.loadNpcs: NULL name"));
  IniFile::instance().close();
  leveltest::fs::remove("npc/list.ini");
  EXPECT_FALSE(lvl.loadNpcs("l"));
  EXPECT_TRUE(cap.has("FAIL: Level.loadNpcs: Nie udalo sie wczytac listy npc'ow"));
}

}  // namespace
