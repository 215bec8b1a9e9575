#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "api/lua_funcs.h"
#include "base/log.h"
#include "render/camera.h"
#include "unit/level_fixture.h"
#include "unit/world_helpers.h"
#include "world/level.h"
#include "world/npc.h"

namespace {

struct ApiWorld : leveltest::GameDir {
  worldtest::Sheet sheet{2, 16, 16};
  worldtest::PhysicsGuard guard;
  Level lvl;
  Lua lvlState;  // as the level's own state

  void SetUp() override {
    GameDir::SetUp();
    LuaFuncs::registerAll(lvlState);
    lvlState.setReg(Lua::kRegLvl, static_cast<void*>(&lvl));
    lvlState.setReg(Lua::kRegNpc, nullptr);
  }
  void TearDown() override {
    ScriptRequests::instance().cancel(&lvl);
    GameDir::TearDown();
  }
  static void run(Lua& state, const std::string& chunk) {
    EXPECT_TRUE(state.runString(chunk.c_str())) << chunk;
  }
  // The values of a list of script expressions, as text joined by blanks.
  std::string lvlEval(const std::string& exprs) {
    run(lvlState, "local t = {" + exprs +
                      "} for i = 1, #t do t[i] = tostring(t[i]) end r = table.concat(t, ' ')");
    lua_getglobal(lvlState.L(), "r");
    std::string out = lua_tostring(lvlState.L(), -1);
    lua_pop(lvlState.L(), 1);
    return out;
  }
};

}  // namespace

// Every function outside the dialog family, in registration order.
TEST(ApiWorldTable, RegistrationOrder) {
  std::string want =
      "test killApp getGlobalVal getGlobalStr setGlobalVal setGlobalStr include loadLvl loadFrame "
      "loadNpcs loadSprite unloadLvl unloadFrame unloadSprite dbLoad dbSave dbClear dbSetVal dbSetStr "
      "dbGetVal dbGetStr setSkybox setSkyboxForce setSkyboxUnforce addLvlObj addLvlFrameObj addLvlNpc "
      "delLvlObj delLvlFrameObj delLvlNpc getLvlW getLvlH getLvlTop getLvlBottom getLvlLeft getLvlRight "
      "getLvlNpcCount setGlobalGrav setGlobalAirRes setGlobalGndRes getGlobalGrav getGlobalAirRes "
      "getGlobalGndRes ";
  for (std::string fam : {"", "Npc", "Obj", "FrameObj", "Player"}) {
    for (const char* s : {"Pos", "X", "Y", "Sprite", "Anim", "Grav", "AirRes", "GndRes", "Spd", "SpdX",
                          "SpdY", "ColsOn", "ColsOff", "ImmobileOn", "ImmobileOff", "Hp"})
      want += "set" + fam + s + " ";
    if (fam == "Player") want += "setPlayerWep lAddPlayerWep ";
    for (std::string g : {"Id", "Pos", "X", "Y", "Anim", "Spd", "SpdX", "SpdY", "Hp"})
      want += "get" + fam + g + (g == "Id" && (fam == "Npc" || fam == "Player") ? " get" + fam + "Name " : " ");
  }
  want += "setFade addFade setCamPos setCamX setCamY setCamTPos setCamTX setCamTY setCamSpd "
          "setCamShadeOn setCamShadeOff setCamShadeToggle setCamShaderVert setCamShaderFrag "
          "setCamShaderPost delCamShaderArg setCamShaderArgFloat setCamShaderArgImg getCamPos "
          "getCamTPos getCamSpd getCamShade ";
  std::string names;
  size_t dialog = 0;
  // The sound functions follow the 212 (their own test).
  const auto& table = LuaFuncs::table();
  for (size_t i = 0; i < std::min<size_t>(212, table.size()); ++i) {
    const std::string n = table[i].name;
    if (n.find("Dial") == std::string::npos && n != "clearODialpts") names += n + " ";
    else ++dialog;
  }
  EXPECT_EQ(names, want);
  EXPECT_EQ(dialog + std::count(want.begin(), want.end(), ' '), 212u);
}

