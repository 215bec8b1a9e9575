// A randomised world for checking the collision index against the list
// walks: objects that move, animate, change sprites and boxes, switch
// collisions, jump far out of the level, add and delete objects (level and
// frame objects) during their own steps, and a script that changes other
// objects behind their backs. Every object probes the queries during its
// step with random areas and counts every answer that differs from the
// walk's. Used by the unit test (small) and bench/collision_diff (large).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "script/lua.h"
#include "unit/world_helpers.h"
#include "world/frame.h"
#include "world/level.h"
#include "world/sampling.h"

namespace chaos {

struct Rng {
  uint64_t s;
  uint32_t next() {
    s = s * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(s >> 33);
  }
  // [lo, hi], for spans up to the whole int range.
  int range(int lo, int hi) {
    const uint64_t span = static_cast<uint64_t>(static_cast<int64_t>(hi) - lo) + 1;
    return static_cast<int>(lo + static_cast<int64_t>(next() % span));
  }
  bool chance(int per1000) { return static_cast<int>(next() % 1000) < per1000; }
};

struct Counts {
  uint64_t queries = 0, mismatches = 0;
};

struct World;
inline World* current = nullptr;  // the world whose script is running

// Sprites of every shape the queries meet: plain boxes, animations whose
// frames move the anchor, an empty box, a huge box, masks with holes.
struct Sprites {
  worldtest::Sheet body{3, 16, 32, 8, 31};
  worldtest::Sheet big{1, 96, 64};
  worldtest::Sheet holes{2, 32, 32};
  worldtest::Sheet empty{1, 16, 16};
  worldtest::Sheet huge{1, 8, 8};
  worldtest::Sheet tiles{2, 32, 32};
  Sprites() {
    // Animation 1 of body: three frames with different anchors.
    body.s.anims[1].frames = {{8, 31, 8, 31}, {2, 20, 2, 20}, {15, 0, 15, 0}};
    body.s.anims[1].speed = 30;
    Sprite::Anim& small = body.s.anims[2];
    small.boxX1 = 4, small.boxY1 = 6, small.boxX2 = 6, small.boxY2 = 20;
    holes.paint(0, 8, 24, 0, 32, 0);
    holes.paint(1, 0, 32, 10, 20, 0);
    tiles.paint(1, 5, 27, 0, 9, 0);  // tile 1: a notch in its top rows
    empty.s.anims[0].boxX2 = empty.s.anims[0].w = 0;
    Sprite::Anim& h = huge.s.anims[0];
    h.boxX1 = static_cast<uint32_t>(-50000), h.boxX2 = 6000, h.boxY2 = 3000, h.w = 5000, h.h = 2500;
  }
  Sprite* pick(Rng& r) {
    const int k = r.range(0, 9);
    if (k < 3) return k == 0 ? &big.s : k == 1 ? &holes.s : &empty.s;
    return k == 3 && r.chance(300) ? &huge.s : &body.s;
  }
};

struct World {
  World(uint64_t seed, int objects, int frameObjects) : rng{seed} {
    current = this;
    for (int fy = 0; fy < 3; ++fy)
      for (int fx = 0; fx < 4; ++fx) {
        Frame* f = lvl.addFrame(0, nullptr, &spr.tiles.s, nullptr, fx, fy, 0, 1.0f, 1.0f);
        for (int row : {6, 14}) worldtest::fillRow(*f, row, 1);
        worldtest::setCell(*f, 9, 13, 2);
        frames.push_back(f);
      }
    for (int i = 0; i < objects; ++i) addObject();
    for (int i = 0; i < frameObjects; ++i) addFrameObject();
    lua.regFunc(&World::poke, "poke");
    lua.runString("function meddle() poke() poke() end");
  }
  ~World() { current = current == this ? nullptr : current; }

  // One game frame: the level's step, then probes from outside any step.
  void frame() {
    current = this;
    game::dt = rng.chance(100) ? 0.25f : 0.016f;
    lvl.update();
    lvl.openIndex();
    for (int i = 0; i < 20; ++i) probe(nullptr);
    lvl.closeIndex();
  }

  // Positions, speeds and flags of every object, for comparing two runs.
  uint64_t fingerprint() const {
    uint64_t h = 1469598103934665603ull;
    auto mix = [&](uint64_t v) { h = (h ^ v) * 1099511628211ull; };
    auto one = [&](const Object& o) {
      mix(static_cast<uint64_t>(toPixel(o.x * 16)));
      mix(static_cast<uint64_t>(toPixel(o.y * 16)));
      mix(static_cast<uint64_t>(toPixel(o.spdX)));
      mix(o.onGround + 2u * o.hitLeft + 4u * o.hitRight + 8u * o.hitTop);
    };
    for (const auto& o : lvl.objs)
      if (o) one(*o);
    for (const auto& f : lvl.frames)
      if (f)
        for (const auto& o : f->objs)
          if (o) one(*o);
    return h;
  }

