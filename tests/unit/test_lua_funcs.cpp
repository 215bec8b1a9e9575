#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <set>
#include <string>

#include "core/log.h"
#include "resources/database.h"
#include "resources/resfile_writer.h"
#include "script/lua.h"
#include "script/lua_funcs.h"
#include "world/level.h"

namespace fs = std::filesystem;

namespace {

// A state with the whole API, as a character or the level gets it.
struct ApiTest : ::testing::Test {
  Lua lua;
  fs::path dir;

  void SetUp() override {
    LuaFuncs::registerAll(lua);
    dir = fs::temp_directory_path() /
          ("tervalo_api_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
    Database::instance().clear();
  }
  void TearDown() override {
    fs::remove_all(dir);
    Database::instance().clear();
  }
  std::string path(const std::string& n) const { return (dir / n).string(); }

  // Runs `chunk` and returns `return`ed value as text via the global "r".
  std::string eval(const std::string& expr) {
    const std::string chunk = "r = tostring(" + expr + ")";
    EXPECT_TRUE(lua.runString(chunk.c_str()));
    lua.update();
    lua_getglobal(lua.L(), "r");
    std::string out = lua_tostring(lua.L(), -1) ? lua_tostring(lua.L(), -1) : "?";
    lua_pop(lua.L(), 1);
    return out;
  }
  // Number of results a call leaves: select('#', f(...)).
  std::string count(const std::string& call) { return eval("select('#', " + call + ")"); }
};

std::string zaMalo(const char* scriptName) {
  return "FAIL: LuaFuncs." + LuaFuncs::engineName(scriptName) + ": Za malo argumentow";
}

}  // namespace

TEST_F(ApiTest, TableRegistersEveryNameOnce) {
  std::set<std::string> names;
  for (const auto& f : LuaFuncs::table()) {
    EXPECT_TRUE(names.insert(f.name).second) << f.name;
    EXPECT_NE(f.fn, nullptr) << f.name;
    lua_getglobal(lua.L(), f.name);
    EXPECT_EQ(lua_tocfunction(lua.L(), -1), f.fn) << f.name;
    lua_pop(lua.L(), 1);
  }
  EXPECT_EQ(LuaFuncs::table().front().name, std::string("test"));
  EXPECT_EQ(LuaFuncs::engineName("setNpcPos"), "lSetNpcPos");
  EXPECT_EQ(LuaFuncs::engineName("dbGetStr"), "lDbGetStr");
}

// Every function with too few arguments prints its own engine-side name and
// returns nothing; with enough it does not complain.
TEST_F(ApiTest, ArgumentCountCheck) {
  const std::pair<const char*, int> needs[] = {
      {"getGlobalVal", 1}, {"getGlobalStr", 1}, {"setGlobalVal", 2}, {"setGlobalStr", 2},
      {"include", 1},      {"dbLoad", 1},       {"dbSave", 1},       {"dbSetVal", 2},
      {"dbSetStr", 2},     {"dbGetVal", 1},     {"dbGetStr", 1},
  };
  for (const auto& [name, n] : needs) {
    std::string args;
    for (int i = 1; i < n; ++i) args += (i > 1 ? ", 'k" : "'k") + std::to_string(i) + "'";
    Log::Capture cap;
    EXPECT_EQ(count(std::string(name) + "(" + args + ")"), "0") << name;
    EXPECT_EQ(cap.lines(), std::vector<std::string>{zaMalo(name)}) << name;
  }

  // No function prints a wrongly named failure when called bare.
  for (const auto& f : LuaFuncs::table()) {
    if (std::string(f.name) == "killApp") continue;
    Log::Capture cap;
    lua_pushcfunction(lua.L(), f.fn);
    lua_pcall(lua.L(), 0, 0, 0);
    lua_settop(lua.L(), 0);
    for (const auto& line : cap.lines()) {
      if (line.find("LuaFuncs.") == std::string::npos || line.find("lTest") != std::string::npos) continue;
      EXPECT_EQ(line.find("LuaFuncs." + LuaFuncs::engineName(f.name) + ": "), 6u) << line;
    }
  }
}

TEST_F(ApiTest, TestAndKillApp) {
  Log::Capture cap;
  EXPECT_EQ(count("test()"), "0");
  EXPECT_EQ(cap.lines(), std::vector<std::string>{"INFO: LuaFuncs.lTest"});
  EXPECT_EXIT(lua.runString("killApp() print('still here')"), ::testing::ExitedWithCode(0), "");
}

TEST_F(ApiTest, StateValuesLiveInTheCallersRegistry) {
  EXPECT_EQ(eval("getGlobalVal('missing')"), "0");
  EXPECT_EQ(eval("getGlobalStr('missing')"), "nil");
  lua.runString("setGlobalVal('a', 10.9) setGlobalVal('b', -10.9) setGlobalVal('c', 1e12)");
  EXPECT_EQ(eval("getGlobalVal('a')"), "10");
  EXPECT_EQ(eval("getGlobalVal('b')"), "-10");
  EXPECT_EQ(eval("getGlobalVal('c')"), "2147483647");
  EXPECT_EQ(eval("getGlobalStr('a')"), "10");
  lua.runString("setGlobalStr('s', 12.5) setGlobalStr('t', 'abc') setGlobalStr(5, 'five')");
  EXPECT_EQ(eval("getGlobalStr('s')"), "12.5");
  EXPECT_EQ(eval("getGlobalVal('s')"), "12.5");  // numeric text reads as its number
  EXPECT_EQ(eval("getGlobalVal('t')"), "0");
  EXPECT_EQ(eval("getGlobalStr('5')"), "five");
  lua.runString("setGlobalStr('t', nil)");
  EXPECT_EQ(eval("getGlobalStr('t')"), "nil");

  // The host's own keys: "filename" is a text, the pointers have none.
  int level = 0;
  lua.setReg(Lua::kRegFilename, "data/lvl/miedzyczas.crs");
  lua.setReg(Lua::kRegLvl, &level);
  EXPECT_EQ(eval("getGlobalStr('filename')"), "data/lvl/miedzyczas.crs");
  EXPECT_EQ(eval("getGlobalVal('filename')"), "0");
  EXPECT_EQ(eval("getGlobalStr('lvl')"), "nil");
  EXPECT_EQ(LuaFuncs::regLvl(lua.L()), reinterpret_cast<Level*>(&level));
  // A script that stores its own "lvl" loses the host's pointer.
  lua.runString("setGlobalVal('lvl', 3)");
  EXPECT_EQ(LuaFuncs::regLvl(lua.L()), nullptr);

  // Each state has its own registry.
  Lua other;
  LuaFuncs::registerAll(other);
  other.runString("r = getGlobalVal('a')");
  lua_getglobal(other.L(), "r");
  EXPECT_EQ(lua_tonumber(other.L(), -1), 0);
}

TEST_F(ApiTest, ArgumentsWithoutTextFailInsteadOfCrashing) {
  Log::Capture cap;
  EXPECT_EQ(count("getGlobalVal(nil)"), "0");
  EXPECT_EQ(count("getGlobalStr({})"), "0");
  EXPECT_EQ(count("setGlobalVal(nil, 1)"), "0");
  EXPECT_EQ(count("dbSetStr('key', nil)"), "0");
  EXPECT_EQ(count("dbLoad(false)"), "0");
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
  lua.runString("dbSetVal('gold', 12.7) dbSetVal('debt', -3.9) dbSetStr('name', 'Ala') dbSetStr('num', 5)");
  EXPECT_EQ(Database::instance().getVal("gold"), 12);
  EXPECT_EQ(eval("dbGetVal('debt')"), "-3");
  EXPECT_EQ(eval("dbGetStr('name')"), "Ala");
  EXPECT_EQ(eval("dbGetStr('num')"), "5");
  EXPECT_EQ(eval("type(dbGetStr('nothing'))") + eval("dbGetStr('nothing') == ''"), "stringtrue");
  EXPECT_EQ(eval("dbGetVal('nothing')"), "0");

  lua.runString(("dbSave('" + file + "') dbClear()").c_str());
  EXPECT_EQ(eval("dbGetVal('gold')"), "0");
  EXPECT_EQ(eval("dbGetStr('name')"), "");
  lua.runString(("dbLoad('" + file + "')").c_str());
  EXPECT_EQ(eval("dbGetVal('gold') .. dbGetStr('name')"), "12Ala");
  EXPECT_TRUE(cap.lines().empty()) << cap.joined();

  // The database's own failures come through unchanged.
  lua.runString(("dbLoad('" + path("none.bin") + "')").c_str());
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
  lua.runString(("include('" + archive + ":lib')").c_str());
  EXPECT_EQ(eval("included + helper(4)"), "50");
  EXPECT_TRUE(cap.lines().empty()) << cap.joined();

  lua.runString(("include('" + archive + ":bad') include('" + archive + ":raises') after = 1").c_str());
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{"FAIL: LuaFuncs.lInclude: Blad przy parsowaniu skryptu",
                                                   "FAIL: LuaFuncs.lInclude: Blad przy parsowaniu skryptu"}));
  EXPECT_EQ(eval("after"), "1");  // the including script goes on
  EXPECT_EQ(lua_gettop(lua.L()), 0);

  cap.clear();
  lua.runString(("include('" + archive + ":missing') include('plainname')").c_str());
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{
                             "FAIL: Resfile.load: Nie znaleziono pliku \"missing\"",
                             "FAIL: LuaFuncs.lInclude: Nie znaleziono pliku",
                             "FAIL: Resfile.load: Zla nazwa pliku (\"plainname\")",
                             "FAIL: LuaFuncs.lInclude: Nie znaleziono pliku",
                         }));
}

