#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

#include "api/lua_funcs.h"
#include "base/log.h"
#include "resources/database.h"
#include "resources/resfile_writer.h"
#include "script/lua.h"
#include "unit/scratch_dir.h"
#include "world/level.h"

namespace {

// A state with the whole API, as a character or the level gets it.
struct ApiTest : ScratchDirTest {
  Lua lua;
  void SetUp() override {
    ScratchDirTest::SetUp();
    LuaFuncs::registerAll(lua);
    Database::instance().clear();
  }
  void TearDown() override {
    Database::instance().clear();
    ScratchDirTest::TearDown();
  }
  void run(const std::string& chunk) { EXPECT_TRUE(lua.runString(chunk.c_str())); }
  std::string eval(const std::string& expr) {
    run("r = tostring(" + expr + ")");
    lua_getglobal(lua.L(), "r");
    std::string out = lua_tostring(lua.L(), -1) ? lua_tostring(lua.L(), -1) : "?";
    lua_pop(lua.L(), 1);
    return out;
  }
};

}  // namespace

// Every name once, each a function; too few arguments print the failure
// with the engine-side name and give nothing, enough arguments do not.
TEST_F(ApiTest, TableAndArgumentCounts) {
  std::set<std::string> names;
  for (const auto& f : LuaFuncs::table()) {
    EXPECT_TRUE(names.insert(f.name).second) << f.name;
    lua_getglobal(lua.L(), f.name);
    EXPECT_EQ(lua_tocfunction(lua.L(), -1), f.fn) << f.name;
    lua_pop(lua.L(), 1);
  }
  EXPECT_EQ(LuaFuncs::engineName("setNpcPos"), "lSetNpcPos");

  const std::pair<const char*, int> needs[] = {
      {"getGlobalVal", 1}, {"getGlobalStr", 1}, {"setGlobalVal", 2}, {"setGlobalStr", 2},
      {"include", 1},      {"dbLoad", 1},       {"dbSave", 1},       {"dbSetVal", 2},
      {"dbSetStr", 2},     {"dbGetVal", 1},     {"dbGetStr", 1}};
  for (const auto& [name, n] : needs) {
    Log::Capture cap;
    const std::string fn = name;
    EXPECT_EQ(eval("select('#', " + fn + (n == 2 ? "('k1'))" : "())")), "0");
    EXPECT_EQ(cap.lines(),
              std::vector<std::string>{"FAIL: LuaFuncs." + LuaFuncs::engineName(name) + ": Za malo argumentow"});
    cap.clear();
    run(fn + (n == 2 ? "('k1', 'k2')" : "('" + path("k") + "')"));
    EXPECT_EQ(cap.count("Za malo"), 0u) << name;
  }
}

TEST_F(ApiTest, TestAndKillApp) {
  Log::Capture cap;
  run("test()");
  EXPECT_EQ(cap.lines(), std::vector<std::string>{"INFO: LuaFuncs.lTest"});
  EXPECT_EXIT(lua.runString("killApp() os.exit(3)"), ::testing::ExitedWithCode(0), "");
}

TEST_F(ApiTest, ValuesLiveInTheCallingStatesRegistry) {
  EXPECT_EQ(eval("getGlobalVal('missing')") + eval("getGlobalStr('missing')"), "0nil");
  run("setGlobalVal('a', 10.9) setGlobalVal('b', -10.9) setGlobalVal('c', 1e12)");
  run("setGlobalStr('s', 12.5) setGlobalStr('t', 'abc') setGlobalStr('t', nil)");
  EXPECT_EQ(eval("getGlobalVal('a') .. ' ' .. getGlobalVal('b') .. ' ' .. getGlobalVal('c')"), "10 -10 2147483647");
  EXPECT_EQ(eval("getGlobalStr('s') .. ' ' .. getGlobalVal('s') .. ' ' .. tostring(getGlobalStr('t'))"), "12.5 12.5 nil");

  int level = 0;
  lua.setReg(Lua::kRegFilename, "data/lvl/miedzyczas.crs");
  lua.setReg(Lua::kRegLvl, &level);
  EXPECT_EQ(eval("getGlobalStr('filename') .. ' ' .. getGlobalVal('filename') .. ' ' .. tostring(getGlobalStr('lvl'))"),
            "data/lvl/miedzyczas.crs 0 nil");
  EXPECT_EQ(LuaFuncs::regLvl(lua.L()), reinterpret_cast<Level*>(&level));
  run("setGlobalVal('lvl', 3)");  // the script's own value replaces the host's
  EXPECT_EQ(LuaFuncs::regLvl(lua.L()), nullptr);

  Lua other;
  LuaFuncs::registerAll(other);
  other.runString("setGlobalVal('a', 1)");
  EXPECT_EQ(eval("getGlobalVal('a')"), "10");
}