// Too few arguments first, then the level; the sky functions need no level.
TEST_F(ApiWorld, ContractFailures) {
  Log::Capture cap;
  run(lvlState,
      "loadLvl() loadFrame(1, 'a', 'b', 'c', 0) setSkybox() addLvlObj(1, 2, 3, 4, 5) "
      "addLvlNpc('a', 1, 2, 3, 4, 5) delLvlFrameObj(1) setGlobalGrav(1) setFade('a', 1) "
      "setCamTY()");
  std::vector<std::string> want;
  for (const char* fn : {"lLoadLvl", "lLoadFrame", "lSetSkybox", "lAddLvlObj", "lAddLvlNpc",
                         "lDelLvlFrameObj", "lSetGlobalGrav", "lSetFade", "lSetCamTY"})
    want.push_back(std::string("FAIL: LuaFuncs.") + fn + ": Za malo argumentow");
  EXPECT_EQ(cap.lines(), want);

  Lua bare;  // no "lvl"
  LuaFuncs::registerAll(bare);
  cap.clear();
  run(bare,
      "unloadLvl() loadLvl('x') delLvlNpc(1) getLvlW() setSkybox('x', 1) setSkyboxForce() "
      "setSkyboxUnforce()");
  EXPECT_EQ(cap.lines(),
            (std::vector<std::string>{
                "FAIL: LuaFuncs.lUnloadLvl: NULL lvl", "FAIL: LuaFuncs.lLoadLvl: NULL lvl",
                "FAIL: LuaFuncs.lDelLvlNpc: NULL lvl", "FAIL: LuaFuncs.lGetLvlW: NULL lvl"}));
  EXPECT_EQ(ScriptRequests::instance().pending(), 0u);
}

// Camera setters take the view centre, getters give the stored corner.
TEST_F(ApiWorld, CameraAndPhysics) {
  Camera& cam = Camera::instance();
  const Camera saved = cam;
  cam.x = 5;
  run(lvlState, "setCamY(300.9) setCamShadeOn() a = getCamShade() setCamShadeToggle()");
  EXPECT_EQ(lvlEval("getCamPos()") + " " + lvlEval("a, getCamShade()"), "5 60 1 0");
  run(lvlState, "setCamPos(400, 300) setCamTPos(-10.5, 0) setCamTX(320) setCamSpd(2.5)");
  EXPECT_EQ(lvlEval("getCamPos()") + " " + lvlEval("getCamTPos()"), "80 60 0 -240");
  run(lvlState, "setCamX(-1e30) setCamTY(1e30)");  // held at the ends, no overflow
  EXPECT_EQ(lvlEval("getCamSpd(), select(2, getCamTPos()) > 2e9, getCamPos()"),
            "2.5 true -2147483648 60");
  cam = saved;

  Object* obj = lvl.addObj(5, 0, 0, 0, 1, &sheet.s);  // follows the level-wide values
  run(lvlState, "setGlobalGrav(1.5, -2) setGlobalAirRes(0.25, 0.5) setGlobalGndRes(7, 8.5)");
  EXPECT_EQ(lvlEval("getGlobalGrav()") + "," + lvlEval("getGlobalAirRes()") + "," +
                lvlEval("getGlobalGndRes()"),
            "1.5 -2,0.25 0.5,7 8.5");
  EXPECT_TRUE(obj->grav->y == -2.0f && obj->gndRes->y == 8.5f);
}

// Frames by script: made and loaded, refused when their blocks are missing
// or their pixels out of reach, removed by id (an unknown id is no error).
TEST_F(ApiWorld, FramesAndFrameObjects) {
  archive("data/lvl/x.crs", {{"f1.bin", blocks()}});
  Log::Capture cap;
  run(lvlState,
      "loadFrame(4, 'data/lvl/x.crs:f1', 'none', 'none', 1, 2, -1, 0.5) "
      "loadFrame(5, 'data/lvl/x.crs:no', 'none', 'none', 0, 0) "
      "loadFrame(6, 'data/lvl/x.crs:f1', 'none', 'none', 1e9, 0)");
  EXPECT_EQ(cap.count("FAIL: LuaFuncs.lLoadFrame: Nie udalo sie wczytac ramki"), 2u);
  Frame* f = lvl.findFrame(1, 2, -1);
  ASSERT_TRUE(f && f->hasCells() && f->id == 4 && f->parallaxX + f->parallaxY == 1.5f);

  lvl.addFrameObj(9, 650, 970, -1, 1, &sheet.s);
  cap.clear();
  run(lvlState, "delLvlFrameObj(4, 8) unloadFrame(77)");
  EXPECT_EQ(f->objs.size(), 1u);
  run(lvlState, "delLvlFrameObj(4, 9) unloadFrame(4)");
  EXPECT_EQ(lvl.findFrame(1, 2, -1), nullptr);
  EXPECT_EQ(lvl.frameMap.size(), 1u);  // the frame without blocks stays
  EXPECT_TRUE(cap.lines().empty()) << cap.joined();
}

