// The player: bindings file, movement from held keys, key-press routing,
// the character's life in its level and the player family of the script API.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/log.h"
#include "script/lua_funcs.h"
#include "world/level.h"
#include "world/npc.h"
#include "world/player.h"

namespace fs = std::filesystem;

namespace {

std::string le32(std::initializer_list<uint32_t> words) {
  std::string out;
  for (uint32_t w : words)
    for (int i = 0; i < 4; ++i) out += static_cast<char>(w >> (8 * i));
  return out;
}

struct PlayerTest : ::testing::Test {
  Log::Capture cap;  // sprites that do not exist say so
  Level lvl;
  Player& p = Player::instance();
  std::vector<uint8_t> keys = std::vector<uint8_t>(512, 0);
  std::vector<std::string> calls;  // hooks that fired
  fs::path dir = fs::temp_directory_path() / ("tervalo_player_" + std::to_string(::getpid()));

  void SetUp() override {
    p = Player();
    fs::create_directories(dir);
    p.dialog.start = [this] { calls.push_back("start"); };
    p.dialog.advance = [this] { calls.push_back("advance"); };
    p.dialog.opt = [] { return 4; };
    p.dialog.select = [this](int o) { calls.push_back("select " + std::to_string(o)); };
    p.weapon.fire1 = [this](Weapon&, int x, int y) {
      calls.push_back("fire1 " + std::to_string(x) + " " + std::to_string(y));
    };
    p.weapon.fire2 = [this](Weapon&, int, int) { calls.push_back("fire2"); };
  }
  void TearDown() override {
    p = Player();
    fs::remove_all(dir);
  }
  std::string file(const std::string& name, const std::string& bytes) {
    const std::string path = (dir / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  Npc* make() {
    p.addPlayer(&lvl, 960, 96, 0, 100, "data/none.crs:player");
    return p.npc.get();
  }
  // Runs `chunk` in a state with the API and this level, returning what it
  // leaves in "r" as text.
  std::string eval(const std::string& chunk, bool withLvl = true) {
    Lua lua;
    LuaFuncs::registerAll(lua);
    if (withLvl) lua.setReg(Lua::kRegLvl, static_cast<void*>(&lvl));
    EXPECT_TRUE(lua.runString(("r = table.concat({" + chunk + "}, ' ')").c_str()));
    lua_getglobal(lua.L(), "r");
    std::string out = lua_tostring(lua.L(), -1) ? lua_tostring(lua.L(), -1) : "?";
    lua_pop(lua.L(), 1);
    return out;
  }
};

}  // namespace

TEST_F(PlayerTest, ControlsFile) {
  // A count above 11 reads 11 pairs, and nothing past them.
  std::string big = le32({20});
  for (uint32_t i = 0; i < 20; ++i) big += le32({100 + i, 200 + i});
  EXPECT_TRUE(p.loadCtrls(file("big", big).c_str()));
  EXPECT_EQ(p.keysA[10], 110u);
  EXPECT_EQ(p.keysB[10], 210u);

  // n = 3: left, right and jump only; the rest keep their bindings.
  EXPECT_TRUE(p.loadCtrls(file("three", le32({3, 1, 2, 3, 4, 5, 6})).c_str()));
  EXPECT_EQ(p.keysA[2], 5u);
  EXPECT_EQ(p.keysB[2], 6u);
  EXPECT_EQ(p.keysA[3], 103u);

  // A cut-off file gives whole pairs only.
  cap.clear();
  EXPECT_FALSE(p.loadCtrls(file("cut", le32({11, 7, 8, 9}) + "\x01\x02").c_str()));
  EXPECT_EQ(cap.lines(), std::vector<std::string>{
                             "FAIL: Player.loadCtrls: Plik niepelny (wczytano 1 z 11 akcji)"});
  EXPECT_EQ(p.keysA[0], 7u);
  EXPECT_EQ(p.keysB[0], 8u);
  EXPECT_EQ(p.keysA[1], 3u);

  cap.clear();
  EXPECT_FALSE(p.loadCtrls((dir / "missing").string().c_str()));
  EXPECT_FALSE(p.loadCtrls(file("empty", "").c_str()));
  EXPECT_FALSE(p.loadCtrls(nullptr));
  EXPECT_EQ(cap.lines(),
            (std::vector<std::string>{"FAIL: Player.loadCtrls: Nie udalo sie otworzyc pliku",
                                      "FAIL: Player.loadCtrls: Nie udalo sie wczytac liczby akcji",
                                      "FAIL: Player.loadCtrls: NULL name"}));
  EXPECT_EQ(p.keysA[0], 7u);  // failures leave the bindings alone

  // Saved: all 11 pairs, 92 bytes, no temporary file left, read back alike.
  const std::string saved = (dir / "saved.bin").string();
  ASSERT_TRUE(p.saveCtrls(saved.c_str()));
  EXPECT_EQ(fs::file_size(saved), 92u);
  EXPECT_FALSE(fs::exists(saved + ".tmp"));
  Player q;
  ASSERT_TRUE(q.loadCtrls(saved.c_str()));
  EXPECT_EQ(q.keysA, p.keysA);
  EXPECT_EQ(q.keysB, p.keysB);
  EXPECT_FALSE(p.saveCtrls((dir / "no/such/dir").string().c_str()));
}

TEST_F(PlayerTest, MovementFromHeldKeys) {
  p.keysA = {1, 2, 3};
  p.keysB = {11, 12, 0xFFFFFFFFu};  // hostile binding: never held, never read
  Npc* c = make();
  ASSERT_NE(c, nullptr);
  keys[11] = keys[2] = 1;  // left (second binding) and right together
  p.control(keys.data(), keys.size());
  EXPECT_FLOAT_EQ(c->spdX, -100.0f);
  keys[11] = 0;
  p.control(keys.data(), keys.size());
  EXPECT_FLOAT_EQ(c->spdX, 100.0f);
  c->spdX = 30.0f;
  keys[2] = 0;
  p.control(keys.data(), keys.size());
  EXPECT_FLOAT_EQ(c->spdX, 30.0f);  // nothing held: friction's business

  keys[3] = 1;
  c->onGround = false;
  p.control(keys.data(), keys.size());
  EXPECT_FLOAT_EQ(c->spdY, 0.0f);
  c->onGround = true;
  p.control(keys.data(), keys.size());
  EXPECT_FLOAT_EQ(c->spdY, -200.0f);

  // A running conversation holds the character still.
  p.dialog.running = [] { return true; };
  keys[1] = 1;
  p.control(keys.data(), keys.size());
  EXPECT_FLOAT_EQ(c->spdX, 30.0f);
}

TEST_F(PlayerTest, KeyPressRouting) {
  p.keysA = {0, 0, 0, 20, 21, 22, 23, 24, 25, 26, 27};
  p.keysB = {0, 0, 0, 30, 31, 32, 33, 34, 35, 36, 37};
  p.onKey(22);
  EXPECT_TRUE(calls.empty());  // no character, no actions
  Npc* c = make();
  ASSERT_NE(c, nullptr);
  c->x = 10.9f;
  c->y = -3.7f;
  for (int k : {20, 31, 32, 23}) p.onKey(k);  // no weapon: only talk
  int dummy = 0;
  c->wep = reinterpret_cast<Weapon*>(&dummy);
  for (int k : {20, 31, 22}) p.onKey(k);
  EXPECT_EQ(calls, (std::vector<std::string>{"start", "fire1 10 -3", "fire2", "start"}));

  calls.clear();
  p.dialog.running = [] { return true; };
  // Weapon and talk keys do nothing; options answer to keysA only.
  for (int k : {20, 22, 23, 33, 24, 26, 25, 27, 34, 35, 36, 37}) p.onKey(k);
  EXPECT_EQ(calls, (std::vector<std::string>{"advance", "advance", "select 5", "select 14",
                                             "select 3", "select -6"}));
  // Unbound actions match key symbol 0.
  calls.clear();
  p.keysA[6] = p.keysB[6] = 0;
  p.onKey(0);
  EXPECT_EQ(calls, std::vector<std::string>{"advance"});
}

TEST_F(PlayerTest, CharacterLifeInTheLevel) {
  p.addPlayer(nullptr, 1, 2, 3, 4, "x");
  p.addPlayer(&lvl, 1, 2, 3, 4, nullptr);
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{"FAIL: Player.addPlayer: NULL lvl",
                                                   "FAIL: Player.addPlayer: NULL sprite"}));
  EXPECT_EQ(p.lvl, nullptr);
  int px = 0, py = 0;
  p.viewPoint(px, py);
  EXPECT_EQ(p.contactLine(), "--------");

