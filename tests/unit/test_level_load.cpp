// Levels: level files, frames far from the origin, the npc list and the
// saved characters, the level's scripts and its periodic function; and the
// characters in them: automatic animation, runaway scripts, and changes made
// by running scripts to the level that runs them.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>

#include "unit/api_fixture.h"
#include "unit/world_helpers.h"
#include "world/level.h"
#include "world/npc.h"

namespace {

using apitest::global;

constexpr const char* kLvl = "data/lvl/t.crs:lvl";
const std::string kSection = std::string("[") + kLvl + "]\n";

// A sprite with the eight direction animations, in this order.
const char* const kAnimNames[] = {"stop_left", "stop_right", "move_left", "move_right",
                                  "jump_left", "jump_right", "fall_left", "fall_right"};

struct LevelLoad : leveltest::GameDir {
  worldtest::Sheet sheet{9, 16, 16};
  LevelLoad() {
    for (uint32_t i = 0; i < 8; ++i) sheet.s.animsByName[kAnimNames[i]] = i;
  }
  // The level file plus a block file "f0.bin" and any extra entries.
  void level(const std::string& text, std::vector<std::pair<std::string, std::string>> extra = {}) {
    extra.emplace_back("lvl.txt", text);
    extra.emplace_back("f0.bin", blocks());
    archive("data/lvl/t.crs", extra);
  }
  std::unique_ptr<Npc> make(const char* script = nullptr, Level* lvl = nullptr) {
    return std::make_unique<Npc>("bob", 1, 0, 0, 0, 5, &sheet.s, lvl, script);
  }
  static std::string animName(const Npc& n) { return kAnimNames[n.animIdx]; }
};
using LevelFrameRange = LevelLoad;
using NpcTest = LevelLoad;

// One level loaded again and again: each failure is named, what ran before
// the failing line stays (a new load starts afresh), no load is reported
// done. Then a good one: frame lines of 6, 7 and 9 words (8 words: only the
// horizontal factor); frames sorted by layer, greatest first, equal layers
// in file order.
TEST_F(LevelLoad, FailuresThenFrameLinesAndLayerOrder) {
  const struct {
    const char* text;  // none: no level file
    const char* what;
    size_t frames;
  } rows[] = {
      {nullptr, "informacji o poziomie", 0},
      {"-- only\r\n\r\n--  comments\n", "ramek (0, 0)", 0},
      {"frame f0 none none 0 0\nframe short none none 1 0\nframe f0 none none 2 0\n", "ramki (load)", 2},
      {"frame f0 none none 0 0\nscript data/lvl/t.crs:missing.lua\ncall never\n", "skryptu", 1},
      {"frame f0 none none 0 0\nframe f0 none none 3333333 0\n", "ramki (load)", 1},  // out of range
  };
  Level lvl;
  for (const auto& r : rows) {
    Log::Capture cap;
    if (r.text) level(r.text, {{"short.bin", std::string(299, '\1')}});
    EXPECT_FALSE(lvl.load(r.text ? kLvl : "data/lvl/none.crs:lvl"));
    EXPECT_TRUE(cap.has(std::string("FAIL: Level.load: Nie udalo sie wczytac ") + r.what)) << r.what;
    EXPECT_EQ(lvl.frames.size(), r.frames) << r.what;
    EXPECT_FALSE(cap.contains("OK  : ")) << r.what;
  }
  level(
      "frame f0 none none 0 0\nframe f0 none none 1 0 -1\nframe f0 none none 2 0 2 0.5 0.25\n"
      "frame f0 none none 3 0 0 0.5\nframe f0 none none\n");
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

// Frames far from the origin: the level's pixel bounds are ints, so a frame
// whose edges or whose distance to the other frames would not fit in one is
// refused instead of wrapping the bounds (from a level file the refused
// frame stops the load: LevelLoad.FailuresThenFrameLinesAndLayerOrder).
TEST_F(LevelFrameRange, FarFramesAreRefused) {
  Level lvl;
  Log::Capture cap;
  // The farthest frames that are kept: the bounds span both, exactly.
  ASSERT_NE(lvl.addFrame(0, "a", nullptr, nullptr, 1677720, 2236961, 0, 1, 1), nullptr);
  ASSERT_NE(lvl.addFrame(1, "b", nullptr, nullptr, -1677720, -2236961, 0, 1, 1), nullptr);
  EXPECT_EQ(lvl.width, 1677721 * 640 + 1677720 * 640);
  EXPECT_EQ(lvl.height, 2236962 * 480 + 2236961 * 480);
  for (auto [fx, fy] : {std::pair{1677721, 0}, {-1677721, 0}, {0, 2236962}, {0, -2236962},
                        {3333333, 44444444}, {INT_MIN, INT_MIN}}) {
    EXPECT_EQ(lvl.addFrame(2, "c", nullptr, nullptr, fx, fy, 0, 1, 1), nullptr) << fx << "," << fy;
  }
  EXPECT_EQ(lvl.frames.size(), 2u);
  EXPECT_EQ(lvl.right, 1677721 * 640);
  EXPECT_EQ(lvl.top, -2236961 * 480);
  EXPECT_TRUE(cap.has("FAIL: Level.addFrame: Ramka poza zakresem (3333333, 44444444)"));
}

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

// A character whose script makes another character with the same script:
// each waits until the script making it has returned, one generation per
// drain, instead of nesting constructions until the stack runs out. A level
// that goes away takes its pending requests with it.
TEST_F(NpcTest, SelfSpawningScriptDoesNotNest) {
  file("lua/spawn.lua",
       "local n = dbGetVal('spawned') + 1 dbSetVal('spawned', n) "
       "if n < 20000 then addLvlNpc('k' .. n, n + 1, n, 0, 0, 1, 'none', 'spawn.lua') end");
  auto lvl = std::make_unique<Level>();
  Log::Capture cap;
  lvl->addNpc(make("spawn.lua", lvl.get()), 1);
  Database& db = Database::instance();
  EXPECT_EQ(db.getVal("spawned"), 1);
  EXPECT_EQ(lvl->countNpcs(), 1u);
  EXPECT_EQ(ScriptRequests::instance().drain(), 1u);
  EXPECT_EQ(db.getVal("spawned"), 2);
  game::dt = 0.0f;
  lvl->update();
  EXPECT_EQ(db.getVal("spawned"), 3);
  ASSERT_EQ(lvl->countNpcs(), 3u);
  EXPECT_EQ(lvl->npcAt(3)->name, "k2");
  EXPECT_EQ(ScriptRequests::instance().pending(), 1u);  // k3
  lvl.reset();
  EXPECT_EQ(ScriptRequests::instance().pending(), 0u);
}

// Runaway scripts of a level: an endless periodic function and an endless
// character update are stopped and named, the stopped character stands
// still, the rest goes on (a character whose script comes from an archive;
// one whose script is missing is reported once and never called); a
// precompiled level script or include never loads.
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
          {{"lvl.txt", "frame f0 none none 0 0\nscript data/lvl/a.crs:bin\nscript data/lvl/a.crs:bad\n"
                       "script data/lvl/a.crs:s\n"},
           {"f0.bin", blocks()},
           {"bad", "error('zly skrypt')"},
           {"bin", code},
           {"s",
            "ticks = 0 function tick() ticks = ticks + 1 if ticks == 2 then while true do end end end "
            "include('data/lvl/a.crs:bin')"}});
  file("lua/loop.lua", "n = 0 function update() n = n + 1 if n == 2 then while true do end end end");
  archive("lua/s.crs", {{"walk", "n = 0 function update() n = n + 1 end"}});
  file("npc/list.ini", "");
  file("lua/list.ini", "[" + lvlA + "]\nalways=tick\n");
  Log::Capture cap;
  Level lvl;
  ASSERT_TRUE(lvl.load(lvlA));
  Npc* loop = lvl.addNpc(make("loop.lua", &lvl), 1);
  Npc* walk = lvl.addNpc(std::make_unique<Npc>("w", 2, 0, 0, 0, 5, &sheet.s, &lvl, "s.crs:walk"), 2);
  lvl.addNpc(std::make_unique<Npc>("x", 3, 0, 0, 0, 5, &sheet.s, &lvl, "none.lua"), 3);
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
  EXPECT_EQ(cap.count("zly skrypt"), 1u);  // a chunk failing while it runs stops nothing
  EXPECT_EQ(cap.count("FAIL: Lua.update: Error: cannot open lua/none.lua"), 1u);
  EXPECT_TRUE(cap.has("FAIL: Lua.load: Odrzucono skompilowany kod Lua: data/lvl/a.crs:bin"));
  EXPECT_EQ(cap.count("Odrzucono skompilowany kod Lua"), 2u) << cap.joined();  // the entry, then include
  // Loaded again, the level calls its function again.
  ASSERT_TRUE(lvl.load(lvlA));
  lvl.update();
  EXPECT_EQ(global(lvl.lua, "ticks"), "2");
}

}  // namespace
