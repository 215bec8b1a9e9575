#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "core/log.h"
#include "script/lua.h"
#include "script/periodic.h"
#include "script/script_requests.h"

namespace fs = std::filesystem;

namespace {

// Global `name` of the host's state as text ("nil" when absent).
std::string global(Lua& lua, const char* name) {
  lua_State* L = lua.L();
  lua_getglobal(L, name);
  const char* s = lua_tostring(L, -1);
  std::string out = s ? s : "nil";
  lua_pop(L, 1);
  return out;
}

struct LuaHostTest : ::testing::Test {
  fs::path dir;
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("tervalo_lua_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string file(const std::string& name, const std::string& text) {
    std::string p = (dir / name).string();
    std::ofstream(p) << text;
    return p;
  }
};

const char kCounter[] = "n = 0 function update() n = n + 1 end";

}  // namespace

TEST(Periodic, SixteenMillisecondSteps) {
  Periodic clock;
  int calls = 0;
  EXPECT_EQ(clock.advance(0.1f, [&] { ++calls; }), 6);
  EXPECT_EQ(calls, 6);
  EXPECT_NEAR(clock.ms(), 4.0f, 1e-3);

  Periodic level;  // 40 ms frames: 2 calls with 8 left, then 3 (48 ms)
  EXPECT_EQ(level.advance(0.04f, [] {}), 2);
  EXPECT_NEAR(level.ms(), 8.0f, 1e-3);
  EXPECT_EQ(level.advance(0.04f, [] {}), 3);

  Periodic shortFrames;  // nothing until enough time has gathered
  EXPECT_EQ(shortFrames.advance(0.01f, [] {}), 0);
  EXPECT_EQ(shortFrames.advance(0.01f, [] {}), 1);

  Periodic stopped;  // a callback returning false ends the loop at once
  int n = 0;
  EXPECT_EQ(stopped.advance(0.1f, [&] { return ++n < 2; }), 2);
  EXPECT_NEAR(stopped.ms(), 68.0f, 1e-3);
}

TEST_F(LuaHostTest, LoadErrorsAreReportedAtOnceRunErrorsLater) {
  Log::Capture cap;
  Lua syntax;
  EXPECT_FALSE(syntax.runString("x = = 1"));
  ASSERT_EQ(cap.lines().size(), 1u);
  EXPECT_EQ(cap.lines()[0].rfind("FAIL: Lua.update: Error: [string \"line\"]:1:", 0), 0u);
  EXPECT_FALSE(syntax.loaded());
  EXPECT_EQ(syntax.status(), 0);

  cap.clear();
  Lua missing;
  EXPECT_FALSE(missing.openFile((dir / "nope.lua").string()));
  EXPECT_EQ(cap.count("FAIL: Lua.update: Error: cannot open"), 1u);
  EXPECT_EQ(cap.lines().size(), 1u);
  EXPECT_FALSE(missing.loaded());
  Periodic clock;
  EXPECT_EQ(missing.callPeriodic(clock, 1.0f, "update"), 0);
  EXPECT_EQ(cap.lines().size(), 1u);

  // An error in the main chunk: silent now, and the host is never called
  // back; the next call reports it instead of calling.
  cap.clear();
  Lua broken;
  EXPECT_TRUE(broken.openFile(file("broken.lua", "hits = 0 function update() hits = hits + 1 end error('boom')")));
  EXPECT_TRUE(cap.lines().empty());
  EXPECT_TRUE(broken.loaded());
  EXPECT_NE(broken.status(), 0);
  EXPECT_EQ(broken.callPeriodic(clock, 1.0f, "update"), 0);
  EXPECT_TRUE(cap.lines().empty());
  EXPECT_TRUE(broken.call("update"));
  ASSERT_EQ(cap.lines().size(), 1u);
  EXPECT_NE(cap.lines()[0].find("broken.lua:1: boom"), std::string::npos);
  EXPECT_EQ(global(broken, "hits"), "0");
  EXPECT_TRUE(broken.call("update"));  // reported once; now it runs
  EXPECT_EQ(global(broken, "hits"), "1");
}

TEST_F(LuaHostTest, NullArguments) {
  Log::Capture cap;
  Lua lua;
  EXPECT_FALSE(lua.openFile(static_cast<const char*>(nullptr)));
  EXPECT_FALSE(lua.regFunc(nullptr, "f"));
  EXPECT_FALSE(lua.regFunc([](lua_State*) { return 0; }, nullptr));
  EXPECT_FALSE(lua.runString(nullptr));
  EXPECT_FALSE(lua.call(nullptr));
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{"FAIL: Lua.openFile: Brak nazwy pliku",
                                                   "FAIL: Lua.regFunc: NULL", "FAIL: Lua.regFunc: NULL"}));
}

