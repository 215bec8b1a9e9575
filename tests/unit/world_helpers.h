// Small hand-built worlds for the world tests: sprites made without a GL
// context (texture 0) and frames filled cell by cell.
#pragma once

#include <cstdint>

#include "base/globals.h"
#include "render/sprite.h"
#include "world/level.h"

namespace worldtest {

// An image of `n` animations of w x h side by side, fully solid mask,
// anchor (ax, ay). Tile sheets are Sheet(n, 32, 32).
struct Sheet {
  Sprite s;
  Sheet(uint32_t n, uint32_t w, uint32_t h, uint32_t ax = 0, uint32_t ay = 0) {
    s.width = static_cast<float>(n * w);
    s.height = static_cast<float>(h);
    s.mask.assign(n * w * h, 1);
    for (uint32_t v = 0; v < n; ++v) {
      Sprite::Anim a;
      a.x = v * w;
      a.w = a.boxX2 = w;
      a.h = a.boxY2 = h;
      a.frames.resize(1);
      a.frames[0].offsetX = ax;
      a.frames[0].offsetY = ay;
      s.anims.push_back(a);
    }
  }
  // Mask pixels of animation v: rows [r0, r1) and columns [c0, c1) set to `solid`.
  void paint(uint32_t v, uint32_t c0, uint32_t c1, uint32_t r0, uint32_t r1, uint8_t solid) {
    const uint32_t w = static_cast<uint32_t>(s.width);
    for (uint32_t r = r0; r < r1; ++r)
      for (uint32_t c = c0; c < c1; ++c) s.mask[r * w + s.anims[v].x + c] = solid;
  }
};

inline void setCell(Frame& f, int col, int row, uint8_t v) {
  if (!f.hasCells()) f.cells.assign(Frame::kCells, 0);
  f.cells[static_cast<size_t>(row * Frame::kCols + col)] = v;
}

inline void fillRow(Frame& f, int row, uint8_t v) {
  for (int c = 0; c < Frame::kCols; ++c) setCell(f, c, row, v);
}

// Restores the frame time and the level-wide physics values.
struct PhysicsGuard {
  float dt = game::dt;
  Vec2f g = Object::globalGrav, a = Object::globalAirRes, r = Object::globalGndRes;
  ~PhysicsGuard() {
    game::dt = dt;
    Object::globalGrav = g;
    Object::globalAirRes = a;
    Object::globalGndRes = r;
  }
};

}  // namespace worldtest
