// The player: bindings file, input, its character, its script functions, and
// weapons: the weapon list and the player's list filled by name and used by keys.
#include <algorithm>
#include <fstream>

#include "unit/api_fixture.h"
#include "unit/scratch_dir.h"
#include "world/npc.h"
#include "world/player.h"
#include "world/weapon.h"

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

namespace {

struct PlayerTest : leveltest::GameDir {
  Log::Capture cap;  // the sprite name leads nowhere, no picture loads without a window
  Level lvl;
  Player& p = Player::instance();
  std::vector<uint8_t> keys = std::vector<uint8_t>(512, 0);
  Lines calls;  // dialog and weapon hooks that fired
  void SetUp() override {
    GameDir::SetUp();
    p = Player();
    auto log = [this](std::string s) { calls.push_back(s); };
    p.dialogHooks = {nullptr,
                     [] { return 4; },
                     [log] { log("start"); },
                     [log] { log("advance"); },
                     [log](int o) { log("select " + std::to_string(o)); },
                     nullptr};
    p.weaponHooks.fire1 = [log](Weapon&, int x, int y) { log("fire1 " + std::to_string(x * y)); };
    p.weaponHooks.fire2 = [log](Weapon&, int, int) { log("fire2"); };
  }
  void TearDown() override {
    p = Player();
    Weapon::clear();
    GameDir::TearDown();
  }
  // A controls file of these words and then `tail`.
  static std::string ctrls(const std::string& name, std::initializer_list<uint32_t> words,
                           const std::string& tail = "") {
    std::string bytes;
    for (uint32_t w : words) bytes += u32(w);
    file(name, bytes + tail);
    return name;
  }
  Npc* make() {
    p.addPlayer(&lvl, 960, 96, 0, 100, "data/none.crs:player");
    return p.npc.get();
  }
  void control() { p.control(keys.data(), keys.size()); }
  // The values of `list` in a state with the API (and this level).
  std::string eval(const std::string& list, bool withLvl = true) {
    Lua lua;
    LuaFuncs::registerAll(lua);
    if (withLvl) lua.setReg(Lua::kRegLvl, static_cast<void*>(&lvl));
    return apitest::eval(lua, "return " + list);
  }
};

using WeaponTest = PlayerTest;

}  // namespace

TEST_F(PlayerTest, ControlsFile) {
  EXPECT_TRUE(p.loadCtrls(
      ctrls("big", {20, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22,
                   23, 24, 25, 26}).c_str()));
  EXPECT_EQ(p.keysB[10], 22u);  // 11 pairs of the 20 announced
  EXPECT_TRUE(p.loadCtrls(ctrls("three", {3, 91, 92, 93, 94, 95, 96}).c_str()));
  EXPECT_EQ(p.keysB[2] * 100 + p.keysA[3], 9607u);  // only the first three changed
  cap.clear();  // cut off in a pair: whole pairs only
  EXPECT_FALSE(p.loadCtrls(ctrls("cut", {11, 71, 81, 99}, "\x01\x02").c_str()));
  EXPECT_FALSE(p.loadCtrls("missing"));
  EXPECT_EQ(cap.lines(), (Lines{"FAIL: Player.loadCtrls: Plik niepelny (wczytano 1 z 11 akcji)",
                                "FAIL: Player.loadCtrls: Nie udalo sie otworzyc pliku"}));
  EXPECT_EQ(p.keysA[0] * 100 + p.keysA[1], 7193u);
  const std::string saved = "saved.bin";
  ASSERT_TRUE(p.saveCtrls(saved.c_str()));
  EXPECT_EQ(fs::file_size(saved), 92u);
  EXPECT_EQ(std::ifstream(saved, std::ios::binary).get(), 11);  // the count of actions comes first
  EXPECT_FALSE(fs::exists(saved + ".tmp"));
  Player q;
  ASSERT_TRUE(q.loadCtrls(saved.c_str()));
  EXPECT_TRUE(q.keysA == p.keysA && q.keysB == p.keysB);
}