TEST_F(LuaHostTest, MissingUpdateFailsOnEveryStep) {
  Log::Capture cap;
  Lua lua;
  ASSERT_TRUE(lua.runString("x = 1"));
  Periodic clock;
  EXPECT_EQ(lua.callPeriodic(clock, 0.048f, "update"), 3);
  EXPECT_EQ(cap.count("FAIL: Lua.update: Error: attempt to call a nil value"), 3u);
  EXPECT_EQ(lua.callPeriodic(clock, 0.016f, "update"), 1);
  EXPECT_EQ(cap.count("attempt to call a nil value"), 4u);
  EXPECT_EQ(lua_gettop(lua.L()), 0);
  // A name that is not set does not run the clock at all.
  EXPECT_EQ(lua.callPeriodic(clock, 1.0f, nullptr), 0);
}

TEST_F(LuaHostTest, HundredMillisecondsGiveSixCalls) {
  Lua lua;
  ASSERT_TRUE(lua.runString(kCounter));
  Periodic clock;
  EXPECT_EQ(lua.callPeriodic(clock, 0.1f, "update"), 6);
  EXPECT_EQ(global(lua, "n"), "6");
  EXPECT_NEAR(clock.ms(), 4.0f, 1e-3);
  EXPECT_EQ(lua.callPeriodic(clock, 0.012f, "update"), 1);  // 4 + 12
  EXPECT_EQ(global(lua, "n"), "7");
}

TEST_F(LuaHostTest, QueuedArgumentsKeepTheirOrder) {
  Lua lua;
  EXPECT_FALSE(lua.addArg(1));  // nothing loaded yet
  EXPECT_FALSE(lua.addArg("x"));
  EXPECT_EQ(lua.queuedArgs(), 0u);
  ASSERT_TRUE(lua.runString(
      "function f(...) local t = {select('#', ...)} "
      "for i = 1, select('#', ...) do local v = select(i, ...) t[#t+1] = type(v) .. ':' .. tostring(v) end "
      "got = table.concat(t, ' ') end"));
  EXPECT_TRUE(lua.addArg(5));
  EXPECT_TRUE(lua.addArg("a"));
  EXPECT_TRUE(lua.addArg(7));
  EXPECT_TRUE(lua.addArg(nullptr));
  EXPECT_TRUE(lua.call("f"));
  EXPECT_EQ(global(lua, "got"), "4 number:5 string:a number:7 nil:nil");
  EXPECT_EQ(lua.queuedArgs(), 0u);
  EXPECT_TRUE(lua.call("f"));
  EXPECT_EQ(global(lua, "got"), "0");

  // A chunk receives the queue as its varargs.
  lua.addArg("b");
  lua.addArg(-3);
  ASSERT_TRUE(lua.runString("chunk = table.concat({...}, ',')"));
  EXPECT_EQ(global(lua, "chunk"), "b,-3");

  // More arguments than Lua's default stack room still arrive whole.
  for (int i = 0; i < 300; ++i) lua.addArg(i);
  EXPECT_TRUE(lua.call("f"));
  EXPECT_EQ(global(lua, "got").substr(0, 4), "300 ");
}

TEST_F(LuaHostTest, PendingErrorHoldsBackOneCallAndItsArguments) {
  Log::Capture cap;
  Lua lua;
  ASSERT_TRUE(lua.runString("function f(a, b) got = tostring(a) .. ',' .. tostring(b) end error('late')"));
  lua.addArg(1);
  EXPECT_TRUE(lua.call("f"));
  EXPECT_EQ(cap.count("late"), 1u);
  EXPECT_EQ(global(lua, "got"), "nil");
  EXPECT_EQ(lua.queuedArgs(), 1u);
  lua.addArg(2);
  EXPECT_TRUE(lua.call("f"));
  EXPECT_EQ(global(lua, "got"), "1,2");
}

TEST_F(LuaHostTest, PendingErrorIsReportedBeforeTheNextChunk) {
  Log::Capture cap;
  Lua lua;
  for (int i = 0; i < 50; ++i) ASSERT_TRUE(lua.runString("error('chunk failed')"));
  // Each failure was printed when the next chunk came, none piled up.
  EXPECT_EQ(cap.count("chunk failed"), 49u);
  EXPECT_LE(lua_gettop(lua.L()), 1);
  ASSERT_TRUE(lua.openFile(file("ok.lua", "ok = 1")));
  EXPECT_EQ(cap.count("chunk failed"), 50u);
  EXPECT_EQ(lua.status(), 0);
  EXPECT_EQ(lua_gettop(lua.L()), 0);
}

