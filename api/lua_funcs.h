// The script API: engine functions registered as Lua globals in the level's
// state and in every character's state (weapon states get none).
//
// Each function is a lua_CFunction named "l" + its script name with a
// capital first letter (lSetNpcPos for "setNpcPos"); that name is what its
// failure lines print. Every function follows one contract, in this order:
//   1. too few arguments: "FAIL: LuaFuncs.<name>: Za malo argumentow", nothing;
//   2. families that work on the level: "lvl" missing: "... NULL lvl";
//   3. target missing: "... NULL npc" / "... NULL obj";
//   4. setters change the target and return nothing, getters push results.
// The helpers below implement the steps; a function that fails one of them
// returns 0 results.
//
// Lua raises errors with longjmp, which skips C++ destructors. An engine
// function therefore reads its arguments with the non-raising calls used
// here, and holds no object with a destructor while it calls into Lua
// (pushing results included). Engine work that may throw runs in guarded().
//
// Adding a family: declare its functions below, implement them in their own
// script/api_<family>.cpp, and put their rows into the table in
// lua_funcs.cpp at their place in the registration order. Changes that can
// destroy a running script or the list being walked go through
// ScriptRequests (script/script_requests.h).
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "script/lua.h"

class Level;
class Npc;

namespace LuaFuncs {

struct Func {
  const char* name;  // script name
  lua_CFunction fn;
};

// The whole API in registration order (later rows replace earlier ones of
// the same name).
const std::vector<Func>& table();
// Registers every row of the table in `lua`, in order.
void registerAll(Lua& lua);
// Registers what weapon states get: the sound rows.
void registerWeaponApi(Lua& lua);
// Makes registerAll the installer every new level and character state runs,
// and registerWeaponApi the one of every new weapon state.
void install();
// "l" + the script name with a capital first letter.
std::string engineName(const char* scriptName);

// --- contract helpers -----------------------------------------------------

// Step 1: at least `n` arguments, else the failure line.
bool needArgs(lua_State* L, int n, const char* fn);
// The host pointers of the calling state (null when absent or not a light
// userdata, e.g. after a script stored its own value under the key).
inline Level* regLvl(lua_State* L) {
  return static_cast<Level*>(Lua::hostPointer(L, Lua::HostKey::Lvl));
}
inline Npc* regNpc(lua_State* L) {
  return static_cast<Npc*>(Lua::hostPointer(L, Lua::HostKey::Npc));
}
// The failure lines of steps 2 and 3 (needLvl and needNpc print theirs).
void failNullLvl(const char* fn);
void failNullNpc(const char* fn);
void failNullObj(const char* fn);
// Step 2 / the self family's step 3: the pointer, or null after the line.
inline Level* needLvl(lua_State* L, const char* fn) {
  Level* lvl = regLvl(L);
  if (!lvl) failNullLvl(fn);
  return lvl;
}
inline Npc* needNpc(lua_State* L, const char* fn) {
  Npc* npc = regNpc(L);
  if (!npc) failNullNpc(fn);
  return npc;
}

// Argument conversions (a non-number reads as 0, a numeric string as its
// number; out-of-range values saturate instead of overflowing).
// Slot, id, frame id, animation index: truncated to 64 bits, low 32 bits
// taken as unsigned (so -1 never matches anything).
uint32_t argId(lua_State* L, int idx);
// Position and hp: truncated to a 32-bit integer.
int32_t argInt(lua_State* L, int idx);
// Speed, gravity, resistances: as float.
float argFloat(lua_State* L, int idx);
// A string (a number is taken as its text). Anything else prints
// "FAIL: LuaFuncs.<fn>: Argument <idx> nie jest tekstem" and gives null.
const char* argStr(lua_State* L, int idx, const char* fn);

inline void pushInt(lua_State* L, int32_t v) { lua_pushnumber(L, static_cast<lua_Number>(v)); }
inline void pushUInt(lua_State* L, uint32_t v) { lua_pushnumber(L, static_cast<lua_Number>(v)); }
inline void pushFloat(lua_State* L, float v) { lua_pushnumber(L, static_cast<lua_Number>(v)); }

// Runs engine work that may throw (allocation failures) and turns an
// exception into "FAIL: LuaFuncs.<fn>: Nie udalo sie zajac pamieci". `work`
// must not call into Lua.
void failNoMemory(const char* fn);
template <class Work>
bool guarded(const char* fn, Work&& work) noexcept {
  try {
    work();
    return true;
  } catch (const std::exception&) {
    failNoMemory(fn);
    return false;
  }
}

// --- process and per-state values (api_global.cpp) ------------------------
int lTest(lua_State* L);
int lKillApp(lua_State* L);
int lGetGlobalVal(lua_State* L);
int lGetGlobalStr(lua_State* L);
int lSetGlobalVal(lua_State* L);
int lSetGlobalStr(lua_State* L);
int lInclude(lua_State* L);

// --- level building (api_level_build.cpp) and the sprite cache
// (api_sprite.cpp) ----------------------------------------------------------
int lLoadLvl(lua_State* L);
int lLoadFrame(lua_State* L);
int lLoadNpcs(lua_State* L);
int lLoadSprite(lua_State* L);
int lUnloadLvl(lua_State* L);
int lUnloadFrame(lua_State* L);
int lUnloadSprite(lua_State* L);

// --- save database (api_db.cpp) -------------------------------------------
int lDbLoad(lua_State* L);
int lDbSave(lua_State* L);
int lDbClear(lua_State* L);
int lDbSetVal(lua_State* L);
int lDbSetStr(lua_State* L);
int lDbGetVal(lua_State* L);
int lDbGetStr(lua_State* L);

// --- level contents (api_level_content.cpp) -------------------------------
int lSetSkybox(lua_State* L);
int lSetSkyboxForce(lua_State* L);
int lSetSkyboxUnforce(lua_State* L);
int lAddLvlObj(lua_State* L);
int lAddLvlFrameObj(lua_State* L);
int lAddLvlNpc(lua_State* L);
int lDelLvlObj(lua_State* L);
int lDelLvlFrameObj(lua_State* L);
int lDelLvlNpc(lua_State* L);

// --- level bounds (api_level.cpp) -----------------------------------------
int lGetLvlW(lua_State* L);
int lGetLvlH(lua_State* L);
int lGetLvlTop(lua_State* L);
int lGetLvlBottom(lua_State* L);
int lGetLvlLeft(lua_State* L);
int lGetLvlRight(lua_State* L);
int lGetLvlNpcCount(lua_State* L);

// --- level-wide physics (api_physics.cpp) ---------------------------------
int lSetGlobalGrav(lua_State* L);
int lSetGlobalAirRes(lua_State* L);
int lSetGlobalGndRes(lua_State* L);
int lGetGlobalGrav(lua_State* L);
int lGetGlobalAirRes(lua_State* L);
int lGetGlobalGndRes(lua_State* L);

// The dialog rows, setDial ... getDialOpt (api_dialog.cpp).
const std::vector<Func>& dialogFuncs();

// --- fades (api_fade.cpp) ---------------------------------------------------
int lSetFade(lua_State* L);
int lAddFade(lua_State* L);

// --- camera (api_camera.cpp; its shader rows are in api_shader.cpp) --------
int lSetCamPos(lua_State* L);
int lSetCamX(lua_State* L);
int lSetCamY(lua_State* L);
int lSetCamTPos(lua_State* L);
int lSetCamTX(lua_State* L);
int lSetCamTY(lua_State* L);
int lSetCamSpd(lua_State* L);
int lSetCamShadeOn(lua_State* L);
int lSetCamShadeOff(lua_State* L);
int lSetCamShadeToggle(lua_State* L);
int lGetCamPos(lua_State* L);
int lGetCamTPos(lua_State* L);
int lGetCamSpd(lua_State* L);
int lGetCamShade(lua_State* L);

// --- object families (api_self.cpp, api_npc.cpp, api_obj.cpp,
// api_frameobj.cpp): their rows in registration order ---------------------
const std::vector<Func>& selfFuncs();
const std::vector<Func>& npcFuncs();
const std::vector<Func>& objFuncs();
const std::vector<Func>& frameObjFuncs();
// The player family (api_player.cpp).
const std::vector<Func>& playerFuncs();
// The camera's shader rows, setCamShaderVert ... setCamShaderArgImg
// (api_shader.cpp).
const std::vector<Func>& camShaderFuncs();
// Sound, playSnd ... setMusicPitch (api_sound.cpp); registered after the
// rest, and in weapon states too.
const std::vector<Func>& soundFuncs();

}  // namespace LuaFuncs
