#pragma once

#include <cstdint>
#include <vector>

// Interleaved vertex in OpenGL's GL_T2F_C4UB_V3F layout (24 bytes).
struct SpriteVertex {
  float u, v;
  uint8_t r, g, b, a;
  float x, y, z;
};
static_assert(sizeof(SpriteVertex) == 24, "SpriteVertex must match GL_T2F_C4UB_V3F");

using VertexArray = std::vector<SpriteVertex>;