  lvl.addNpc(std::make_unique<Npc>("a", 0, 0, 0, 0, 1, nullptr, &lvl, nullptr), 0);
  cap.clear();
  Npc* c = make();
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(c->isPlayer);
  EXPECT_EQ(p.npc.slot(), 1u);
  EXPECT_EQ(cap.count("Pozycja npc"), 0u);
  EXPECT_EQ(c->hp, 100);
  c->x = 100.9f;
  c->y = -50.7f;
  c->onGround = c->hitRight = true;
  p.viewPoint(px, py);
  EXPECT_EQ(px, 100);  // the camera goes to (100 - 320, -50 - 240)
  EXPECT_EQ(py, -50);
  EXPECT_EQ(p.contactLine(), "0101\nudlr");

  // Made again, it replaces the old one instead of leaving it behind.
  p.setPlayer();
  EXPECT_NE(p.npc.get(), nullptr);
  EXPECT_EQ(
      std::count_if(lvl.npcs.begin(), lvl.npcs.end(), [](Npc* n) { return n && n->isPlayer; }), 1);

  // Destroyed with the level, or removed by a script: the player lets go.
  lvl.unload();
  EXPECT_EQ(p.npc.get(), nullptr);
  p.viewPoint(px, py);
  EXPECT_EQ(px, 960);
  EXPECT_EQ(py, 96);
  EXPECT_EQ(p.contactLine(), "--------");
  p.control(keys.data(), keys.size());
  p.onKey(0);
  p.setPlayer();  // the emptied table gets slot 0 again
  ASSERT_NE(p.npc.get(), nullptr);
  EXPECT_EQ(p.npc.slot(), 0u);
  lvl.delNpc(p.npc.get());
  EXPECT_EQ(p.npc.get(), nullptr);

