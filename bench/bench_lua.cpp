// Cost of the characters' script clock: one game frame of 16 ms for 100
// characters, each with its own state and a small "update", through
// Lua::callPeriodic, against the bare Lua calls on the same states.
// Compare the "per_call" counters of the two benchmarks.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "api/lua_funcs.h"
#include "script/lua.h"
#include "script/periodic.h"

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
  state.counters["per_call"] =
      benchmark::Counter(static_cast<double>(calls), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
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
    for (int i = 0; i < kHosts; ++i) calls += crowd.hosts[i]->callPeriodic(crowd.clocks[i], 0.016f, "update");
  }
  perCall(state, calls);
}
BENCHMARK(BM_PeriodicTick);

}  // namespace

BENCHMARK_MAIN();
