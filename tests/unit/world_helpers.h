// Small hand-built worlds for the physics and frame tests: sprites made
// without a GL context (texture 0) and frames filled cell by cell.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/globals.h"
#include "render/sprite.h"
#include "world/frame.h"
#include "world/level.h"
#include "world/object.h"

namespace worldtest {

// Tile sheet of 32 x 32 tiles side by side; tile v is animation v. Every
// pixel starts solid; `clearRows(v, from, to)` empties rows of a tile.
struct TileSheet {
  Sprite sprite;
  explicit TileSheet(uint32_t tiles) {
    sprite.width = static_cast<float>(tiles * 32);
    sprite.height = 32;
    sprite.mask.assign(tiles * 32 * 32, 1);
    for (uint32_t v = 0; v < tiles; ++v) {
      Sprite::Anim a;
      a.x = v * 32;
      a.w = a.h = 32;
      a.boxX2 = a.boxY2 = 32;
      a.frames.resize(1);
      sprite.anims.push_back(a);
    }
  }
  // Leaves only the lowest `n` pixel rows of tile v solid.
  void keepBottomRows(uint32_t v, uint32_t n) {
    for (uint32_t row = 0; row < 32 - n; ++row)
      for (uint32_t col = 0; col < 32; ++col) sprite.mask[row * static_cast<uint32_t>(sprite.width) + v * 32 + col] = 0;
  }
  void setPixel(uint32_t v, uint32_t col, uint32_t row, uint8_t solid) {
    sprite.mask[row * static_cast<uint32_t>(sprite.width) + v * 32 + col] = solid;
  }
};

// A body image w x h with one animation of `frames` frames, anchor (ax, ay)
// and a fully solid mask.
struct Body {
  Sprite sprite;
  Body(uint32_t w, uint32_t h, uint32_t ax = 0, uint32_t ay = 0, uint32_t frames = 1) {
    sprite.width = static_cast<float>(w * frames);
    sprite.height = static_cast<float>(h);
    sprite.mask.assign(w * frames * h, 1);
    Sprite::Anim a;
    a.w = w;
    a.h = h;
    a.boxX2 = w;
    a.boxY2 = h;
    a.speed = 10;
    Sprite::Frame f;
    f.offsetX = f.offsetX2 = ax;
    f.offsetY = f.offsetY2 = ay;
    a.frames.assign(frames, f);
    sprite.anims.push_back(a);
  }
};

// Sets cell (col, row) of a frame, giving it a grid first if needed.
inline void setCell(Frame& f, int col, int row, uint8_t v) {
  if (!f.hasCells()) f.cells.assign(Frame::kCells, 0);
  f.cells[static_cast<size_t>(row * Frame::kCols + col)] = v;
}

inline void fillRow(Frame& f, int row, uint8_t v) {
  for (int c = 0; c < Frame::kCols; ++c) setCell(f, c, row, v);
}

// Restores the frame time and level-wide physics values after a test.
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
