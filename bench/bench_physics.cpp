// Cost of one game frame of physics for N walking objects on a level of
// 10 x 10 frames with floors, steps and walls: with the collision index
// (the program's way), with every object query walking the whole object
// list (the reference the index must match, and the way it used to be), and
// with object collision off (blocks only).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "api/lua_funcs.h"
#include "base/globals.h"
#include "render/sprite.h"
#include "world/level.h"

// Level and character states get the script API, as in the game.
static const bool kApiInstalled = (LuaFuncs::install(), true);

namespace {

// Walks at 60 px/s and turns round at walls and other objects.
class Walker : public Object {
 public:
  Walker(uint32_t id, int x, int y, Sprite* s, Level* l, float dir)
      : Object(id, x, y, 0, 1, s, l, nullptr), dir_(dir) {}
  void step() override {
    spdX = 60.0f * dir_;
    Object::step();
    if (hitLeft || hitRight) dir_ = -dir_;
  }

 private:
  float dir_;
};

struct Scene {
  Sprite tiles;
  Sprite body;
  Level lvl;

  Scene(int count, bool collide) {
    // Tile 1 solid, tile 2 a 6-pixel step (bottom rows only).
    tiles.width = 96;
    tiles.height = 32;
    tiles.mask.assign(96 * 32, 1);
    for (uint32_t row = 0; row < 26; ++row)
      for (uint32_t col = 64; col < 96; ++col) tiles.mask[row * 96 + col] = 0;
    for (uint32_t v = 0; v < 3; ++v) {
      Sprite::Anim a;
      a.x = v * 32;
      a.w = a.h = a.boxX2 = a.boxY2 = 32;
      a.frames.resize(1);
      tiles.anims.push_back(a);
    }
    body.width = 16;
    body.height = 32;
    body.mask.assign(16 * 32, 1);
    Sprite::Anim b;
    b.w = b.boxX2 = 16;
    b.h = b.boxY2 = 32;
    b.frames.resize(1);
    body.anims.push_back(b);

    // Floors at block rows 4, 9 and 14 of every frame, a step and a wall
    // on each floor.
    for (int fy = 0; fy < 10; ++fy)
      for (int fx = 0; fx < 10; ++fx) {
        Frame* f = lvl.addFrame(0, nullptr, &tiles, nullptr, fx, fy, 0, 1.0f, 1.0f);
        f->cells.assign(Frame::kCells, 0);
        for (int row : {4, 9, 14}) {
          for (int c = 0; c < Frame::kCols; ++c) f->cells[row * Frame::kCols + c] = 1;
          f->cells[(row - 1) * Frame::kCols + 6] = 2;
          f->cells[(row - 1) * Frame::kCols + 15] = 1;
        }
      }

    // Objects spread over the floors, deterministic placement.
    uint32_t seed = 12345;
    auto next = [&seed] {
      seed = seed * 1664525u + 1013904223u;
      return seed >> 8;
    };
    for (int i = 0; i < count; ++i) {
      const int fx = static_cast<int>(next() % 10), fy = static_cast<int>(next() % 10);
      const int floor = static_cast<int>(next() % 3);
      const int x = fx * 640 + 8 + static_cast<int>(next() % 600);
      const int y = fy * 480 + (floor * 5 + 4) * 32 - 40;
      auto w = std::make_unique<Walker>(static_cast<uint32_t>(i), x, y, &body, &lvl,
                                        (next() & 1) ? 1.0f : -1.0f);
      w->colsOn = collide;
      lvl.adoptObj(std::move(w));
    }
    // Let the crowd settle before measuring.
    for (int i = 0; i < 30; ++i) lvl.updateWorld();
  }
};

void runPhysics(benchmark::State& state, bool collide, bool index = true) {
  game::dt = 0.016f;
  const int count = static_cast<int>(state.range(0));
  // Settled with the index either way: it answers exactly as the walk.
  Scene scene(count, collide);
  ObjectIndex::enabled = index;
  for (auto _ : state) {
    scene.lvl.updateWorld();
    benchmark::ClobberMemory();
  }
  state.counters["objects"] = count;
  // Seconds per object per frame (shown in the table as a time).
  state.counters["per_object"] =
      benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
  ObjectIndex::enabled = true;
}

void BM_PhysicsFrame(benchmark::State& state) { runPhysics(state, true); }
void BM_PhysicsFrameBlocksOnly(benchmark::State& state) { runPhysics(state, false); }
void BM_PhysicsFrameListWalk(benchmark::State& state) { runPhysics(state, true, false); }

}  // namespace

BENCHMARK(BM_PhysicsFrameBlocksOnly)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PhysicsFrame)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(3000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PhysicsFrameListWalk)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
// Seconds per frame: a few frames are enough.
BENCHMARK(BM_PhysicsFrameListWalk)->Arg(10000)->Iterations(3)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
