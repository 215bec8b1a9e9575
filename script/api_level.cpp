// The level's bounds, as the frames have grown them.
#include "script/lua_funcs.h"
#include "world/level.h"

namespace LuaFuncs {

namespace {

int pushBound(lua_State* L, const char* fn, int Level::*bound) {
  Level* lvl = needLvl(L, fn);
  if (!lvl) return 0;
  pushInt(L, lvl->*bound);
  return 1;
}

}  // namespace

int lGetLvlW(lua_State* L) { return pushBound(L, "lGetLvlW", &Level::width); }
int lGetLvlH(lua_State* L) { return pushBound(L, "lGetLvlH", &Level::height); }
int lGetLvlTop(lua_State* L) { return pushBound(L, "lGetLvlTop", &Level::top); }
int lGetLvlBottom(lua_State* L) { return pushBound(L, "lGetLvlBottom", &Level::bottom); }
int lGetLvlLeft(lua_State* L) { return pushBound(L, "lGetLvlLeft", &Level::left); }
int lGetLvlRight(lua_State* L) { return pushBound(L, "lGetLvlRight", &Level::right); }

}  // namespace LuaFuncs