TEST_F(LuaHostTest, RegisteredFunctionsAndRegistry) {
  Lua lua;
  lua.regFunc([](lua_State* L) { lua_pushstring(L, "first"); return 1; }, "who");
  lua.regFunc([](lua_State* L) { lua_pushstring(L, "second"); return 1; }, "who");
  lua.setReg("n", 42);
  lua.setReg("s", "data/lvl/a.crs");
  int marker = 0;
  lua.setReg(Lua::kRegLvl, &marker);
  lua.setReg(Lua::kRegNpc, nullptr);
  lua.setReg("s2", "x");
  lua.setReg("s2", static_cast<const char*>(nullptr));  // removes
  ASSERT_TRUE(lua.runString("w = who() return 1, 2, 3"));
  EXPECT_EQ(global(lua, "w"), "second");
  EXPECT_EQ(lua_gettop(lua.L()), 0);  // chunk results dropped

  lua_State* L = lua.L();
  lua_getfield(L, LUA_REGISTRYINDEX, "n");
  EXPECT_EQ(lua_type(L, -1), LUA_TNUMBER);
  EXPECT_EQ(lua_tonumber(L, -1), 42);
  lua_getfield(L, LUA_REGISTRYINDEX, "s");
  EXPECT_STREQ(lua_tostring(L, -1), "data/lvl/a.crs");
  lua_getfield(L, LUA_REGISTRYINDEX, "lvl");
  EXPECT_TRUE(lua_islightuserdata(L, -1));
  EXPECT_EQ(lua_touserdata(L, -1), &marker);
  lua_getfield(L, LUA_REGISTRYINDEX, "npc");
  EXPECT_TRUE(lua_islightuserdata(L, -1));
  EXPECT_EQ(lua_touserdata(L, -1), nullptr);
  lua_getfield(L, LUA_REGISTRYINDEX, "s2");
  EXPECT_TRUE(lua_isnil(L, -1));
  lua_settop(L, 0);

  ASSERT_TRUE(lua.runString("function g() return 'a', 'b' end"));
  EXPECT_TRUE(lua.call("g"));
  EXPECT_EQ(lua_gettop(L), 0);

  // init starts over: nothing loaded, nothing defined, queue kept.
  lua.addArg(9);
  lua.init();
  EXPECT_FALSE(lua.loaded());
  EXPECT_EQ(lua.queuedArgs(), 1u);
  EXPECT_EQ(global(lua, "g"), "nil");
}

TEST_F(LuaHostTest, StrictGlobalsCannotAbortTheEngine) {
  Log::Capture cap;
  Lua lua;
  ASSERT_TRUE(lua.runString(
      "setmetatable(_G, {__index = function(_, k) error('undeclared ' .. k, 2) end,"
      "                  __newindex = function(_, k) error('no new ' .. k, 2) end})"));
  EXPECT_TRUE(lua.call("update"));
  EXPECT_EQ(cap.count("FAIL: Lua.update: Error: undeclared update"), 1u);
  EXPECT_TRUE(lua.regFunc([](lua_State*) { return 0; }, "late"));
  EXPECT_EQ(cap.count("no new late"), 1u);
  EXPECT_EQ(lua_gettop(lua.L()), 0);

  lua.runString("debug.setmetatable(debug.getregistry(), {__newindex = function() error('ro') end})");
  lua.setReg("k", 1);
  EXPECT_EQ(cap.count(": ro"), 1u);
}

// --- the running guard ------------------------------------------------------

namespace {
std::unique_ptr<Lua>* g_host = nullptr;
bool g_lvlSeen = false;
}  // namespace

TEST_F(LuaHostTest, HostDestroyedByItsOwnCallIsClosedAfterItReturns) {
  Log::Capture cap;
  auto host = std::make_unique<Lua>();
  g_host = &host;
  host->regFunc([](lua_State*) { g_host->reset(); return 0; }, "destroyMe");
  host->regFunc(
      [](lua_State* L) {
        lua_getfield(L, LUA_REGISTRYINDEX, Lua::kRegLvl);
        g_lvlSeen = !lua_isnil(L, -1);
        lua_pop(L, 1);
        return 0;
      },
      "probeLvl");
  int level = 0;
  host->setReg(Lua::kRegLvl, &level);
  ASSERT_TRUE(host->runString(
      "function update() probeLvl() destroyMe() probeLvl() local t = {} for i = 1, 1000 do t[i] = i end "
      "error('after ' .. #t) end"));
  EXPECT_TRUE(host->running() == false);
  Periodic clock;
  g_lvlSeen = true;
  EXPECT_EQ(host->callPeriodic(clock, 0.1f, "update"), Lua::kHostGone);
  EXPECT_EQ(host, nullptr);
  EXPECT_FALSE(g_lvlSeen);  // the orphaned script no longer sees its level
  EXPECT_EQ(cap.count("FAIL: Lua.update: Error: [string \"line\"]:1: after 1000"), 1u);
  EXPECT_EQ(Lua::activeCalls(), 0);
}

