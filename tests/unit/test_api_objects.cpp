// The object families of the script API: self, characters by slot, level
// objects by id and frame objects by frame id and id.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "api/lua_funcs.h"
#include "base/log.h"
#include "unit/world_helpers.h"
#include "world/level.h"
#include "world/npc.h"

namespace {

struct ApiObjects : ::testing::Test {
  worldtest::Sheet sheet{4, 16, 16};
  Level lvl;
  Lua lvlState;  // as the level's own state: "lvl" set, no character
  Npc* bob = nullptr;
  Object* obj = nullptr;
  worldtest::PhysicsGuard guard;

  void SetUp() override {
    sheet.s.animsByName["walk"] = 3;
    LuaFuncs::registerAll(lvlState);
    lvlState.setReg(Lua::kRegLvl, static_cast<void*>(&lvl));
    lvlState.setReg(Lua::kRegNpc, nullptr);
    bob = lvl.addNpc(std::make_unique<Npc>("bob", 1, 10, 20, 0, 5, &sheet.s, &lvl, nullptr), 1);
    lvl.addNpc(std::make_unique<Npc>(nullptr, 2, 0, 0, 0, 1, nullptr, &lvl, nullptr), 2);
    obj = lvl.addObj(5, 30, 40, 0, 9, &sheet.s);
    lvl.addFrame(7, "a", nullptr, nullptr, 0, 0, 0, 1.0f, 1.0f);
    lvl.addFrame(7, "b", nullptr, nullptr, 1, 0, 0, 1.0f, 1.0f);
    lvl.addFrameObj(5, 50, 60, 0, 3, &sheet.s);
    lvl.addFrameObj(6, 700, 60, 0, 3, &sheet.s);  // in the second frame of id 7
  }

  // The values of a list of expressions as text joined by blanks ("nil" for none).
  static std::string eval(Lua& state, const std::string& chunk) {
    const std::string code =
        "local t = {" + chunk +
        "} local s = {} for i = 1, select('#', unpack(t)) do "
        "s[#s + 1] = tostring(t[i]) end r = #s == 0 and 'nil' or table.concat(s, ' ')";
    EXPECT_TRUE(state.runString(code.c_str()));
    lua_getglobal(state.L(), "r");
    std::string out = lua_tostring(state.L(), -1) ? lua_tostring(state.L(), -1) : "?";
    lua_pop(state.L(), 1);
    return out;
  }
  std::string lvlEval(const std::string& chunk) { return eval(lvlState, chunk); }
  static void run(Lua& state, const std::string& chunk) {
    EXPECT_TRUE(state.runString(chunk.c_str()));
  }
  void lvlRun(const std::string& chunk) { run(lvlState, chunk); }
};

// Argument counts are checked first, then the level, then the target.
TEST_F(ApiObjects, ContractFailures) {
  Log::Capture cap;
  EXPECT_EQ(eval(bob->lua, "setPos(1)"), "nil");
  EXPECT_FLOAT_EQ(bob->x, 10.0f);
  lvlRun("setFrameObjPos(7, 5, 1) setNpcColsOn() setObjAnim(5) setObjAirRes(5, 1)");
  std::vector<std::string> want;
  for (const char* fn : {"lSetPos", "lSetFrameObjPos", "lSetNpcColsOn", "lSetObjAnim", "lSetObjAirRes"})
    want.push_back(std::string("FAIL: LuaFuncs.") + fn + ": Za malo argumentow");
  EXPECT_EQ(cap.lines(), want);
  cap.clear();

  // Slots -1 and npcCap, a missing object, and "self" in the level's state.
  lvlRun(
      "setNpcX(-1, 5) setNpcX(getLvlNpcCount(), 5) setNpcX(50, 1) setObjX(99, 1) "
      "getFrameObjX(7, 6) getPos()");
  EXPECT_EQ(cap.lines(),
            (std::vector<std::string>{
                "FAIL: LuaFuncs.lSetNpcX: NULL npc", "FAIL: LuaFuncs.lSetNpcX: NULL npc",
                "FAIL: LuaFuncs.lSetNpcX: NULL npc", "FAIL: LuaFuncs.lSetObjX: NULL obj",
                "FAIL: LuaFuncs.lGetFrameObjX: NULL obj", "FAIL: LuaFuncs.lGetPos: NULL npc"}));
  cap.clear();

  // The id getters stay silent about a missing target, not about the rest.
  EXPECT_EQ(lvlEval("getId(), getNpcId(50), getObjId(99), getFrameObjId(8, 5)"), "nil");
  EXPECT_TRUE(cap.lines().empty()) << cap.joined();
  EXPECT_EQ(lvlEval("getNpcId()"), "nil");
  EXPECT_TRUE(cap.has("FAIL: LuaFuncs.lGetNpcId: Za malo argumentow"));

  Lua bare;  // a state without "lvl"
  LuaFuncs::registerAll(bare);
  cap.clear();
  run(bare, "setObjX(5, 1) getObjId(5) setX(1)");
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{"FAIL: LuaFuncs.lSetObjX: NULL lvl",
                                                   "FAIL: LuaFuncs.lGetObjId: NULL lvl",
                                                   "FAIL: LuaFuncs.lSetX: NULL npc"}));
  EXPECT_FLOAT_EQ(obj->x, 30.0f);
}

