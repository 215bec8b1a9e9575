// Characters: automatic animation, the script clock, the saved info line,
// and changes made by running scripts to the level that runs them.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "unit/api_fixture.h"
#include "unit/world_helpers.h"
#include "world/level.h"
#include "world/npc.h"

namespace {

using apitest::global;

// A sprite with the eight direction animations, in this order.
const char* const kAnimNames[] = {"stop_left", "stop_right", "move_left", "move_right",
                                  "jump_left", "jump_right", "fall_left", "fall_right"};

struct NpcTest : leveltest::GameDir {
  worldtest::Sheet sheet{9, 16, 16};
  NpcTest() {
    for (uint32_t i = 0; i < 8; ++i) sheet.s.animsByName[kAnimNames[i]] = i;
  }
  std::unique_ptr<Npc> make(const char* script = nullptr, Level* lvl = nullptr) {
    return std::make_unique<Npc>("bob", 1, 0, 0, 0, 5, &sheet.s, lvl, script);
  }
  static std::string animName(const Npc& n) { return kAnimNames[n.animIdx]; }
};

TEST_F(NpcTest, AnimationFollowsSpeed) {
  auto n = make();
  game::dt = 0.01f;
  struct Case {
    float sx, sy;
    const char* want;
  } cases[] = {
      {40, 0, "move_right"},  {0.7f, 0, "stop_right"},  // 0.7 counts as standing
      {-40, 0, "move_left"},  {0, 0, "stop_left"},      // stopping keeps the facing
      {0, -150, "jump_left"}, {30, -150, "jump_right"}, {-0.5f, 200, "fall_right"}, {-5, 200, "fall_left"},
  };
  for (const Case& c : cases) {
    n->spdX = c.sx;
    n->spdY = c.sy;
    n->step();
    EXPECT_EQ(animName(*n), c.want) << c.sx << ", " << c.sy;
  }
  sheet.s.anims[6].frames[0] = {4, 6, 10, 2};  // the weapon sits at the second point
  n->x = 100.7f;
  n->y = 50.2f;
  int wx = 0, wy = 0;
  ASSERT_TRUE(n->weaponPoint(wx, wy));
  EXPECT_EQ(wx * 1000 + wy, 106046);
  n->autoAnimOff = true;
  n->setAnim(8u);
  n->spdX = 40;
  n->step();
  EXPECT_EQ(n->animIdx, 8u);
  EXPECT_EQ(n->dir, 0u);
}

// 62.5 calls a second: a 50 ms frame gives 3 calls and leaves 2 ms. Scripts
// come from a file, or from an archive when the name has a colon; a missing
// one is reported once and never called.
TEST_F(NpcTest, ScriptClockAndSources) {
  file("lua/count.lua", "n = 0 function update() n = n + 1 end");
  archive("lua/s.crs", {{"tick", "m = 0 function update() m = m + 10 end"}});
  auto a = make("count.lua");
  auto b = make("s.crs:tick");
  game::dt = 0.05f;
  a->step();
  b->step();
  EXPECT_FLOAT_EQ(a->updateTime.ms(), 2.0f);
  EXPECT_EQ(global(a->lua, "n") + global(b->lua, "m"), "330");
  Log::Capture cap;
  auto c = make("none.lua");
  c->step();
  c->step();
  EXPECT_EQ(cap.lines().size(), 1u);
  EXPECT_EQ(cap.count("FAIL: Lua.update: Error: cannot open lua/none.lua"), 1u);
}

TEST_F(NpcTest, SavedInfoLine) {
  Level lvl;
  lvl.name = "data/lvl/t.crs:lvl";
  auto n = std::make_unique<Npc>("bob", 1, 0, 0, 3, 7, nullptr, &lvl, "walk.lua");
  n->x = 100.9f;
  n->y = 200.2f;
  n->setGrav(0, 0);
  n->alpha = 200;
  n->talkable = true;
  n->saveState();
  Database& db = Database::instance();
  EXPECT_EQ(db.getStr("data/lvl/t.crs:lvl_bob"), "1 1 1 0 100 200 3 7 - 0 200 walk.lua");
  // Own gravity that is not zero counts as gravity; no name saves as
  // "noname"; without a script the last word is empty.
  auto anon = std::make_unique<Npc>(nullptr, 2, -5, 0, 0, 1, nullptr, &lvl, nullptr);
  anon->setGrav(0, 10);
  anon->colsOn = false;
  anon->saveState();
  EXPECT_EQ(db.getStr("data/lvl/t.crs:lvl_noname"), "1 0 0 1 -5 0 0 1 - 0 255 ");
  db.clear();
  Npc(nullptr, 3, 0, 0, 0, 1, nullptr, nullptr, nullptr).saveState();
  EXPECT_TRUE(db.strs().empty());
}

// A character whose script makes another character with the same script:
// each waits until the script making it has returned, one generation per
// drain, instead of nesting constructions until the stack runs out.
TEST_F(NpcTest, SelfSpawningScriptDoesNotNest) {
  file("lua/spawn.lua",
       "local n = dbGetVal('spawned') + 1 dbSetVal('spawned', n) "
       "if n < 20000 then addLvlNpc('k' .. n, n + 1, n, 0, 0, 1, 'none', 'spawn.lua') end");
  Level lvl;
  Log::Capture cap;
  lvl.addNpc(make("spawn.lua", &lvl), 1);
  Database& db = Database::instance();
  EXPECT_EQ(db.getVal("spawned"), 1);
  EXPECT_EQ(lvl.countNpcs(), 1u);
  EXPECT_EQ(ScriptRequests::instance().drain(), 1u);
  EXPECT_EQ(db.getVal("spawned"), 2);
  game::dt = 0.0f;
  lvl.update();
  EXPECT_EQ(db.getVal("spawned"), 3);
  ASSERT_EQ(lvl.countNpcs(), 3u);
  EXPECT_EQ(lvl.npcAt(3)->name, "k2");
}

// Runaway scripts of a level: an endless periodic function and an endless
// character update are stopped and named, the stopped character stands
// still, the rest goes on; a precompiled level script or include never loads.
TEST_F(NpcTest, RunawayScriptsAreStoppedAndTheRestGoesOn) {
  struct Budget {
    Budget() { Lua::setBudgetMs(20); }
    ~Budget() { Lua::setBudgetMs(0); }
  } budget;
  Lua dumper;
  dumper.runString("code = string.dump(function() hacked = 1 end)");
  lua_getglobal(dumper.L(), "code");
  const std::string code(lua_tostring(dumper.L(), -1), lua_objlen(dumper.L(), -1));
  const std::string lvlA = "data/lvl/a.crs:lvl";
  archive("data/lvl/a.crs",
          {{"lvl.txt", "frame f0 none none 0 0\nscript data/lvl/a.crs:bin\nscript data/lvl/a.crs:s\n"},
           {"f0.bin", blocks()},
           {"bin", code},
           {"s",
            "ticks = 0 function tick() ticks = ticks + 1 if ticks == 2 then while true do end end end "
            "include('data/lvl/a.crs:bin')"}});
  file("lua/loop.lua", "n = 0 function update() n = n + 1 if n == 2 then while true do end end end");
  file("lua/walk.lua", "n = 0 function update() n = n + 1 end");
  file("npc/list.ini", "");
  file("lua/list.ini", "[" + lvlA + "]\nalways=tick\n");
  Log::Capture cap;
  Level lvl;
  ASSERT_TRUE(lvl.load(lvlA));
  Npc* loop = lvl.addNpc(make("loop.lua", &lvl), 1);
  Npc* walk = lvl.addNpc(std::make_unique<Npc>("w", 2, 0, 0, 0, 5, &sheet.s, &lvl, "walk.lua"), 2);
  loop->spdX = 50;
  game::dt = 0.048f;  // three steps: the second call of each runs away
  lvl.update();
  lvl.update();
  EXPECT_EQ(global(lvl.lua, "ticks") + global(loop->lua, "n") + global(walk->lua, "n"), "226");
  EXPECT_EQ(loop->spdX, 0.0f);
  EXPECT_TRUE(cap.has("FAIL: Lua.update: Error: Skrypt " + lvlA + ", funkcja tick: przekroczony limit czasu (20 ms)"));
  EXPECT_TRUE(
      cap.has("FAIL: Lua.update: Error: Skrypt lua/loop.lua, funkcja update: "
              "przekroczony limit czasu (20 ms)"));
  EXPECT_EQ(cap.count("limit czasu"), 2u);
  EXPECT_TRUE(cap.has("FAIL: Lua.load: Odrzucono skompilowany kod Lua: data/lvl/a.crs:bin"));
  EXPECT_EQ(cap.count("Odrzucono skompilowany kod Lua"), 2u) << cap.joined();  // the entry, then include
  // Loaded again, the level calls its function again.
  ASSERT_TRUE(lvl.load(lvlA));
  lvl.update();
  EXPECT_EQ(global(lvl.lua, "ticks"), "2");
}

}  // namespace
