#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "script/periodic.h"
#include "unit/api_fixture.h"

namespace {

using apitest::global;

const char kCounter[] = "n = 0 function update() n = n + 1 end";

std::unique_ptr<Lua>* g_host = nullptr;

}  // namespace

TEST(LuaHost, ErrorsArgumentsRegistryAndStack) {
  Log::Capture cap;
  Lua lua;
  EXPECT_FALSE(lua.runString("x = = 1"));
  ASSERT_EQ(cap.lines().size(), 1u);
  EXPECT_EQ(cap.lines()[0].rfind("FAIL: Lua.update: Error: [string \"line\"]:1:", 0), 0u);
  EXPECT_FALSE(lua.openFile("/nonexistent/npc.lua"));
  EXPECT_EQ(cap.count("FAIL: Lua.update: Error: cannot open /nonexistent/npc.lua"), 1u);
  EXPECT_FALSE(lua.loaded());
  EXPECT_FALSE(lua.addArg(1));  // nothing loaded: refused
  EXPECT_FALSE(lua.openFile(static_cast<const char*>(nullptr)));
  EXPECT_FALSE(lua.regFunc(nullptr, "f"));
  EXPECT_FALSE(lua.runString(nullptr));
  EXPECT_EQ(cap.lines().size(), 4u);
  EXPECT_EQ(cap.lines()[2], "FAIL: Lua.openFile: Brak nazwy pliku");
  EXPECT_EQ(cap.lines()[3], "FAIL: Lua.regFunc: NULL");

  // A chunk failing while it runs is reported at once, keeps what it
  // defined before the error and leaves the clock running: after a
  // failing line the periodic function is still called.
  cap.clear();
  ASSERT_TRUE(lua.runString("n = 0 function tick() n = n + 1 end function f(a, b) "
                            "got = a .. ',' .. tostring(b) end error('boom')"));
  EXPECT_EQ(cap.count("FAIL: Lua.update: Error: [string \"line\"]:1: boom"), 1u);
  EXPECT_TRUE(lua.loaded() && lua.status() == 0 && lua_gettop(lua.L()) == 0);
  EXPECT_TRUE(lua.runString("nosuchfn()"));
  EXPECT_TRUE(cap.contains("attempt to call global 'nosuchfn'"));
  Periodic clock;
  EXPECT_EQ(lua.callPeriodic(clock, 0.032f, "tick"), 2);
  EXPECT_EQ(global(lua, "n"), "2");
  // The registry, where the host keeps its own keys, is the scripts' to change.
  ASSERT_TRUE(lua.runString("function other() n = -1 end local r = debug.getregistry() "
                            "for k, v in pairs(r) do if v == 'tick' then r[k] = 'other' end end"));
  EXPECT_EQ(lua.callPeriodic(clock, 0.016f, "tick"), 1);
  EXPECT_EQ(global(lua, "n"), "3");
  lua.addArg(1), lua.addArg(2);
  EXPECT_TRUE(lua.call("f") && global(lua, "got") == "1,2");
  const std::string path = ::testing::TempDir() + "tervalo_failing_chunk.lua";
  std::ofstream(path) << "function g() end\nerror('file boom')\n";
  cap.clear();
  EXPECT_TRUE(lua.openFile(path) && cap.contains(":2: file boom") && lua.status() == 0);
  std::filesystem::remove(path);
  EXPECT_EQ(lua.callPeriodic(clock, 1.0f, nullptr), 0);  // no function name: no clock

  // Without "update" every step reports the failed call and tries again.
  cap.clear();
  Lua noUpdate;
  noUpdate.runString("x = 1");
  EXPECT_EQ(noUpdate.callPeriodic(clock, 0.048f, "update"), 3);
  EXPECT_EQ(noUpdate.callPeriodic(clock, 0.016f, "update"), 1);
  EXPECT_EQ(cap.count("FAIL: Lua.update: Error: attempt to call a nil value"), 4u);
  EXPECT_EQ(lua_gettop(noUpdate.L()), 0);

  // Arguments keep their order; a later registration wins; results and
  // failed chunks never pile up on the stack; a strict-globals script cannot
  // abort the engine through the host's own lookups.
  cap.clear();
  lua.init();
  ASSERT_TRUE(lua.runString(
      "function f(...) local t = {select('#', ...)} for i = 1, select('#', ...) do "
      "t[#t + 1] = type((select(i, ...))) .. ':' .. tostring((select(i, ...))) end got = table.concat(t, ' ') end"));
  lua.addArg(5);
  lua.addArg("a");
  lua.addArg(7);
  lua.addArg(nullptr);
  EXPECT_TRUE(lua.call("f"));
  EXPECT_TRUE(global(lua, "got") == "4 number:5 string:a number:7 nil:nil" && lua.queuedArgs() == 0);
  lua.addArg("b");  // a chunk gets them as its varargs
  lua.addArg(-3);
  ASSERT_TRUE(lua.runString("chunk = table.concat({...}, ',')"));
  EXPECT_EQ(global(lua, "chunk"), "b,-3");
  for (int i = 0; i < 300; ++i) lua.addArg(i);  // beyond Lua's default stack room
  EXPECT_TRUE(lua.call("f"));
  EXPECT_EQ(global(lua, "got").substr(0, 4), "300 ");

  lua.regFunc([](lua_State* L) { lua_pushstring(L, "first"); return 1; }, "who");
  lua.regFunc([](lua_State* L) { lua_pushstring(L, "second"); return 1; }, "who");
  lua.setReg("n", 42);  // strings and pointers: through the script API's tests
  ASSERT_TRUE(lua.runString("w = who() function g() return 1, 2 end return 3"));
  EXPECT_EQ(global(lua, "w"), "second");
  EXPECT_TRUE(lua.call("g"));
  lua_State* L = lua.L();
  EXPECT_EQ(lua_gettop(L), 0);  // results dropped
  lua_getfield(L, LUA_REGISTRYINDEX, "n");
  EXPECT_TRUE(lua_type(L, 1) == LUA_TNUMBER && lua_tonumber(L, 1) == 42);
  lua_settop(L, 0);
  for (int i = 0; i < 50; ++i) lua.runString("error('chunk failed')");
  EXPECT_EQ(cap.count("chunk failed"), 50u);
  EXPECT_EQ(lua_gettop(L), 0);
  lua.addArg(9);  // init starts over but keeps the queue
  lua.init();
  EXPECT_TRUE(!lua.loaded() && lua.queuedArgs() == 1 && global(lua, "g") == "nil");

  Lua strict;
  ASSERT_TRUE(strict.runString(
      "setmetatable(_G, {__index = function(_, k) error('undeclared ' .. k) end,"
      "                  __newindex = function(_, k) error('no new ' .. k) end})"
      "setmetatable(debug.getregistry(), {__newindex = function() error('read only') end})"));
  EXPECT_TRUE(strict.call("update"));
  EXPECT_TRUE(strict.regFunc([](lua_State*) { return 0; }, "late"));
  strict.setReg("k", 1);
  EXPECT_EQ(cap.count("undeclared update"), 1u);
  EXPECT_EQ(cap.count("no new late"), 1u);
  EXPECT_EQ(cap.count("read only"), 1u);
  EXPECT_EQ(lua_gettop(strict.L()), 0);
}

