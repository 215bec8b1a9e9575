// The level's families of the script API: self, characters by slot, level
// objects by id, frame objects by frame id and id, the level, the camera.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "render/camera.h"
#include "unit/api_fixture.h"
#include "unit/world_helpers.h"
#include "world/npc.h"

namespace {

using apitest::Row;
using apitest::tooFew;

struct ApiWorld : apitest::LevelApi {
  worldtest::Sheet sheet{4, 16, 16};
  worldtest::PhysicsGuard guard;
  Npc* bob = nullptr;
  Object* obj = nullptr;

  void SetUp() override {
    LevelApi::SetUp();
    sheet.s.animsByName["walk"] = 3;
    bob = lvl.addNpc(std::make_unique<Npc>("bob", 1, 10, 20, 0, 5, &sheet.s, &lvl, nullptr), 1);
    lvl.addNpc(std::make_unique<Npc>(nullptr, 2, 0, 0, 0, 1, nullptr, &lvl, nullptr), 2);
    obj = lvl.addObj(5, 30, 40, 0, 9, &sheet.s);
    lvl.addFrame(7, "a", nullptr, nullptr, 0, 0, 0, 1.0f, 1.0f);
    lvl.addFrame(7, "b", nullptr, nullptr, 1, 0, 0, 1.0f, 1.0f);
    lvl.addFrameObj(5, 50, 60, 0, 3, &sheet.s);
    lvl.addFrameObj(6, 700, 60, 0, 3, &sheet.s);  // in the second frame of id 7
  }
};

}  // namespace

// Too few arguments first, then the level, then the target; a failed call
// gives nothing. The id getters stay silent about a missing target.
TEST_F(ApiWorld, ContractFailures) {
  const std::string nullNpc = "FAIL: LuaFuncs.lSetNpcX: NULL npc";
  const Row inLevel[] = {
      {"return count(setFrameObjPos(7, 5, 1)) + count(setNpcColsOn()) + count(setObjAnim(5)) + "
       "count(setObjAirRes(5, 1)) + count(getNpcId())",
       "0",
       {tooFew("lSetFrameObjPos"), tooFew("lSetNpcColsOn"), tooFew("lSetObjAnim"), tooFew("lSetObjAirRes"),
        tooFew("lGetNpcId")}},
      {"return count(loadLvl()) + count(loadFrame(1, 'a', 'b', 'c', 0)) + count(setSkybox()) + "
       "count(addLvlObj(1, 2, 3, 4, 5)) + count(addLvlNpc('a', 1, 2, 3, 4, 5)) + count(delLvlFrameObj(1)) + "
       "count(setGlobalGrav(1)) + count(setFade('a', 1)) + count(setCamTY())",
       "0",
       {tooFew("lLoadLvl"), tooFew("lLoadFrame"), tooFew("lSetSkybox"), tooFew("lAddLvlObj"), tooFew("lAddLvlNpc"),
        tooFew("lDelLvlFrameObj"), tooFew("lSetGlobalGrav"), tooFew("lSetFade"), tooFew("lSetCamTY")}},
      {"return count(setNpcX(-1, 5)) + count(setNpcX(getLvlNpcCount(), 5)) + count(setNpcX(50, 1)) + "
       "count(setObjX(99, 1)) + count(getFrameObjX(7, 6)) + count(getPos())",
       "0",
       {nullNpc, nullNpc, nullNpc, "FAIL: LuaFuncs.lSetObjX: NULL obj", "FAIL: LuaFuncs.lGetFrameObjX: NULL obj",
        "FAIL: LuaFuncs.lGetPos: NULL npc"}},
      {"return count(getId()) + count(getNpcId(50)) + count(getObjId(99)) + count(getFrameObjId(8, 5))", "0", {}},
  };
  for (const Row& row : inLevel) apitest::check(lvlState, row);
  apitest::check(bob->lua, {"return select('#', setPos(1))", "0", {tooFew("lSetPos")}});
  Lua bare;  // a state without "lvl"; the sky functions need none
  LuaFuncs::registerAll(bare);
  apitest::check(bare, {"return count(setObjX(5, 1)) + count(getObjId(5)) + count(setX(1)) + count(unloadLvl()) + "
                        "count(loadLvl('x')) + count(delLvlNpc(1)) + count(getLvlW()) + count(setSkybox('x', 1)) + "
                        "count(setSkyboxForce()) + count(setSkyboxUnforce())",
                        "0",
                        {"FAIL: LuaFuncs.lSetObjX: NULL lvl", "FAIL: LuaFuncs.lGetObjId: NULL lvl",
                         "FAIL: LuaFuncs.lSetX: NULL npc", "FAIL: LuaFuncs.lUnloadLvl: NULL lvl",
                         "FAIL: LuaFuncs.lLoadLvl: NULL lvl", "FAIL: LuaFuncs.lDelLvlNpc: NULL lvl",
                         "FAIL: LuaFuncs.lGetLvlW: NULL lvl"}});
  EXPECT_TRUE(bob->x == 10.0f && obj->x == 30.0f);
  EXPECT_EQ(ScriptRequests::instance().pending(), 0u);
}

