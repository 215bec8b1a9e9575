// Weapons: the weapon list and the player's list filled by name and used by keys.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "unit/api_fixture.h"
#include "world/level.h"
#include "world/npc.h"
#include "world/player.h"
#include "world/weapon.h"

namespace {

struct WeaponTest : leveltest::GameDir {
  Log::Capture cap;  // no picture can be loaded without a window
  void TearDown() override {
    Player::instance() = Player();
    Weapon::clear();
    GameDir::TearDown();
  }
};

}  // namespace

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

// A weapon function that never returns is stopped once and not fired again;
// the weapon's other function still works.
TEST_F(WeaponTest, PlayerListFilledByNameAndUsedByKeys) {
  file("lua/gun.lua",
       "shots = '' function shoot(x, y) shots = shots .. 'a' .. x .. ',' .. y .. ' ' end "
       "function burst(x, y) shots = shots .. 'b' .. x .. ',' .. y .. ' ' if x < 0 then while true do end end end");
  file("data/weapons", "gun data/none.crs:p lua/gun.lua shoot burst\n");
  ASSERT_TRUE(Weapon::load("data/weapons"));
  Weapon* gun = Weapon::get("gun");
  // Made as if its picture had loaded.
  gun->setFunc("shoot");
  gun->setSpecFunc("burst");
  gun->lua.setName("lua/gun.lua");
  gun->lua.openFile("lua/gun.lua");
  Level lvl;
  Player& p = Player::instance();
  p.addPlayer(&lvl, 30, 40, 0, 100, "data/none.crs:player");
  Lua lua;
  LuaFuncs::registerAll(lua);
  lua.setReg(Lua::kRegLvl, static_cast<void*>(&lvl));
  ASSERT_TRUE(lua.runString("lAddPlayerWep('gun') lAddPlayerWep('gun') lAddPlayerWep('bow') lAddPlayerWep({})"));
  EXPECT_EQ(p.weps, std::vector<Weapon*>{gun});
  EXPECT_TRUE(cap.has("FAIL: Weapon.get: Nie znaleziono broni \"bow\""));
  EXPECT_EQ(cap.count("Nie znaleziono broni"), 1u);  // no name: refused silently
  ASSERT_TRUE(lua.runString("setPlayerWep(0)"));
  ASSERT_EQ(p.npc->wep, gun);
  p.keysA[Player::kWeaponUse] = 'x';
  p.keysB[Player::kWeaponSpecial] = 'c';
  p.onKey('x');
  p.npc->x = -5.7f;
  Lua::setBudgetMs(20);
  p.onKey('c');
  p.onKey('c');
  Lua::setBudgetMs(0);
  p.onKey('x');
  EXPECT_EQ(apitest::global(gun->lua, "shots"), "a30,40 b-5,40 a-5,40 ");
  EXPECT_EQ(cap.count("FAIL: Lua.update: Error: Skrypt lua/gun.lua, funkcja burst: przekroczony limit czasu (20 ms)"),
            1u);
  EXPECT_EQ(apitest::eval(gun->lua, "return setPos"), "nil");  // none of the level's functions
  // A new character (another level) still holds the chosen weapon.
  p.setPlayer();
  EXPECT_EQ(p.npc->wep, gun);
}