TEST(LuaHost, StateMadeWhenFirstNeededWithWhatWasSetBefore) {
  const size_t before = Lua::openStates();
  Lua lua;
  int host = 0;
  lua.setReg("k", 1), lua.setReg("k", "two"), lua.setReg("gone", "x");  // later values win
  lua.setReg("gone", static_cast<const char*>(nullptr)), lua.setReg(Lua::kRegLvl, &host);
  EXPECT_TRUE(lua.regFunc([](lua_State* L) { return lua_pushinteger(L, 7), 1; }, "seven"));
  EXPECT_EQ(Lua::openStates(), before);  // nothing has needed the state yet
  ASSERT_TRUE(lua.runString("local r = debug.getregistry() a = r.k .. tostring(r.gone) .. seven()"));
  EXPECT_TRUE(Lua::openStates() == before + 1 && global(lua, "a") == "twonil7");
  EXPECT_EQ(Lua::hostPointer(lua.L(), Lua::HostKey::Lvl), &host);
  lua.setReg("k", 3), lua.init();  // starting over forgets the settings with the state
  ASSERT_TRUE(lua.runString("a = tostring(debug.getregistry().k) .. tostring(seven)"));
  EXPECT_EQ(global(lua, "a"), "nilnil");
}

TEST(LuaHost, HostDestroyedOrRestartedByItsOwnCall) {
  Log::Capture cap;
  auto host = std::make_unique<Lua>();
  g_host = &host;
  host->regFunc([](lua_State*) { g_host->reset(); return 0; }, "destroyMe");
  int level = 0;
  host->setReg(Lua::kRegLvl, &level);
  // The rest of the script runs on the parked state and no longer sees
  // its level; its late error is still reported.
  ASSERT_TRUE(host->runString(
      "function update() destroyMe() local t = {} for i = 1, 1000 do t[i] = i end "
      "error(tostring(debug.getregistry().lvl) .. ' ' .. #t) end"));
  Periodic clock;
  EXPECT_EQ(host->callPeriodic(clock, 0.1f, "update"), Lua::kHostGone);
  EXPECT_FALSE(host);
  EXPECT_EQ(cap.lines(), std::vector<std::string>{"FAIL: Lua.update: Error: [string \"line\"]:1: nil 1000"});
  EXPECT_EQ(Lua::activeCalls(), 0);

  // Nested calls keep the caller's arguments; init during a call ends it.
  cap.clear();
  Lua lua;
  static Lua* self = nullptr;
  self = &lua;
  lua.regFunc([](lua_State*) { self->init(); return 0; }, "restart");
  lua.regFunc(
      [](lua_State* L) {
        const int top = lua_gettop(L);
        self->addArg(static_cast<int>(lua_tonumber(L, 1)) + 1);
        self->call("inner");
        lua_pushboolean(L, lua_gettop(L) == top && self->running());  // own arguments untouched
        return 1;
      },
      "reenter");
  ASSERT_TRUE(lua.runString("function inner(v) innerArg = v end function outer() ok = tostring(reenter(41)) end"));
  EXPECT_TRUE(lua.call("outer"));
  EXPECT_EQ(global(lua, "innerArg") + global(lua, "ok"), "42true");
  EXPECT_FALSE(lua.running());

  ASSERT_TRUE(lua.runString("n = 0 function update() n = n + 1 restart() n = n + 1 end"));
  Periodic fresh;
  EXPECT_EQ(lua.callPeriodic(fresh, 0.1f, "update"), 1);  // stops after the reset
  EXPECT_TRUE(!lua.loaded() && global(lua, "n") == "nil");
  ASSERT_TRUE(lua.runString(kCounter));  // the fresh state works as usual
  EXPECT_TRUE(lua.call("update"));
  EXPECT_EQ(global(lua, "n"), "1");
  EXPECT_TRUE(cap.lines().empty());
}

