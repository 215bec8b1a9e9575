// Fixtures for level and script tests. GameDir: a game directory of its own,
// a fresh temporary directory that becomes the working directory (levels read
// "npc/", "lua/" and their archives relative to it), with helpers to write
// archives and files there. apitest: what a chunk gives back as text, rows of
// chunks with their results and log lines, and a level with its own state.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "api/lua_funcs.h"
#include "base/globals.h"
#include "base/log.h"
#include "resources/database.h"
#include "resources/ini_file.h"
#include "resources/resfile_writer.h"
#include "script/lua.h"
#include "script/script_requests.h"
#include "world/level.h"

namespace leveltest {

namespace fs = std::filesystem;

struct GameDir : ::testing::Test {
  fs::path old = fs::current_path();
  fs::path dir;
  float oldDt = game::dt;

  void SetUp() override {
    static int serial = 0;
    dir = fs::temp_directory_path() /
          ("tervalo_lvl_" + std::to_string(::getpid()) + "_" + std::to_string(++serial));
    fs::create_directories(dir / "data/lvl");
    fs::create_directories(dir / "npc");
    fs::create_directories(dir / "lua");
    fs::current_path(dir);
    Database::instance().clear();
    IniFile::instance().close();
  }
  void TearDown() override {
    ScriptRequests::instance().drain();
    IniFile::instance().close();
    Database::instance().clear();
    game::dt = oldDt;
    fs::current_path(old);
    fs::remove_all(dir);
  }

  // Writes a text file relative to the game directory.
  static void file(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path().empty() ? fs::path(".")
                                                                : fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }
  // Writes an archive of (entry, bytes) pairs.
  static void archive(const std::string& path,
                      const std::vector<std::pair<std::string, std::string>>& entries) {
    ResfileWriter w;
    for (const auto& [name, bytes] : entries) w.add(name, bytes);
    ASSERT_TRUE(w.write(path));
  }
  // A block file: 300 cells, the bottom row solid.
  static std::string blocks(uint8_t v = 1) {
    std::string b(300, '\0');
    for (int c = 0; c < 20; ++c) b[280 + c] = static_cast<char>(v);
    return b;
  }
};

}  // namespace leveltest

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
      "local function count(...) return select('#', ...) end local function f() " + code +
      "\nend _r = all(f())";
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