// Positions and hp are truncated integers; speeds and physics values are
// floats; extra arguments are ignored. Animations by index, numeric string
// or name; setObjGrav with the id alone hands the object back to the
// level-wide gravity. Camera setters take the view centre, getters give the
// stored corner, held at the ends of the integer range.
TEST_F(ApiWorld, ValuesAndConversions) {
  apitest::check(bob->lua, {"setX(10.9) setY(-10.9) setSpdX(10.9) setSpdY('2.5') setHp('12', 'extra') "
                            "setGrav(0.5, 0.25) return getId(), getPos()",
                            "1 10 -10",
                            {}});
  EXPECT_TRUE(bob->spdX == 10.9f && bob->spdY == 2.5f && bob->hp == 12 && bob->grav->x == 0.5f);
  Camera& cam = Camera::instance();
  const Camera saved = cam;
  cam.x = 5;
  lvl.left = -640, lvl.top = -480, lvl.right = 1280, lvl.bottom = 960, lvl.width = 1920, lvl.height = 1440;
  const Row rows[] = {
      {"return getNpcHp(1), math.abs(getNpcSpdX(1) - 10.9) < 1e-6", "12 true", {}},
      {"setObjPos(5, 100.7, 200.2) setObjSpd(5, -3.25, 4) setObjColsOff(5) setObjImmobileOn(5) "
       "setObjGndRes(5, 1, 2) setObjAirRes(5, 0.5, 0.25) return all(getObjPos(5)), getObjSpd(5)",
       "100 200 -3.25 4",
       {}},
      {"setFrameObjY(7, 5, 61.5) setFrameObjHp(7, 5, -4) "
       "return getFrameObjId(7, 5), getFrameObjY(7, 5), getFrameObjHp(7, 5)",
       "5 61 -4",
       {}},
      {"setObjAnim(5, 2) local a = getObjAnim(5) setObjAnim(5, '1') return a, getObjAnim(5)", "2 1", {}},
      {"return select('#', getNpcName(1)), getNpcName(1), select('#', getNpcName(2))", "1 bob 0", {}},
      {"return getLvlW(), getLvlH(), getLvlTop(), getLvlBottom(), getLvlLeft(), getLvlRight()",
       "1920 1440 -480 960 -640 1280",
       {}},
      {"setCamY(300.9) setCamShadeOn() local a = getCamShade() setCamShadeToggle() "
       "return all(getCamPos()), a, getCamShade()",
       "5 60 1 0",
       {}},
      {"setCamPos(400, 300) setCamTPos(-10.5, 0) setCamTX(320) setCamSpd(2.5) "
       "return all(getCamPos()), getCamTPos()",
       "80 60 0 -240",
       {}},
      {"setCamX(-1e30) setCamTY(1e30) return getCamSpd(), select(2, getCamTPos()) > 2e9, getCamPos()",
       "2.5 true -2147483648 60",
       {}},
      {"setGlobalGrav(1.5, -2) setGlobalAirRes(0.25, 0.5) setGlobalGndRes(7, 8.5) "
       "return all(getGlobalGrav()), all(getGlobalAirRes()), all(getGlobalGndRes())",
       "1.5 -2 0.25 0.5 7 8.5",
       {}},
  };
  for (const Row& row : rows) apitest::check(lvlState, row);
  cam = saved;
  EXPECT_TRUE(!obj->colsOn && obj->immobile && obj->gndRes == &obj->ownGndRes && obj->airRes->y == 0.25f);
  Object* plain = lvl.addObj(6, 0, 0, 0, 1, &sheet.s);  // follows the level-wide values
  EXPECT_TRUE(plain->grav->y == -2.0f && plain->gndRes->y == 8.5f);

  apitest::check(lvlState, {"setObjAnim(5, 'walk') setObjGrav(5, 1, 2)", "", {}});
  EXPECT_TRUE(obj->anim == sheet.s.getAnim(3) && obj->grav == &obj->ownGrav && obj->ownGrav.y == 2.0f);
  apitest::check(lvlState, {"setObjGrav(5)", "", {}});
  Object::globalGrav = {0, 50};
  EXPECT_FLOAT_EQ(obj->grav->y, 50.0f);
  apitest::check(lvlState, {"setObjGrav(5, 0, 0) setNpcGrav(1)", "", {tooFew("lSetNpcGrav")}});
  EXPECT_FLOAT_EQ(obj->grav->y, 0.0f);
  Log::Capture cap;  // a sprite that cannot be loaded leaves the object without one
  lvlEval("getNpcName(3) setObjSprite(5, 'data/none.crs:nothing')");
  EXPECT_TRUE(cap.has("FAIL: LuaFuncs.lGetNpcName: NULL npc"));
  EXPECT_TRUE(obj->sprite == nullptr && obj->anim == nullptr);
}

