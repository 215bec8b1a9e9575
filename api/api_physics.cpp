// The level-wide physics pairs that every object without its own follows.
#include "api/lua_funcs.h"
#include "world/object.h"

namespace LuaFuncs {

namespace {

int setPair(lua_State* L, const char* fn, Vec2f& pair) {
  if (!needArgs(L, 2, fn)) return 0;
  pair.x = argFloat(L, 1);
  pair.y = argFloat(L, 2);
  return 0;
}

int getPair(lua_State* L, const Vec2f& pair) {
  pushFloat(L, pair.x);
  pushFloat(L, pair.y);
  return 2;
}

}  // namespace

int lSetGlobalGrav(lua_State* L) { return setPair(L, "lSetGlobalGrav", Object::globalGrav); }
int lSetGlobalAirRes(lua_State* L) { return setPair(L, "lSetGlobalAirRes", Object::globalAirRes); }
int lSetGlobalGndRes(lua_State* L) { return setPair(L, "lSetGlobalGndRes", Object::globalGndRes); }
int lGetGlobalGrav(lua_State* L) { return getPair(L, Object::globalGrav); }
int lGetGlobalAirRes(lua_State* L) { return getPair(L, Object::globalAirRes); }
int lGetGlobalGndRes(lua_State* L) { return getPair(L, Object::globalGndRes); }

}  // namespace LuaFuncs