// Short limits keep the runaway cases quick; restored afterwards.
struct LuaLimits : leveltest::GameDir {
  void SetUp() override {
    GameDir::SetUp();
    Lua::setBudgetMs(20);
    Lua::setMemoryCap(8u << 20);
  }
  void TearDown() override {
    Lua::setBudgetMs(0);
    Lua::setMemoryCap(0);
    GameDir::TearDown();
  }
};

// Endless calls of every shape are stopped and named; a stopped function
// stays stopped while the rest of the state goes on, until init.
TEST_F(LuaLimits, WatchdogMemoryCapAndPrecompiledChunks) {
  Log::Capture cap;
  Lua lua;
  lua.setName("lua/bob.lua");
  ASSERT_TRUE(lua.runString(
      "n = 0 function update() n = n + 1 while true do end end "
      "function ok() done = (done or 0) + 1 end "
      "function stubborn() while true do pcall(function() while true do end end) end end "
      "function threads() while true do coroutine.resume(coroutine.create(function() while true do end end)) end end "
      "function sneaky() debug.sethook() while true do end end "
      "function guarded() xpcall(function() while true do end end, function() while true do end end) "
      "  while true do end end"));
  Periodic clock;
  EXPECT_EQ(lua.callPeriodic(clock, 0.05f, "update"), 1);  // the other two steps are skipped
  EXPECT_EQ(lua.callPeriodic(clock, 0.05f, "update"), 0);
  EXPECT_TRUE(lua.stopped("update") && !lua.stopped("ok"));
  EXPECT_TRUE(cap.has("FAIL: Lua.update: Error: Skrypt lua/bob.lua, funkcja update: "
                      "przekroczony limit czasu (20 ms)"));
  for (const char* fn : {"stubborn", "threads", "sneaky", "guarded"}) {
    EXPECT_TRUE(lua.call(fn));
    EXPECT_TRUE(lua.stopped(fn)) << fn;
    EXPECT_TRUE(cap.contains(std::string("funkcja ") + fn + ": przekroczony limit czasu")) << fn;
  }
  lua.call("ok");
  lua.call("ok");
  EXPECT_EQ(global(lua, "n") + global(lua, "done"), "12");
  EXPECT_EQ(cap.count("limit czasu"), 5u);

  // A main chunk is stopped too (and reported); a fresh state calls again.
  lua.runString("while true do end", "data/lvl/a.crs:script");
  EXPECT_TRUE(cap.contains("funkcja data/lvl/a.crs:script: przekroczony limit czasu"));
  lua.init();
  ASSERT_TRUE(lua.runString(kCounter));
  EXPECT_TRUE(!lua.stopped("update") && lua.call("update") && global(lua, "n") == "1");

  // Allocation past the cap is a Lua memory error of that state alone; the
  // state and its neighbours go on. Precompiled chunks never load, whatever
  // the loader.
  cap.clear();
  Lua hog, other;
  hog.setName("lua/hog.lua");
  ASSERT_TRUE(hog.runString(
      "t = {} function grow() while true do t[#t + 1] = string.rep('x', 100000) .. #t end end "
      "function big() s = string.rep('x', 64 * 1024 * 1024) end function small() v = #t end"));
  ASSERT_TRUE(other.runString(kCounter));
  for (const char* fn : {"grow", "big"}) {
    EXPECT_TRUE(hog.call(fn));
    EXPECT_TRUE(cap.has(std::string("FAIL: Lua.update: Error: Skrypt lua/hog.lua, funkcja ") + fn +
                        ": przekroczony limit pamieci (8 MiB)"))
        << cap.joined();
    EXPECT_LE(hog.memoryUsed(), Lua::memoryCap());
  }
  EXPECT_TRUE(hog.call("small") && other.call("update"));
  EXPECT_NE(global(hog, "v"), "nil");
  EXPECT_EQ(global(other, "n"), "1");

  cap.clear();
  lua.init();
  ASSERT_TRUE(lua.runString("code = string.dump(function() x = 1 end)"));
  lua_getglobal(lua.L(), "code");
  const std::string code = lua_tostring(lua.L(), -1);  // stops at the first zero: still binary
  lua_pop(lua.L(), 1);
  file("bin.lua", code);
  file("sheb.lua", "#!/usr/bin/lua\n" + code);
  EXPECT_FALSE(lua.openFile("bin.lua") || lua.openFile("sheb.lua") || lua.runString(code.c_str(), "data/x.crs:bin"));
  EXPECT_TRUE(lua.runString(
      "package.path = '?.lua' "
      "a = tostring(loadstring(code)) .. tostring(load(function() local c = code code = nil return c end)) "
      "b = tostring(pcall(dofile, 'bin.lua')) .. tostring(pcall(require, 'bin')) "
      "c = tostring(loadfile('sheb.lua')) .. tostring(newproxy)"));
  EXPECT_EQ(global(lua, "a") + global(lua, "b") + global(lua, "c"), "nilnilfalsefalsenilnil");
  EXPECT_TRUE(cap.has("FAIL: Lua.load: Odrzucono skompilowany kod Lua: bin.lua"));
  EXPECT_TRUE(cap.has("FAIL: Lua.load: Odrzucono skompilowany kod Lua: data/x.crs:bin"));
  EXPECT_EQ(cap.count("Odrzucono skompilowany kod Lua"), 8u) << cap.joined();
  EXPECT_EQ(global(lua, "x"), "nil");
  // Source still loads through every one of them.
  file("bin.lua", "#!/usr/bin/lua\ny = (y or 0) + 1\n");
  EXPECT_TRUE(lua.openFile("bin.lua"));
  EXPECT_TRUE(lua.runString("dofile('bin.lua') require('bin') loadfile('bin.lua')() loadstring('y = y + 1')()"));
  EXPECT_EQ(global(lua, "y"), "5");
}