  // Random queries of every kind, each answered by the index (when it is
  // open) and by the walk.
  void probe(const Object* self) {
    // Sides: empty, huge or small.
    auto side = [&] {
      return rng.chance(50) ? rng.range(-2, 0) : rng.chance(30) ? rng.range(1, 20000) : rng.range(1, 40);
    };
    auto area = [&](int& x, int& y, int& w, int& h) {
      const bool far = rng.chance(30);
      x = far ? rng.range(-1000000000, 1000000000) : rng.range(-700, 3300);
      y = far ? rng.range(-1000000000, 1000000000) : rng.range(-700, 2100);
      w = side();
      h = side();
    };
    int x, y, w, h;
    area(x, y, w, h);
    check(lvl.objHit(x, y, w, h, self) == lvl.objHitWalk(x, y, w, h, self));
    check(lvl.objAt(x, y, self) == lvl.objAtWalk(x, y, self));
    Frame* f = frames[rng.next() % frames.size()];
    area(x, y, w, h);
    check(f->frameObjHit(x, y, w, h, self) == f->frameObjHitWalk(x, y, w, h, self));
    // Blocks: the area walk against the pixel samples, in every mode.
    area(x, y, w, h);
    w = w > 100 ? w % 100 : w;
    h = h > 100 ? h % 100 : h;
    const int mode = rng.range(0, 3);
    check(lvl.blockHit(x, y, 0, w, h, mode) == sampleArea(x, y, w, h, mode & 1, [&](int px, int py) {
            return lvl.blockAt(px, py, 0, (mode & 2) != 0);
          }));
  }
  void probeFrame(Frame& f, const Object* self) {
    const int x = f.fx * 640 + rng.range(-40, 680), y = f.fy * 480 + rng.range(-40, 520);
    const int w = rng.range(1, 40), h = rng.range(1, 70);
    check(f.frameObjHit(x, y, w, h, self) == f.frameObjHitWalk(x, y, w, h, self));
  }
  void check(bool same) {
    ++counts.queries;
    if (!same) ++counts.mismatches;
  }

  void addObject();
  void addFrameObject();

  // Changes random objects from inside a script call.
  static int poke(lua_State*) {
    World* w = current;
    if (!w || w->lvl.objs.size() == 0) return 0;
    Object* o = w->lvl.objs[w->rng.next() % w->lvl.objs.size()];
    if (o) w->mutate(*o);
    Frame* f = w->frames[w->rng.next() % w->frames.size()];
    if (f->objs.size() > 0)
      if (Object* fo = f->objs[w->rng.next() % f->objs.size()]) w->mutate(*fo);
    if (w->rng.chance(300)) w->addObject();
    return 0;
  }

  // Any change of position, box, sprite, animation or collisions.
  void mutate(Object& o) {
    switch (rng.range(0, 7)) {
      case 0:
        o.x = static_cast<float>(rng.range(-100, 2700));
        o.y = static_cast<float>(rng.range(-100, 1500));
        break;
      case 1: o.x = static_cast<float>(rng.range(-2000000000, 2000000000)); break;
      case 2: o.setAnim(static_cast<uint32_t>(rng.range(0, 3))); break;
      case 3: o.setSprite(spr.pick(rng)); break;
      case 4: o.colsOn = !o.colsOn; break;
      case 5: o.spdX = static_cast<float>(rng.range(-400, 400)); break;
      case 6: o.y -= static_cast<float>(rng.range(0, 64)); break;
      default:
        o.frameIdx = 0;
        o.animate();
        break;
    }
  }

  Rng rng;
  Sprites spr;
  Level lvl;
  Lua lua;
  std::vector<Frame*> frames;
  Counts counts;
};

// An object that, in its own step, changes itself, the level's lists or
// (through the script) other objects, probes the queries and moves by the
// physics.
struct Actor : Object {
  Actor(World& w, int x, int y, Sprite* s, Frame* host)
      : Object(w.rng.next(), x, y, 0, 1, s, &w.lvl, host), w_(w) {
    spdX = static_cast<float>(w.rng.range(-120, 120));
  }
  void step() override {
    Rng& r = w_.rng;
    if (r.chance(60)) w_.mutate(*this);
    if (r.chance(15)) w_.addObject();
    if (r.chance(8)) w_.addFrameObject();
    if (r.chance(20) && w_.lvl.objs.size() > 1) {
      Object* victim = w_.lvl.objs[r.next() % w_.lvl.objs.size()];
      if (victim != this) w_.lvl.delObj(victim);
    }
    if (r.chance(10) && frameHost && frameHost->objs.size() > 1) {
      Object* victim = frameHost->objs[r.next() % frameHost->objs.size()];
      if (victim != this) frameHost->delObj(victim);
    }
    if (r.chance(20)) w_.lua.call("meddle");
    // The physics asks with this object as self; so do the probes.
    Object::step();
    frameHost ? w_.probeFrame(*frameHost, this) : w_.probe(this);
    if (r.chance(5) && frameHost) w_.mutate(*this);
  }
  World& w_;
};

inline void World::addObject() {
  lvl.adoptObj(std::make_unique<Actor>(*this, rng.range(0, 2500), rng.range(0, 1300), spr.pick(rng),
                                       nullptr));
}

inline void World::addFrameObject() {
  Frame* f = frames[rng.next() % frames.size()];
  f->objs.add(std::make_unique<Actor>(*this, f->fx * 640 + rng.range(0, 600),
                                      f->fy * 480 + rng.range(0, 440), spr.pick(rng), f));
}

}  // namespace chaos
