// The script API's core family: values in the calling state's registry, the
// database and include. The guide against the engine's tables:
// docs/scripting.md names exactly the registered script functions (under a
// heading "### name(args)" or in the first cell of a table row
// "| `name(args)` |"), each registered once; the dialog commands, level lines
// and game.ini keys each appear as code on their page.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "dialog/dialog_commands.h"
#include "resources/game_settings.h"
#include "unit/api_fixture.h"
#include "world/level_commands.h"
#include "world/weapon.h"

// Level and character states made by the unit tests get the script API, as
// they do in the game.
static const bool kApiInstalled = (LuaFuncs::install(), true);

namespace {

using apitest::Row;
using apitest::tooFew;

struct ApiCore : leveltest::GameDir {
  Lua lua;
  void SetUp() override {
    GameDir::SetUp();
    LuaFuncs::registerAll(lua);
  }
};


// Too few arguments give the failure with the engine-side name and nothing;
// arguments that are no text fail instead of crashing.
TEST_F(ApiCore, ContractAndTestFunctions) {
  const Row rows[] = {
      {"return select('#', getGlobalVal()) + select('#', getGlobalStr()) + select('#', setGlobalVal('k')) + "
       "select('#', setGlobalStr('k')) + select('#', include()) + select('#', dbLoad()) + select('#', dbSave()) + "
       "select('#', dbSetVal('k')) + select('#', dbSetStr('k')) + select('#', dbGetVal()) + "
       "select('#', dbGetStr())",
       "0",
       {tooFew("lGetGlobalVal"), tooFew("lGetGlobalStr"), tooFew("lSetGlobalVal"), tooFew("lSetGlobalStr"),
        tooFew("lInclude"), tooFew("lDbLoad"), tooFew("lDbSave"), tooFew("lDbSetVal"), tooFew("lDbSetStr"),
        tooFew("lDbGetVal"), tooFew("lDbGetStr")}},
      {"getGlobalVal(nil) getGlobalStr({}) setGlobalVal(nil, 1) dbSetStr('key', nil) dbLoad(false)",
       "",
       {"FAIL: LuaFuncs.lGetGlobalVal: Argument 1 nie jest tekstem",
        "FAIL: LuaFuncs.lGetGlobalStr: Argument 1 nie jest tekstem",
        "FAIL: LuaFuncs.lSetGlobalVal: Argument 1 nie jest tekstem",
        "FAIL: LuaFuncs.lDbSetStr: Argument 2 nie jest tekstem",
        "FAIL: LuaFuncs.lDbLoad: Argument 1 nie jest tekstem"}},
      {"test()", "", {"INFO: LuaFuncs.lTest"}},
  };
  for (const Row& row : rows) apitest::check(lua, row);
  EXPECT_TRUE(Database::instance().strs().empty());
  EXPECT_EXIT(lua.runString("killApp() os.exit(3)"), ::testing::ExitedWithCode(0), "");
}

// Values live in the calling state's registry, beside the host's own keys.
TEST_F(ApiCore, ValuesLiveInTheCallingStatesRegistry) {
  apitest::check(lua, {"setGlobalVal('a', 10.9) setGlobalVal('b', -10.9) setGlobalVal('c', 1e12) "
                       "setGlobalStr('s', 12.5) setGlobalStr('t', 'abc') setGlobalStr('t', nil) "
                       "return getGlobalVal('missing'), getGlobalStr('missing'), getGlobalVal('a'), getGlobalVal('b'), "
                       "getGlobalVal('c'), getGlobalStr('s'), getGlobalVal('s'), getGlobalStr('t')",
                       "0 nil 10 -10 2147483647 12.5 12.5 nil",
                       {}});
  int level = 0;
  lua.setReg(Lua::kRegFilename, "data/lvl/miedzyczas.crs");
  lua.setReg(Lua::kRegLvl, &level);
  EXPECT_EQ(apitest::eval(lua, "return getGlobalStr('filename'), getGlobalVal('filename'), getGlobalStr('lvl')"),
            "data/lvl/miedzyczas.crs 0 nil");
  EXPECT_EQ(LuaFuncs::regLvl(lua.L()), reinterpret_cast<Level*>(&level));
  apitest::eval(lua, "setGlobalVal('lvl', 3)");  // the script's own value replaces the host's
  EXPECT_EQ(LuaFuncs::regLvl(lua.L()), nullptr);
  lua.setReg(Lua::kRegLvl, &level);  // and so does a write through the registry table
  EXPECT_EQ(LuaFuncs::regLvl(lua.L()), reinterpret_cast<Level*>(&level));
  apitest::eval(lua, "debug.getregistry().lvl = 5");
  EXPECT_EQ(LuaFuncs::regLvl(lua.L()), nullptr);

  Lua other;
  LuaFuncs::registerAll(other);
  other.runString("setGlobalVal('a', 1)");
  EXPECT_EQ(apitest::eval(lua, "return getGlobalVal('a')"), "10");
}

// The database round trip, and include running an archive entry in the
// calling state (a failing entry stops nothing).
TEST_F(ApiCore, DatabaseAndInclude) {
  archive("scripts.crs", {{"lib", "included = 42 function helper(x) return x * 2 end"},
                          {"bad", "this is not lua"},
                          {"raises", "error('inside')"}});
  const Row rows[] = {
      {"dbLoad('none.bin')", "", {"FAIL: Database.load: Nie udalo sie otworzyc pliku"}},
      {"dbSetVal('gold', 12.7) dbSetVal('debt', -3.9) dbSetStr('name', 'Ala') dbSetStr('num', 5) "
       "return dbGetVal('debt'), dbGetStr('name'), dbGetStr('num'), type(dbGetStr('none')), #dbGetStr('none'), "
       "dbGetVal('none')",
       "-3 Ala 5 string 0 0",
       {}},
      {"dbSave('sav.bin') dbClear() return dbGetVal('gold'), dbGetStr('name')", "0 ", {}},
      {"dbLoad('sav.bin') return dbGetVal('gold'), dbGetStr('name')", "12 Ala", {}},
      {"include('scripts.crs:lib') return included + helper(4)", "50", {}},
      {"include('scripts.crs:bad') include('scripts.crs:raises') include('scripts.crs:missing') "
       "include('plainname') return 'after'",
       "after",
       {"FAIL: LuaFuncs.lInclude: Blad przy parsowaniu skryptu",
        "FAIL: LuaFuncs.lInclude: Blad przy parsowaniu skryptu", "FAIL: Resfile.load: Nie znaleziono pliku \"missing\"",
        "FAIL: LuaFuncs.lInclude: Nie znaleziono pliku", "FAIL: Resfile.load: Zla nazwa pliku (\"plainname\")",
        "FAIL: LuaFuncs.lInclude: Nie znaleziono pliku"}},
  };
  for (const Row& row : rows) apitest::check(lua, row);
  EXPECT_EQ(Database::instance().getVal("gold"), 12);
  EXPECT_EQ(lua_gettop(lua.L()), 0);
}

std::string page(const char* name) {
  std::ifstream in(std::string(TERVALO_SOURCE_DIR) + "/docs/" + name);
  EXPECT_TRUE(in) << "docs/" << name << " cannot be read";
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The word as code in the page: "`word" followed by a blank or "`".
bool documents(const std::string& text, const std::string& word) {
  return text.find("`" + word + "`") != std::string::npos || text.find("`" + word + " ") != std::string::npos;
}

TEST(DocsScripting, EveryRegisteredFunctionIsDocumentedAndNothingElse) {
  static const std::regex heading(R"(^###\s+([A-Za-z_]\w*)\()"), row(R"(^\|\s*`([A-Za-z_]\w*)\()");
  std::set<std::string> docs, registered;
  std::istringstream in(page("scripting.md"));
  std::smatch m;
  for (std::string line; std::getline(in, line);)
    if (std::regex_search(line, m, heading) || std::regex_search(line, m, row)) docs.insert(m[1]);
  for (const auto& f : LuaFuncs::table()) EXPECT_TRUE(registered.insert(f.name).second) << "twice: " << f.name;
  for (const auto& f : Weapon::scriptFuncs()) registered.insert(f.name);
  for (const auto& n : registered)
    EXPECT_TRUE(docs.count(n)) << "docs/scripting.md lacks a heading \"### " << n << "(args)\" (or a family "
                               << "table row | `" << n << "(args)` |) with arguments, results and failure lines";
  for (const auto& n : docs)
    EXPECT_TRUE(registered.count(n)) << "docs/scripting.md documents " << n << ", which no script state registers";
}

TEST(CommandTables, EveryEntryIsFoundAndDocumented) {
  const std::string dialog = page("dialog.md"), formats = page("formats.md"), tools = page("tools.md");
  for (const DialogCommand& c : DialogCommand::all()) {
    EXPECT_EQ(DialogCommand::find(c.name), &c);
    EXPECT_FALSE(c.forms.empty()) << c.name;
    EXPECT_TRUE(documents(dialog, c.name)) << "docs/dialog.md lacks " << c.name;
  }
  for (const LevelCommand& c : LevelCommand::all()) {
    EXPECT_EQ(LevelCommand::find(c.name), &c);
    EXPECT_TRUE(documents(formats, c.name)) << "docs/formats.md lacks " << c.name;
  }
  for (const GameSettings::Key& k : GameSettings::keys())
    EXPECT_TRUE(documents(tools, k.name)) << "docs/tools.md lacks the game.ini key " << k.name;
  EXPECT_EQ(DialogCommand::find("nonsense"), nullptr);
  EXPECT_EQ(LevelCommand::find("Frame"), nullptr);
}

}  // namespace
