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

  Sprite* sprite = nullptr;
  uint32_t count = 0;
  // The first `opaque` vertices are quads of fully opaque images at full
  // opacity that overlap nothing else in the buffer: print draws them
  // without blending (the same pixels, no reading back of what is under
  // them) unless a world shader program might make them see-through.
  uint32_t opaque = 0;
  uint32_t vbo = 0;
  VertexArray verts;
  bool ready = false;
};
