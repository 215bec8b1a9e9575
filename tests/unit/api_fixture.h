// Script states for the API tests: what a chunk gives back as text, rows of
// chunks with their results and log lines, and a level with its own state.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/lua_funcs.h"
#include "base/log.h"
#include "script/lua.h"
#include "unit/level_fixture.h"
#include "world/level.h"

namespace apitest {

// A global of the state as text ("nil" when it has none).
inline std::string global(Lua& lua, const char* name) {
  lua_getglobal(lua.L(), name);
  const char* s = lua_tostring(lua.L(), -1);
  std::string out = s ? s : "nil";
  lua_pop(lua.L(), 1);
  return out;
}

// Runs `code` as a function body ("... return a, b") and gives its results
// as text joined by blanks; "?" when the chunk raised. Inside, all(...)
// joins values the same way: "return all(getObjPos(5)), getObjHp(5)", and
// count(...) counts them: "return count(setX()) + count(setY())".
inline std::string eval(Lua& lua, const std::string& code) {
  const std::string chunk =
      "_r = '?' local function all(...) local s = {} for i = 1, select('#', ...) do "
      "s[i] = tostring((select(i, ...))) end return table.concat(s, ' ') end "
                            "local function count(...) return select('#', ...) end "
      "local function f() " +
      code + "\nend _r = all(f())";
  EXPECT_TRUE(lua.runString(chunk.c_str())) << code;
  return global(lua, "_r");
}

// A chunk, its results, and every line it logs.
struct Row {
  const char* code;
  const char* want;
  std::vector<std::string> lines;
};

inline void check(Lua& lua, const Row& row) {
  SCOPED_TRACE(row.code);
  Log::Capture cap;
  EXPECT_EQ(eval(lua, row.code), row.want);
  EXPECT_EQ(cap.lines(), row.lines);
}

// The line a script function logs when it is called with too few arguments.
inline std::string tooFew(const std::string& engineName) {
  return "FAIL: LuaFuncs." + engineName + ": Za malo argumentow";
}

// A level with its own state (no character), in a game directory of its own.
struct LevelApi : leveltest::GameDir {
  Level lvl;
  Lua lvlState;

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
  std::string lvlEval(const std::string& code) { return eval(lvlState, code); }
};

}  // namespace apitest