// A character fills a free slot at once, with the optional collide and
// gravity values; replacing the calling character waits for the drain.
TEST_F(ApiWorld, AddAndDeleteCharacters) {
  file("lua/self.lua", "function update() end");
  run(lvlState, "addLvlNpc('ala', 3, 10.9, 20, 0, 7, nil, 'self.lua', 0, 0)");
  Npc* ala = lvl.npcAt(3);
  ASSERT_TRUE(ala);
  EXPECT_EQ(lvlEval("getNpcName(3), getNpcX(3), getNpcHp(3)"), "ala 10 7");
  EXPECT_TRUE(ala->lua.loaded() && !ala->colsOn && ala->grav == &ala->ownGrav);

  // Her own script replaces her and deletes the object of id 3: nothing
  // happens while it runs.
  run(ala->lua, "addLvlNpc('ola', 3, 0, 0, 0, 1, nil, nil, 1) delLvlObj(3)");
  EXPECT_EQ(lvl.npcAt(3), ala);
  EXPECT_EQ(ScriptRequests::instance().pending(), 2u);
  Log::Capture cap;
  ScriptRequests::instance().drain();
  EXPECT_TRUE(lvl.objs.empty());  // ola replaced ala, then went as object 3

  run(lvlState, "addLvlNpc('ela', 4, 0, 0, 0, 1, nil, 'self.lua')");
  Npc* ela = lvl.npcAt(4);
  ASSERT_TRUE(ela && ela->colsOn && ela->grav == &Object::globalGrav);
  run(ela->lua, "delLvlNpc(getId()) delLvlNpc(1000) setX(5)");
  EXPECT_EQ(lvl.npcAt(4), ela);
  ScriptRequests::instance().drain();
  EXPECT_EQ(lvl.npcAt(4), nullptr);

  // Reloading the characters removes them all, so it waits too.
  run(lvlState, "addLvlNpc('ida', 2, 0, 0, 0, 1, nil) loadNpcs('data/lvl/q.crs:lvl')");
  EXPECT_NE(lvl.npcAt(2), nullptr);
  ScriptRequests::instance().drain();
  EXPECT_EQ(lvl.countNpcs(), 0u);
  EXPECT_TRUE(cap.has("FAIL: LuaFuncs.lLoadNpcs: Nie udalo sie wczytac npc'ow")) << cap.joined();
}

// Loading and unloading from the level's own periodic function happen after
// the update, when the state that asked has returned.
TEST_F(ApiWorld, LevelChangesWaitForTheUpdate) {
  const std::string a = "data/lvl/a.crs:lvl", b = "data/lvl/b.crs:lvl";
  archive("data/lvl/a.crs",
          {{"lvl.txt", "frame f0 none none 0 0\nscript data/lvl/a.crs:s\n"},
           {"f0.bin", blocks()},
           {"s", "function tick() loadLvl('" + b + "') dbSetVal('width', getLvlW()) end"}});
  archive("data/lvl/b.crs", {{"lvl.txt", "frame f0 none none 1 0\nscript data/lvl/b.crs:s\n"},
                             {"f0.bin", blocks()},
                             {"s", "function tick() unloadLvl() end"}});
  file("npc/list.ini", "");
  file("lua/list.ini", "[" + a + "]\nalways=tick\n[" + b + "]\nalways=tick\n");
  ASSERT_TRUE(lvl.load(a));
  game::dt = 0.016f;
  Log::Capture cap;
  lvl.update();
  EXPECT_EQ(Database::instance().getVal("width"), 640);  // still level a while tick ran
  EXPECT_TRUE(lvl.name == b && lvl.right == 2 * 640 && cap.count("wczytany w") == 1);
  lvl.update();
  EXPECT_TRUE(lvl.frames.empty() && lvl.npcCap == 0);
  EXPECT_FALSE(cap.contains("FAIL: Lua.update"));
}