  // A full table grows by one past its end.
  for (uint32_t i = 0; i < 100; ++i)
    lvl.addNpc(std::make_unique<Npc>(nullptr, i, 0, 0, 0, 1, nullptr, &lvl, nullptr), i);
  p.setPlayer();
  EXPECT_EQ(p.npc.slot(), 100u);
  EXPECT_EQ(lvl.npcCap, 105u);
}

TEST_F(PlayerTest, ScriptFamily) {
  std::vector<std::string> names;
  for (const auto& f : LuaFuncs::table()) names.push_back(f.name);
  auto at = std::find(names.begin(), names.end(), "getFrameObjHp");
  ASSERT_GE(names.end() - at, 29);
  EXPECT_EQ(
      std::vector<std::string>(at + 1, at + 29),
      (std::vector<std::string>{
          "setPlayerPos",     "setPlayerX",          "setPlayerY",           "setPlayerSprite",
          "setPlayerAnim",    "setPlayerGrav",       "setPlayerAirRes",      "setPlayerGndRes",
          "setPlayerSpd",     "setPlayerSpdX",       "setPlayerSpdY",        "setPlayerColsOn",
          "setPlayerColsOff", "setPlayerImmobileOn", "setPlayerImmobileOff", "setPlayerHp",
          "setPlayerWep",     "lAddPlayerWep",       "getPlayerId",          "getPlayerName",
          "getPlayerPos",     "getPlayerX",          "getPlayerY",           "getPlayerAnim",
          "getPlayerSpd",     "getPlayerSpdX",       "getPlayerSpdY",        "getPlayerHp"}));

  // Without a character only the start values change, silently.
  cap.clear();
  eval("setPlayerPos(100.9, 50), setPlayerHp(7), setPlayerSprite('s'), getPlayerId()");
  EXPECT_TRUE(cap.lines().empty()) << cap.joined();
  EXPECT_EQ(p.x * 1000 + p.y, 100050);
  EXPECT_EQ(p.hp, 7);
  EXPECT_EQ(p.spriteName, "s");
  eval("getPlayerX(), setPlayerSpdX(1), lAddPlayerWep()");
  eval("setPlayerX(5), getPlayerY()", false);
  eval("setPlayerHp(9)", false);  // needs no level
  EXPECT_EQ(cap.lines(),
            (std::vector<std::string>{
                "FAIL: LuaFuncs.lGetPlayerX: NULL npc", "FAIL: LuaFuncs.lSetPlayerSpdX: NULL npc",
                "FAIL: LuaFuncs.lLAddPlayerWep: Za malo argumentow",
                "FAIL: LuaFuncs.lSetPlayerX: NULL lvl", "FAIL: LuaFuncs.lGetPlayerY: NULL lvl"}));
  EXPECT_EQ(p.hp, 9);

  p.addPlayer(&lvl, 1, 2, 5, 30, "data/none.crs:player");
  Npc* c = p.npc.get();
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(eval("getPlayerHp(), getPlayerId(), getPlayerName()"), "30 0");
  eval("setPlayerPos(-10.9, 20), setPlayerHp(12), setPlayerSpdX(2.5), setPlayerSprite('t')");
  EXPECT_EQ(eval("getPlayerPos()") + " " + eval("getPlayerHp(), getPlayerSpdX()"), "-10 20 12 2.5");
  EXPECT_EQ(p.z, 0);
  EXPECT_EQ(p.spriteName, "t");

  // The weapon list: an index past it changes nothing.
  int w0 = 0, w1 = 0;
  p.weps = {reinterpret_cast<Weapon*>(&w0), reinterpret_cast<Weapon*>(&w1)};
  eval("setPlayerWep(2), setPlayerWep(-1)");
  EXPECT_EQ(c->wep, nullptr);
  eval("setPlayerWep(1)", false);
  EXPECT_EQ(c->wep, p.weps[1]);
  EXPECT_EQ(p.wepIdx, 1u);
}
