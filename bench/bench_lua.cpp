// Cost of the characters' script clock: one game frame of 16 ms for 100
// characters, each with its own state and a small "update", through
// Lua::callPeriodic, against the bare Lua calls on the same states.
// Compare the "per_call" counters of the two benchmarks. Also a script
// getter against an empty registered C function.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "api/lua_funcs.h"
#include "script/lua.h"
#include "script/periodic.h"
#include "world/level.h"

namespace {

constexpr int kHosts = 100;
const char kScript[] = "x = 0 function update() x = x + 1 end";

struct Crowd {
  std::vector<std::unique_ptr<Lua>> hosts;
  std::vector<Periodic> clocks;
  Crowd() : clocks(kHosts) {
    for (int i = 0; i < kHosts; ++i) {
      auto lua = std::make_unique<Lua>();
      LuaFuncs::registerAll(*lua);
      lua->runString(kScript);
      hosts.push_back(std::move(lua));
    }
  }
};

void perCall(benchmark::State& state, int64_t calls) {
  state.SetItemsProcessed(calls);
  state.counters["per_call"] = benchmark::Counter(
      static_cast<double>(calls), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_BareGetglobalPcall(benchmark::State& state) {
  Crowd crowd;
  int64_t calls = 0;
  for (auto _ : state) {
    for (int i = 0; i < kHosts; ++i) {
      lua_State* L = crowd.hosts[i]->L();
      lua_getglobal(L, "update");
      lua_pcall(L, 0, LUA_MULTRET, 0);
      lua_settop(L, 0);
    }
    calls += kHosts;
  }
  perCall(state, calls);
}
BENCHMARK(BM_BareGetglobalPcall);

void BM_PeriodicTick(benchmark::State& state) {
  Crowd crowd;
  int64_t calls = 0;
  for (auto _ : state) {
    for (int i = 0; i < kHosts; ++i)
      calls += crowd.hosts[i]->callPeriodic(crowd.clocks[i], 0.016f, "update");
  }
  perCall(state, calls);
}
BENCHMARK(BM_PeriodicTick);

// A script reading a level value through the API (getLvlW, with its
// argument and level checks) against the same loop calling an empty
// registered C function: what one getter costs beyond the call itself.
int emptyFn(lua_State*) { return 0; }

void scriptLoop(benchmark::State& state, const char* fn) {
  static Level level;
  Lua lua;
  lua.setReg(Lua::kRegLvl, static_cast<void*>(&level));
  LuaFuncs::registerAll(lua);
  lua.regFunc(emptyFn, "empty");
  const std::string text = std::string("function run() for i = 1, 1000 do ") + fn + "() end end";
  lua.runString(text.c_str());
  int64_t calls = 0;
  for (auto _ : state) {
    lua.call("run");
    calls += 1000;
  }
  perCall(state, calls);
}
void BM_ScriptEmptyCFunction(benchmark::State& state) { scriptLoop(state, "empty"); }
void BM_ScriptGetter(benchmark::State& state) { scriptLoop(state, "getLvlW"); }
BENCHMARK(BM_ScriptEmptyCFunction);
BENCHMARK(BM_ScriptGetter);

}  // namespace

BENCHMARK_MAIN();