TEST_F(PlayerTest, HeldKeysAndKeyPresses) {
  p.keysA = {1, 2, 3, 20, 21, 22, 23, 24, 25, 26, 27};
  p.keysB = {11, 12, 0xFFFFFFFFu, 30, 31, 32, 33, 34, 35, 36, 37};  // hostile: never read
  p.onKey(22);                                                      // no character, no action
  Npc* c = make();
  ASSERT_NE(c, nullptr);
  keys[11] = keys[2] = 1;  // left wins over right
  control();
  EXPECT_FLOAT_EQ(c->spdX, -100.0f);
  keys[11] = 0;
  keys[3] = 1;  // jump only from the ground
  control();
  EXPECT_FLOAT_EQ(c->spdX + c->spdY, 100.0f);
  c->onGround = true;
  control();
  EXPECT_FLOAT_EQ(c->spdY, -200.0f);
  c->x = 10.9f, c->y = -3.7f;
  for (int k : {20, 31, 32}) p.onKey(k);  // without a weapon only talk
  int dummy = 0;
  c->wep = reinterpret_cast<Weapon*>(&dummy);
  for (int k : {20, 31, 22}) p.onKey(k);
  EXPECT_EQ(calls, (Lines{"start", "fire1 -30", "fire2", "start"}));
  calls.clear();  // a conversation: no movement, next, options by keysA only
  p.dialogHooks.running = [] { return true; };
  c->spdX = 0;
  control();
  for (int k : {20, 22, 23, 33, 24, 26, 25, 27, 34, 35, 36, 37}) p.onKey(k);
  EXPECT_EQ(calls, (Lines{"advance", "advance", "select 5", "select 14", "select 3", "select -6"}));
  EXPECT_EQ(c->spdX, 0.0f);
}

TEST_F(PlayerTest, CharacterLifeInTheLevel) {
  p.addPlayer(nullptr, 1, 2, 3, 4, "x");
  p.addPlayer(&lvl, 1, 2, 3, 4, nullptr);
  EXPECT_EQ(cap.lines(),
            (Lines{"FAIL: Player.addPlayer: NULL lvl", "FAIL: Player.addPlayer: NULL sprite"}));
  lvl.addNpc(std::make_unique<Npc>("a", 0, 0, 0, 0, 1, nullptr, &lvl, nullptr), 0);
  cap.clear();
  Npc* c = make();  // slot 0 taken: slot 1, with no word about its id 0
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(c->isPlayer && p.npc.slot() == 1 && cap.count("Pozycja") == 0);
  c->x = 100.9f, c->y = -50.7f;
  c->onGround = c->hitRight = true;
  int px = 0, py = 0;
  p.viewPoint(px, py);  // the camera goes to (100 - 320, -50 - 240)
  EXPECT_EQ(std::to_string(px) + " " + std::to_string(py) + " " + p.contactLine(),
            "100 -50 0101\nudlr");
  p.setPlayer();  // made again, it replaces the old one
  EXPECT_EQ(
      std::count_if(lvl.npcs.begin(), lvl.npcs.end(), [](Npc* n) { return n && n->isPlayer; }), 1);
  lvl.unload();  // destroyed with the level: the player lets go
  p.viewPoint(px, py);
  EXPECT_EQ(std::to_string(px) + " " + std::to_string(py) + " " + p.contactLine(),
            "960 96 --------");
  control();
  p.setPlayer();  // the emptied table gives slot 0 again
  ASSERT_NE(p.npc.get(), nullptr);
  EXPECT_EQ(p.npc.slot(), 0u);
  lvl.delNpc(p.npc.get());  // removed by a script
  EXPECT_EQ(p.npc.get(), nullptr);
  for (uint32_t i = 0; i < 100; ++i)  // a full table grows past its end
    lvl.addNpc(std::make_unique<Npc>(nullptr, i, 0, 0, 0, 1, nullptr, &lvl, nullptr), i);
  p.setPlayer();
  EXPECT_EQ(p.npc.slot() * 1000 + lvl.npcCap, 100105u);
}

