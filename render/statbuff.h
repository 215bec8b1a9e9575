// A list of quads of one sprite, built once and redrawn every frame with one
// draw call, shifted by the camera (with parallax factors).
#pragma once

#include <cstddef>
#include <cstdint>

#include "render/sprite_vertex.h"

class Sprite;

class StatBuff {
 public:
  StatBuff() = default;
  ~StatBuff();
  StatBuff(const StatBuff&) = delete;
  StatBuff& operator=(const StatBuff&) = delete;

  bool init(Sprite* sprite);
  void clear();
  void print(float camX, float camY);
  // Draws the first n vertices of `quads` as print draws the buffer (this
  // sprite's texture, shifted by the camera times camX, camY).
  void drawQuads(const VertexArray& quads, size_t n, float camX, float camY) const;

  Sprite* sprite = nullptr;
  uint32_t count = 0;
  uint32_t vbo = 0;
  VertexArray verts;
  bool ready = false;
};