TEST_F(ApiTest, ArgumentsWithoutTextFailInsteadOfCrashing) {
  Log::Capture cap;
  run("getGlobalVal(nil) getGlobalStr({}) setGlobalVal(nil, 1) dbSetStr('key', nil) dbLoad(false)");
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{
                             "FAIL: LuaFuncs.lGetGlobalVal: Argument 1 nie jest tekstem",
                             "FAIL: LuaFuncs.lGetGlobalStr: Argument 1 nie jest tekstem",
                             "FAIL: LuaFuncs.lSetGlobalVal: Argument 1 nie jest tekstem",
                             "FAIL: LuaFuncs.lDbSetStr: Argument 2 nie jest tekstem",
                             "FAIL: LuaFuncs.lDbLoad: Argument 1 nie jest tekstem",
                         }));
  EXPECT_TRUE(Database::instance().strs().empty());
}

TEST_F(ApiTest, DatabaseRoundTrip) {
  const std::string file = path("sav.bin");
  Log::Capture cap;
  run("dbSetVal('gold', 12.7) dbSetVal('debt', -3.9) dbSetStr('name', 'Ala') dbSetStr('num', 5)");
  EXPECT_EQ(Database::instance().getVal("gold"), 12);
  EXPECT_EQ(eval("dbGetVal('debt') .. dbGetStr('name') .. dbGetStr('num')"), "-3Ala5");
  EXPECT_EQ(eval("type(dbGetStr('none')) .. #dbGetStr('none') .. dbGetVal('none')"), "string00");
  run("dbSave('" + file + "') dbClear()");
  EXPECT_EQ(eval("dbGetVal('gold') .. '|' .. dbGetStr('name')"), "0|");
  run("dbLoad('" + file + "')");
  EXPECT_EQ(eval("dbGetVal('gold') .. dbGetStr('name')"), "12Ala");
  EXPECT_TRUE(cap.lines().empty()) << cap.joined();
  run("dbLoad('" + path("none.bin") + "')");  // the database's own failure
  EXPECT_EQ(cap.lines(), std::vector<std::string>{"FAIL: Database.load: Nie udalo sie otworzyc pliku"});
}

TEST_F(ApiTest, IncludeRunsAnArchiveEntryInTheCallingState) {
  const std::string archive = path("scripts.crs");
  ResfileWriter w;
  w.add("lib", "included = 42 function helper(x) return x * 2 end");
  w.add("bad", "this is not lua");
  w.add("raises", "error('inside')");
  ASSERT_TRUE(w.write(archive));
  Log::Capture cap;
  run("include('" + archive + ":lib')");
  EXPECT_EQ(eval("included + helper(4)"), "50");
  EXPECT_TRUE(cap.lines().empty()) << cap.joined();

  run("include('" + archive + ":bad') include('" + archive + ":raises') after = 1");
  run("include('" + archive + ":missing') include('plainname')");
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{
                             "FAIL: LuaFuncs.lInclude: Blad przy parsowaniu skryptu",
                             "FAIL: LuaFuncs.lInclude: Blad przy parsowaniu skryptu",
                             "FAIL: Resfile.load: Nie znaleziono pliku \"missing\"",
                             "FAIL: LuaFuncs.lInclude: Nie znaleziono pliku",
                             "FAIL: Resfile.load: Zla nazwa pliku (\"plainname\")",
                             "FAIL: LuaFuncs.lInclude: Nie znaleziono pliku",
                         }));
  EXPECT_EQ(eval("after"), "1");  // the including script went on
  EXPECT_EQ(lua_gettop(lua.L()), 0);
}

TEST_F(ApiTest, LevelBounds) {
  Level lvl;
  lvl.left = -640, lvl.top = -480, lvl.right = 1280, lvl.bottom = 960, lvl.width = 1920, lvl.height = 1440;
  lua.setReg(Lua::kRegLvl, &lvl);
  EXPECT_EQ(eval("table.concat({getLvlW(), getLvlH(), getLvlTop(), getLvlBottom(), getLvlLeft(), getLvlRight()}, ' ')"),
            "1920 1440 -480 960 -640 1280");
}

TEST(ApiConversions, TruncationAndSaturation) {
  Lua lua;
  lua_State* L = lua.L();
  const double in[] = {-1, 5.9, -10.9, 4294967296.0 + 3, 1e30, -1e12, NAN};
  const uint32_t ids[] = {0xFFFFFFFFu, 5u, 0xFFFFFFF6u, 3u, 0xFFFFFFFFu, 0x2B5AF000u, 0u};
  const int32_t ints[] = {-1, 5, -10, 2147483647, 2147483647, -2147483647 - 1, 0};
  for (size_t i = 0; i < sizeof in / sizeof in[0]; ++i) {
    lua_pushnumber(L, in[i]);
    EXPECT_EQ(LuaFuncs::argId(L, -1), ids[i]) << in[i];
    EXPECT_EQ(LuaFuncs::argInt(L, -1), ints[i]) << in[i];
    lua_pop(L, 1);
  }
  lua_pushstring(L, "12.5");
  EXPECT_TRUE(LuaFuncs::argInt(L, -1) == 12 && LuaFuncs::argFloat(L, -1) == 12.5f);
  lua_pushboolean(L, 1);
  EXPECT_EQ(LuaFuncs::argInt(L, -1), 0);
}
