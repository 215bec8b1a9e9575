// The player's conversation, seen from scripts.
#include <cstdint>
#include <cstdio>

#include "api/lua_funcs.h"
#include "dialog/dialog.h"
#include "resources/ini_file.h"

namespace LuaFuncs {

namespace {

Dialog& dial() { return Dialog::instance(); }

int32_t minusOne(int32_t n) { return n > INT32_MIN ? n - 1 : n; }

int lSetDial(lua_State* L) {
  static const char* const kFn = "lSetDial";
  if (!needArgs(L, 2, kFn)) return 0;
  const char* name = argStr(L, 1, kFn);
  if (!name) return 0;
  const int32_t block = argInt(L, 2);
  guarded(kFn, [name, block] {
    Dialog& d = dial();
    d.setNpcName(name);
    d.start();
    d.block = block;
    d.resume = true;
  });
  return 0;
}

int lSetDialNpcName(lua_State* L) {
  static const char* const kFn = "lSetDialNpcName";
  if (!needArgs(L, 1, kFn)) return 0;
  if (const char* name = argStr(L, 1, kFn)) guarded(kFn, [name] { dial().setNpcName(name); });
  return 0;
}

template <bool Append>
int dialStr(lua_State* L, const char* fn) {
  if (!needArgs(L, 1, fn)) return 0;
  const char* s = argStr(L, 1, fn);
  if (!s) return 0;
  guarded(fn, [s] {
    if (Append)
      dial().text.addStr(s);
    else
      dial().text.setStr(s);
    dial().textVisible = true;
  });
  return 0;
}
int lSetDialStr(lua_State* L) { return dialStr<false>(L, "lSetDialStr"); }
int lAddDialStr(lua_State* L) { return dialStr<true>(L, "lAddDialStr"); }

// The setters of one number that also make the dialog run on.
template <class Set>
int dialSet(lua_State* L, const char* fn, Set set) {
  if (!needArgs(L, 1, fn)) return 0;
  set(argInt(L, 1));
  dial().resume = true;
  return 0;
}
int lSetDialMode(lua_State* L) {
  return dialSet(L, "lSetDialMode", [](int32_t v) { dial().mode = v; });
}
int lSetDialB(lua_State* L) {
  return dialSet(L, "lSetDialB", [](int32_t v) { dial().block = v; });
}
int lSetDialLoop(lua_State* L) {
  // The next command run is line v.
  return dialSet(L, "lSetDialLoop", [](int32_t v) { dial().line = minusOne(v); });
}
int lSetDialWait(lua_State* L) {
  return dialSet(L, "lSetDialWait", [](int32_t v) { dial().wait = static_cast<float>(v); });
}

int lSetDialOpt(lua_State* L) {
  if (needArgs(L, 1, "lSetDialOpt")) dial().opt = argInt(L, 1);
  return 0;
}

int lAddDialCmd(lua_State* L) {
  static const char* const kFn = "lAddDialCmd";
  if (!needArgs(L, 3, kFn)) return 0;
  const int32_t block = argInt(L, 1), line = argInt(L, 2);
  const char* cmd = argStr(L, 3, kFn);
  if (!cmd) return 0;
  char key[32];
  std::snprintf(key, sizeof key, "%d %d", block, line);
  guarded(kFn, [&key, cmd] { IniFile::instance().set("dialog", key, cmd); });
  return 0;
}

int lClearODialpts(lua_State*) { return 0; }

template <class Get>
int dialGet(lua_State* L, Get get) {
  pushInt(L, get(dial()));
  return 1;
}
int lGetDialMode(lua_State* L) { return dialGet(L, [](Dialog& d) { return d.mode; }); }
int lGetDialB(lua_State* L) { return dialGet(L, [](Dialog& d) { return d.block; }); }
int lGetDialLoop(lua_State* L) { return dialGet(L, [](Dialog& d) { return d.line; }); }
int lGetDialOpt(lua_State* L) { return dialGet(L, [](Dialog& d) { return d.opt; }); }
int lGetDialWait(lua_State* L) {
  return dialGet(L, [](Dialog& d) {
    const float w = d.wait;
    if (!(w > -2147483648.0f)) return w != w ? 0 : INT32_MIN;
    return w >= 2147483647.0f ? INT32_MAX : static_cast<int32_t>(w);
  });
}

int lGetDialNpcName(lua_State* L) {
  const Dialog& d = dial();
  if (d.hasNpcFile)
    lua_pushlstring(L, d.npcFile.data(), d.npcFile.size());
  else
    lua_pushnil(L);
  return 1;
}

}  // namespace

const std::vector<Func>& dialogFuncs() {
  static const std::vector<Func> funcs = {
      {"setDial", lSetDial},
      {"setDialStr", lSetDialStr},
      {"addDialStr", lAddDialStr},
      {"setDialMode", lSetDialMode},
      {"setDialB", lSetDialB},
      {"setDialLoop", lSetDialLoop},
      {"setDialWait", lSetDialWait},
      {"setDialNpcName", lSetDialNpcName},
      {"setDialOpt", lSetDialOpt},
      {"addDialCmd", lAddDialCmd},
      // Same function: its failures name lAddDialCmd too.
      {"addDialOpt", lAddDialCmd},
      {"clearODialpts", lClearODialpts},
      {"getDialMode", lGetDialMode},
      {"getDialB", lGetDialB},
      {"getDialLoop", lGetDialLoop},
      {"getDialWait", lGetDialWait},
      {"getDialNpcName", lGetDialNpcName},
      {"getDialOpt", lGetDialOpt},
  };
  return funcs;
}

}  // namespace LuaFuncs