// Positions and hp are truncated integers; speeds and physics values are
// floats; extra arguments are ignored.
TEST_F(ApiObjects, ValuesAndConversions) {
  run(bob->lua, "setX(10.9) setY(-10.9) setSpdX(10.9) setSpdY('2.5') setHp('12', 'extra')");
  EXPECT_TRUE(bob->spdX == 10.9f && bob->spdY == 2.5f && bob->hp == 12);
  EXPECT_EQ(eval(bob->lua, "getId(), getPos()"), "1 10 -10");
  EXPECT_EQ(lvlEval("getNpcHp(1), math.abs(getNpcSpdX(1) - 10.9) < 1e-6"), "12 true");

  lvlRun(
      "setObjPos(5, 100.7, 200.2) setObjSpd(5, -3.25, 4) setObjColsOff(5) "
      "setObjImmobileOn(5) setObjGndRes(5, 1, 2)");
  EXPECT_EQ(lvlEval("getObjPos(5)") + " " + lvlEval("getObjSpd(5)"), "100 200 -3.25 4");
  EXPECT_TRUE(!obj->colsOn && obj->immobile && obj->gndRes == &obj->ownGndRes);
  lvlRun("setFrameObjY(7, 5, 61.5) setFrameObjHp(7, 5, -4)");
  EXPECT_EQ(lvlEval("getFrameObjId(7, 5), getFrameObjY(7, 5), getFrameObjHp(7, 5)"), "5 61 -4");
}

// Animations by index, numeric string or name; a sprite that cannot be
// loaded leaves the object without one. setObjGrav with the id alone hands
// the object back to the level-wide gravity; the other families always set
// their own. getNpcName gives nothing, silently, for a nameless character.
TEST_F(ApiObjects, AnimationSpriteGravityAndNames) {
  lvlRun("setObjAnim(5, 2)");
  EXPECT_EQ(lvlEval("getObjAnim(5)"), "2");
  lvlRun("setObjAnim(5, '1')");
  EXPECT_EQ(obj->animIdx, 1u);
  lvlRun("setObjAnim(5, 'walk')");
  EXPECT_EQ(obj->anim, sheet.s.getAnim(3));

  lvlRun("setObjGrav(5, 1, 2)");
  EXPECT_TRUE(obj->grav == &obj->ownGrav && obj->ownGrav.y == 2.0f);
  Log::Capture cap;
  lvlRun("setObjGrav(5)");
  Object::globalGrav = {0, 50};
  EXPECT_FLOAT_EQ(obj->grav->y, 50.0f);
  lvlRun("setObjGrav(5, 0, 0) setNpcGrav(1)");
  EXPECT_FLOAT_EQ(obj->grav->y, 0.0f);
  EXPECT_EQ(cap.lines(), std::vector<std::string>{"FAIL: LuaFuncs.lSetNpcGrav: Za malo argumentow"});
  run(bob->lua, "setGrav(0.5, 0.25)");
  EXPECT_FLOAT_EQ(bob->grav->x, 0.5f);

  cap.clear();
  EXPECT_EQ(lvlEval("getNpcName(1), select('#', getNpcName(2))"), "bob 0");
  EXPECT_TRUE(cap.lines().empty());
  lvlRun("getNpcName(3) setObjSprite(5, 'data/none.crs:nothing')");
  EXPECT_TRUE(cap.has("FAIL: LuaFuncs.lGetNpcName: NULL npc"));
  EXPECT_TRUE(obj->sprite == nullptr && obj->anim == nullptr);
}

}  // namespace