TEST_F(PlayerTest, ScriptFamily) {
  cap.clear();  // without a character only the start values change, silently
  eval("setPlayerPos(100.9, 50), setPlayerHp(7), setPlayerSprite('s'), getPlayerId()");
  EXPECT_EQ(cap.joined(), "");
  EXPECT_TRUE(p.x == 100 && p.y == 50 && p.hp == 7 && p.spriteName == "s");
  eval("getPlayerX(), setPlayerSpdX(1), lAddPlayerWep()");
  eval("setPlayerX(5), setPlayerHp(9)", false);  // setPlayerHp needs no level
  EXPECT_EQ(cap.lines(), (Lines{"FAIL: LuaFuncs.lGetPlayerX: NULL npc",
                                "FAIL: LuaFuncs.lSetPlayerSpdX: NULL npc",
                                "FAIL: LuaFuncs.lLAddPlayerWep: Za malo argumentow",
                                "FAIL: LuaFuncs.lSetPlayerX: NULL lvl"}));
  EXPECT_EQ(p.hp, 9);
  p.addPlayer(&lvl, 1, 2, 5, 30, "data/none.crs:player");
  Npc* c = p.npc.get();
  ASSERT_NE(c, nullptr);
  eval("setPlayerPos(-10.9, 20), setPlayerHp(12), setPlayerSpdX(2.5)");
  EXPECT_EQ(eval("getPlayerHp(), getPlayerSpdX(), getPlayerPos()"), "12 2.5 -10 20");
  int w0 = 0, w1 = 0;  // an index past the weapon list changes nothing
  p.weps = {reinterpret_cast<Weapon*>(&w0), reinterpret_cast<Weapon*>(&w1)};
  eval("setPlayerWep(2), setPlayerWep(-1)");
  EXPECT_EQ(c->wep, nullptr);
  eval("setPlayerWep(1)", false);
  EXPECT_TRUE(c->wep == p.weps[1] && p.wepIdx == 1);
}

TEST_F(WeaponTest, ListFromDiskOrArchive) {
  file("data/weapons",
       "-- pistol data/g.crs:p lua/a.lua f g\n"  // a comment, however long
       "short data/g.crs:p lua/a.lua f\r\n"      // four words: ignored
       "gun\tdata/g.crs:p lua/a.lua f g extra words\r"
       "\n  knife data/g.crs:k lua/k.lua f g\n"
       "gun data/g.crs:q lua/b.lua f g\n");
  EXPECT_TRUE(Weapon::load("data/weapons"));
  EXPECT_EQ(Weapon::count(), 2u);
  Weapon* gun = Weapon::get("gun");
  ASSERT_TRUE(gun && Weapon::get("knife"));
  EXPECT_FALSE(Weapon::get("pistol"));
  EXPECT_TRUE(cap.has("FAIL: Weapon.get: Nie znaleziono broni \"pistol\""));
  // A later line wins; the earlier weapon stays valid for its holders.
  file("data/more", "gun data/g.crs:r lua/c.lua f g\n");
  EXPECT_TRUE(Weapon::load("data/more"));
  EXPECT_NE(Weapon::get("gun"), gun);
  EXPECT_EQ(gun->sprite, nullptr);
  archive("data/w.crs", {{"list", "axe data/g.crs:a lua/x.lua f g\n"}});
  EXPECT_TRUE(Weapon::load("data/w.crs:list"));
  EXPECT_TRUE(Weapon::get("axe"));
  EXPECT_FALSE(Weapon::load("data/list"));  // no colon: a disk file, and there is none
  EXPECT_FALSE(Weapon::load(nullptr));
  EXPECT_EQ(cap.count("FAIL: Weapon.load: Nie udalo sie wczytac listy broni"), 1);
  EXPECT_TRUE(cap.has("FAIL: Weapon.load: NULL name"));
}