// Frames by script: made and loaded, refused when their blocks are missing
// or their pixels out of reach, removed by id (an unknown id is no error).
TEST_F(ApiWorld, FramesAndFrameObjects) {
  archive("data/lvl/x.crs", {{"f1.bin", blocks()}});
  Log::Capture cap;
  lvlEval(
      "loadFrame(4, 'data/lvl/x.crs:f1', 'none', 'none', 1, 2, -1, 0.5) "
      "loadFrame(3, 'data/lvl/x.crs:f1', 'none', 'none', 2, 2, 0, 0.5, 0.25) "
      "loadFrame(5, 'data/lvl/x.crs:no', 'none', 'none', 0, 0) "
      "loadFrame(6, 'data/lvl/x.crs:f1', 'none', 'none', 1e9, 0)");
  EXPECT_EQ(cap.count("FAIL: LuaFuncs.lLoadFrame: Nie udalo sie wczytac ramki"), 2u);
  Frame* f = lvl.findFrame(1, 2, -1);
  ASSERT_TRUE(f && f->hasCells() && f->id == 4 && f->parallaxX + f->parallaxY == 1.5f);
  EXPECT_EQ(lvl.findFrame(2, 2, 0)->parallaxY, 0.25f);
  const size_t before = lvl.frameMap.size();

  lvl.addFrameObj(9, 650, 970, -1, 1, &sheet.s);
  cap.clear();
  lvlEval("delLvlFrameObj(4, 8) unloadFrame(77)");
  EXPECT_EQ(f->objs.size(), 1u);
  lvlEval("delLvlFrameObj(4, 9) unloadFrame(4)");
  EXPECT_EQ(lvl.findFrame(1, 2, -1), nullptr);
  EXPECT_EQ(lvl.frameMap.size(), before - 1);  // the frame without blocks stays
  EXPECT_TRUE(cap.lines().empty()) << cap.joined();
}

