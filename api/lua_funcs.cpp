#include "api/lua_funcs.h"

#include <cctype>
#include <cmath>
#include <limits>

#include "base/log.h"
#include "world/weapon.h"

namespace LuaFuncs {

const std::vector<Func>& table() {
  // Registration order of the whole API. Families that are not part of the
  // engine yet are named in comments at their place.
  static const std::vector<Func> funcs = [] {
    std::vector<Func> t = {
        {"test", lTest},
        {"killApp", lKillApp},
        {"getGlobalVal", lGetGlobalVal},
        {"getGlobalStr", lGetGlobalStr},
        {"setGlobalVal", lSetGlobalVal},
        {"setGlobalStr", lSetGlobalStr},
        {"include", lInclude},
        {"loadLvl", lLoadLvl},
        {"loadFrame", lLoadFrame},
        {"loadNpcs", lLoadNpcs},
        {"loadSprite", lLoadSprite},
        {"unloadLvl", lUnloadLvl},
        {"unloadFrame", lUnloadFrame},
        {"unloadSprite", lUnloadSprite},
        {"dbLoad", lDbLoad},
        {"dbSave", lDbSave},
        {"dbClear", lDbClear},
        {"dbSetVal", lDbSetVal},
        {"dbSetStr", lDbSetStr},
        {"dbGetVal", lDbGetVal},
        {"dbGetStr", lDbGetStr},
        {"setSkybox", lSetSkybox},
        {"setSkyboxForce", lSetSkyboxForce},
        {"setSkyboxUnforce", lSetSkyboxUnforce},
        {"addLvlObj", lAddLvlObj},
        {"addLvlFrameObj", lAddLvlFrameObj},
        {"addLvlNpc", lAddLvlNpc},
        {"delLvlObj", lDelLvlObj},
        {"delLvlFrameObj", lDelLvlFrameObj},
        {"delLvlNpc", lDelLvlNpc},
        {"getLvlW", lGetLvlW},
        {"getLvlH", lGetLvlH},
        {"getLvlTop", lGetLvlTop},
        {"getLvlBottom", lGetLvlBottom},
        {"getLvlLeft", lGetLvlLeft},
        {"getLvlRight", lGetLvlRight},
        {"getLvlNpcCount", lGetLvlNpcCount},
        {"setGlobalGrav", lSetGlobalGrav},
        {"setGlobalAirRes", lSetGlobalAirRes},
        {"setGlobalGndRes", lSetGlobalGndRes},
        {"getGlobalGrav", lGetGlobalGrav},
        {"getGlobalAirRes", lGetGlobalAirRes},
        {"getGlobalGndRes", lGetGlobalGndRes},
    };
    for (const auto* family :
         {&selfFuncs(), &npcFuncs(), &objFuncs(), &frameObjFuncs(), &playerFuncs()})
      t.insert(t.end(), family->begin(), family->end());
    t.insert(t.end(), dialogFuncs().begin(), dialogFuncs().end());
    t.insert(t.end(), {
                          {"setFade", lSetFade},
                          {"addFade", lAddFade},
                          {"setCamPos", lSetCamPos},
                          {"setCamX", lSetCamX},
                          {"setCamY", lSetCamY},
                          {"setCamTPos", lSetCamTPos},
                          {"setCamTX", lSetCamTX},
                          {"setCamTY", lSetCamTY},
                          {"setCamSpd", lSetCamSpd},
                          {"setCamShadeOn", lSetCamShadeOn},
                          {"setCamShadeOff", lSetCamShadeOff},
                          {"setCamShadeToggle", lSetCamShadeToggle},
                      });
    t.insert(t.end(), camShaderFuncs().begin(), camShaderFuncs().end());
    t.insert(t.end(), {
                          {"getCamPos", lGetCamPos},
                          {"getCamTPos", lGetCamTPos},
                          {"getCamSpd", lGetCamSpd},
                          {"getCamShade", lGetCamShade},
                      });
    t.insert(t.end(), soundFuncs().begin(), soundFuncs().end());
    return t;
  }();
  return funcs;
}

void registerAll(Lua& lua) {
  for (const Func& f : table()) lua.regFunc(f.fn, f.name);
}

void install() {
  Lua::setApiInstaller(&registerAll);
  Weapon::setApiInstaller(&registerWeaponApi);
}

std::string engineName(const char* scriptName) {
  std::string name = "l";
  if (scriptName && *scriptName) {
    name += static_cast<char>(std::toupper(static_cast<unsigned char>(scriptName[0])));
    name += scriptName + 1;
  }
  return name;
}

bool needArgs(lua_State* L, int n, const char* fn) {
  if (lua_gettop(L) >= n) return true;
  Log::fail("LuaFuncs.%s: Za malo argumentow\n", fn);
  return false;
}

void failNullLvl(const char* fn) { Log::fail("LuaFuncs.%s: NULL lvl\n", fn); }
void failNullNpc(const char* fn) { Log::fail("LuaFuncs.%s: NULL npc\n", fn); }
void failNullObj(const char* fn) { Log::fail("LuaFuncs.%s: NULL obj\n", fn); }
void failNoMemory(const char* fn) { Log::fail("LuaFuncs.%s: Nie udalo sie zajac pamieci\n", fn); }

uint32_t argId(lua_State* L, int idx) {
  const double d = lua_tonumber(L, idx);
  int64_t v = 0;
  if (std::isnan(d))
    v = 0;
  else if (d >= 9223372036854775807.0)
    v = std::numeric_limits<int64_t>::max();
  else if (d <= -9223372036854775808.0)
    v = std::numeric_limits<int64_t>::min();
  else
    v = static_cast<int64_t>(d);
  return static_cast<uint32_t>(static_cast<uint64_t>(v));
}

int32_t argInt(lua_State* L, int idx) {
  const double d = lua_tonumber(L, idx);
  if (std::isnan(d)) return 0;
  if (d >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (d <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(d);
}

float argFloat(lua_State* L, int idx) { return static_cast<float>(lua_tonumber(L, idx)); }

const char* argStr(lua_State* L, int idx, const char* fn) {
  const char* s = lua_tostring(L, idx);
  if (!s) Log::fail("LuaFuncs.%s: Argument %d nie jest tekstem\n", fn, idx);
  return s;
}


}  // namespace LuaFuncs