TEST_F(LuaHostTest, InitDuringACallLeavesTheRunningStateAlive) {
  Log::Capture cap;
  Lua lua;
  static Lua* self = nullptr;
  self = &lua;
  lua.regFunc([](lua_State*) { self->init(); return 0; }, "restart");
  lua.regFunc(
      [](lua_State*) {
        EXPECT_TRUE(self->running() == false);  // the new state runs nothing
        EXPECT_EQ(Lua::activeCalls(), 1);
        return 0;
      },
      "check");
  ASSERT_TRUE(lua.runString("n = 0 function update() n = n + 1 restart() check() n = n + 1 end"));
  Periodic clock;
  EXPECT_EQ(lua.callPeriodic(clock, 0.1f, "update"), 1);  // stops after the reset
  EXPECT_FALSE(lua.loaded());
  EXPECT_EQ(global(lua, "n"), "nil");
  EXPECT_TRUE(cap.lines().empty());
  EXPECT_EQ(Lua::activeCalls(), 0);
  // The fresh state works as usual.
  ASSERT_TRUE(lua.runString(kCounter));
  EXPECT_TRUE(lua.call("update"));
  EXPECT_EQ(global(lua, "n"), "1");
}

TEST_F(LuaHostTest, NestedCallsOfOneHost) {
  Lua lua;
  static Lua* self = nullptr;
  self = &lua;
  lua.regFunc(
      [](lua_State* L) {
        const int top = lua_gettop(L);
        self->addArg(static_cast<int>(lua_tonumber(L, 1)) + 1);
        self->call("inner");
        // the nested call left this function's own arguments alone
        EXPECT_EQ(lua_gettop(L), top);
        lua_pushnumber(L, Lua::activeCalls());
        return 1;
      },
      "reenter");
  ASSERT_TRUE(lua.runString("function inner(v) innerArg = v end function outer() depth = reenter(41) end"));
  EXPECT_TRUE(lua.call("outer"));
  EXPECT_EQ(global(lua, "innerArg"), "42");
  EXPECT_EQ(global(lua, "depth"), "1");
  EXPECT_FALSE(lua.running());
}

// --- deferred requests -------------------------------------------------------

TEST(ScriptRequests, RunInOrderAfterTheScriptReturns) {
  ScriptRequests q;
  std::string log;
  int owner = 0, other = 0;
  q.post(&owner, [&] { log += "a"; });
  q.post(&other, [&] { log += "b"; });
  q.post(&owner, [&] {
    log += "c";
    q.post(&owner, [&] { log += "d"; });  // waits for the next drain
    EXPECT_EQ(q.drain(), 0u);             // no drain inside a drain
  });
  EXPECT_FALSE(q.post(&owner, nullptr));
  EXPECT_EQ(q.pending(), 3u);
  EXPECT_EQ(q.drain(), 3u);
  EXPECT_EQ(log, "abc");
  EXPECT_EQ(q.drain(), 1u);
  EXPECT_EQ(log, "abcd");

  // cancel drops the owner's requests, also later ones of a running drain
  q.post(&owner, [&] { log += "e"; });
  q.post(&other, [&] { q.cancel(&owner); });
  q.post(&owner, [&] { log += "f"; });
  q.post(&other, [&] { log += "g"; });
  q.cancel(&owner);
  EXPECT_EQ(q.pending(), 2u);
  EXPECT_EQ(q.drain(), 2u);
  EXPECT_EQ(log, "abcdg");
  EXPECT_EQ(q.pending(), 0u);
}

TEST(ScriptRequests, AScriptCanAskForItsOwnHostToGo) {
  auto host = std::make_unique<Lua>();
  g_host = &host;
  host->regFunc(
      [](lua_State*) {
        ScriptRequests::instance().post(g_host, [] { g_host->reset(); });
        return 0;
      },
      "leave");
  ASSERT_TRUE(host->runString("function update() leave() left = 'yes' end"));
  Periodic clock;
  EXPECT_EQ(host->callPeriodic(clock, 0.016f, "update"), 1);
  ASSERT_NE(host, nullptr);  // still there while its script ran
  EXPECT_EQ(global(*host, "left"), "yes");
  EXPECT_EQ(ScriptRequests::instance().drain(), 1u);
  EXPECT_EQ(host, nullptr);
}