// A character fills a free slot at once, with the optional collide and
// gravity values; replacing or deleting the calling character waits until
// its script has returned (a level update drains).
TEST_F(ApiWorld, AddAndDeleteCharacters) {
  file("lua/self.lua", "function update() end");
  file("lua/bye.lua",
       "function update() delLvlNpc(getId()) delLvlNpc(1000) "
       "if getNpcName(getId()) then dbSetVal('kept', dbGetVal('kept') + 1) end end");
  lvlEval("addLvlNpc('ala', 3, 10.9, 20, 0, 7, nil, 'self.lua', 0, 0)");
  Npc* ala = lvl.npcAt(3);
  ASSERT_TRUE(ala);
  EXPECT_EQ(lvlEval("return getNpcName(3), getNpcX(3), getNpcHp(3)"), "ala 10 7");
  EXPECT_TRUE(ala->lua.loaded() && !ala->colsOn && ala->grav == &ala->ownGrav);

  // Her own script replaces her and deletes the object of id 3: nothing
  // happens while it runs.
  apitest::eval(ala->lua, "addLvlNpc('ola', 3, 0, 0, 0, 1, nil, nil, 1) delLvlObj(3)");
  EXPECT_EQ(lvl.npcAt(3), ala);
  EXPECT_EQ(ScriptRequests::instance().pending(), 2u);
  Log::Capture cap;
  ScriptRequests::instance().drain();
  EXPECT_TRUE(lvl.npcAt(3) == nullptr && lvl.objs.size() == 3);  // ola replaced ala, then went as object 3

  lvlEval("addLvlNpc('ela', 4, 0, 0, 0, 1, nil, 'bye.lua')");
  Npc* ela = lvl.npcAt(4);
  ASSERT_TRUE(ela && ela->colsOn && ela->grav == &Object::globalGrav);
  game::dt = 0.05f;  // three steps: she still stands in her slot for each
  lvl.update();
  EXPECT_TRUE(lvl.npcAt(4) == nullptr && Database::instance().getVal("kept") == 3);
  EXPECT_EQ(ScriptRequests::instance().pending(), 0u);

  // Reloading the characters removes them all, so it waits too.
  lvlEval("addLvlNpc('ida', 3, 0, 0, 0, 1, nil) loadNpcs('data/lvl/q.crs:lvl')");
  EXPECT_NE(lvl.npcAt(3), nullptr);
  ScriptRequests::instance().drain();
  EXPECT_EQ(lvl.countNpcs(), 0u);
  EXPECT_TRUE(cap.has("FAIL: LuaFuncs.lLoadNpcs: Nie udalo sie wczytac npc'ow")) << cap.joined();
}

// Loading and unloading from the level's own periodic function happen after
// the call has returned, once, and the rest of a long frame runs no more
// steps against the level going away.
TEST_F(ApiWorld, LevelChangesWaitForTheUpdate) {
  const std::string a = "data/lvl/a.crs:lvl", b = "data/lvl/b.crs:lvl";
  archive("data/lvl/a.crs", {{"lvl.txt", "frame f0 none none 0 0\nscript data/lvl/a.crs:s\n"},
                             {"f0.bin", blocks()},
                             {"s", "function tick() dbSetVal('ticks', dbGetVal('ticks') + 1) loadLvl('" + b +
                                       "') loadLvl('" + b + "') dbSetVal('width', getLvlW()) end"}});
  archive("data/lvl/b.crs", {{"lvl.txt", "frame f0 none none 2 0\nscript data/lvl/b.crs:s\n"},
                             {"f0.bin", blocks()},
                             {"s", "function tick() unloadLvl() end"}});
  file("npc/list.ini", "");
  file("lua/list.ini", "[" + a + "]\nalways=tick\n[" + b + "]\nalways=tick\n");
  ASSERT_TRUE(lvl.load(a));
  game::dt = 0.5f;  // 31 steps due, but the first asked for the change
  Log::Capture cap;
  lvl.update();
  Database& db = Database::instance();
  EXPECT_EQ(db.getVal("width") * 10 + db.getVal("ticks"), 6401);  // still level a while tick ran
  EXPECT_TRUE(lvl.name == b && lvl.right == 3 * 640 && cap.count("wczytany w") == 1);
  lvl.update();
  EXPECT_TRUE(lvl.frames.empty() && lvl.npcCap == 0 && lvl.alwaysFn.empty());
  EXPECT_FALSE(cap.contains("FAIL: Lua") || cap.contains("FAIL: Level")) << cap.joined();
}