TEST_F(ApiTest, LevelBounds) {
  Log::Capture cap;
  EXPECT_EQ(count("getLvlW()"), "0");
  EXPECT_EQ(cap.lines(), std::vector<std::string>{"FAIL: LuaFuncs.lGetLvlW: NULL lvl"});

  Level lvl;
  lvl.left = -640;
  lvl.top = -480;
  lvl.right = 1280;
  lvl.bottom = 960;
  lvl.width = 1920;
  lvl.height = 1440;
  lua.setReg(Lua::kRegLvl, &lvl);
  EXPECT_EQ(eval("table.concat({getLvlW(), getLvlH(), getLvlTop(), getLvlBottom(), getLvlLeft(), getLvlRight()}, ' ')"),
            "1920 1440 -480 960 -640 1280");
  EXPECT_EQ(cap.lines().size(), 1u);
}

TEST(ApiConversions, TruncationAndSaturation) {
  Lua lua;
  lua_State* L = lua.L();
  const double ids[] = {-1, 5.9, 4294967296.0 + 3, 1e30, NAN};
  const uint32_t idWant[] = {0xFFFFFFFFu, 5u, 3u, 0xFFFFFFFFu, 0u};
  for (size_t i = 0; i < 5; ++i) {
    lua_pushnumber(L, ids[i]);
    EXPECT_EQ(LuaFuncs::argId(L, -1), idWant[i]) << ids[i];
    lua_pop(L, 1);
  }
  const double ints[] = {10.9, -10.9, 1e12, -1e12, NAN};
  const int32_t intWant[] = {10, -10, 2147483647, -2147483647 - 1, 0};
  for (size_t i = 0; i < 5; ++i) {
    lua_pushnumber(L, ints[i]);
    EXPECT_EQ(LuaFuncs::argInt(L, -1), intWant[i]) << ints[i];
    lua_pop(L, 1);
  }
  lua_pushstring(L, "12.5");
  EXPECT_EQ(LuaFuncs::argInt(L, -1), 12);
  EXPECT_FLOAT_EQ(LuaFuncs::argFloat(L, -1), 12.5f);
  lua_pushstring(L, "abc");
  EXPECT_EQ(LuaFuncs::argInt(L, -1), 0);
  lua_pushboolean(L, 1);
  EXPECT_EQ(LuaFuncs::argId(L, -1), 0u);
  lua_settop(L, 0);
}
