// Process control, values kept in the calling state's own registry, and
// script inclusion.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "api/lua_funcs.h"
#include "base/log.h"
#include "resources/resfile.h"

namespace LuaFuncs {

int lTest(lua_State*) {
  Log::info("LuaFuncs.lTest");
  return 0;
}

int lKillApp(lua_State*) {
  Log::info("LuaFuncs.lKillApp: Zamykanie");
  // At once and without saving: no destructors, no shutdown. The log line
  // must still reach a pipe.
  std::fflush(stdout);
  std::_Exit(0);
}

// The registry is the calling state's own, so these values are private to
// one script state; "filename", "lvl" and "npc" live there too.
int lGetGlobalVal(lua_State* L) {
  static const char* const kFn = "lGetGlobalVal";
  if (!needArgs(L, 1, kFn)) return 0;
  const char* key = argStr(L, 1, kFn);
  if (!key) return 0;
  lua_getfield(L, LUA_REGISTRYINDEX, key);
  const lua_Number value = lua_tonumber(L, -1);
  lua_pop(L, 1);
  lua_pushnumber(L, value);
  return 1;
}

int lGetGlobalStr(lua_State* L) {
  static const char* const kFn = "lGetGlobalStr";
  if (!needArgs(L, 1, kFn)) return 0;
  const char* key = argStr(L, 1, kFn);
  if (!key) return 0;
  lua_getfield(L, LUA_REGISTRYINDEX, key);
  // A number comes back as its text; anything that has none (a host
  // pointer, say) as nil.
  if (!lua_isstring(L, -1)) {
    lua_pop(L, 1);
    lua_pushnil(L);
  } else {
    lua_tostring(L, -1);
  }
  return 1;
}

int lSetGlobalVal(lua_State* L) {
  static const char* const kFn = "lSetGlobalVal";
  if (!needArgs(L, 2, kFn)) return 0;
  const char* key = argStr(L, 1, kFn);
  if (!key) return 0;
  pushInt(L, argInt(L, 2));
  lua_setfield(L, LUA_REGISTRYINDEX, key);
  Lua::registryWritten(L);
  return 0;
}

int lSetGlobalStr(lua_State* L) {
  static const char* const kFn = "lSetGlobalStr";
  if (!needArgs(L, 2, kFn)) return 0;
  const char* key = argStr(L, 1, kFn);
  if (!key) return 0;
  // A value without a text form (nil, a table) stores nil: the key is gone.
  lua_pushstring(L, lua_tostring(L, 2));
  lua_setfield(L, LUA_REGISTRYINDEX, key);
  Lua::registryWritten(L);
  return 0;
}

int lInclude(lua_State* L) {
  static const char* const kFn = "lInclude";
  if (!needArgs(L, 1, kFn)) return 0;
  // A non-text name reaches the archive reader as null and fails there
  // like a malformed one.
  const char* name = lua_tostring(L, 1);
  int rc = 0;
  {
    // The buffer dies before anything below can raise; compiling itself is
    // protected and never leaves this block by longjmp.
    ResBuffer text = Resfile::instance().load(name);
    if (!text) {
      Log::fail("LuaFuncs.lInclude: Nie znaleziono pliku");
      return 0;
    }
    rc = Lua::loadChunk(L, text.c_str(), std::strlen(text.c_str()), "line", name);
  }
  if (rc == 0) rc = lua_pcall(L, 0, 0, 0);
  if (rc != 0) {
    lua_pop(L, 1);
    Log::fail("LuaFuncs.lInclude: Blad przy parsowaniu skryptu");
  }
  return 0;
}

}  // namespace LuaFuncs
