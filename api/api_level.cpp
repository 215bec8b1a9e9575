// The level's bounds, as the frames have grown them, and the size of its
// character table.
#include "api/lua_funcs.h"
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

// The number of slots, empty ones included: scripts walk slots 0 .. n - 1.
int lGetLvlNpcCount(lua_State* L) {
  Level* lvl = needLvl(L, "lGetLvlNpcCount");
  if (!lvl) return 0;
  pushUInt(L, lvl->npcCap);
  return 1;
}

}  // namespace LuaFuncs
