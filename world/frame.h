// One screen-sized cell of a level on one layer: a 20 x 15 grid of 32-pixel
// blocks with their tile sheet, a sky image, parallax factors and the frame
// objects that live in it. The blocks are drawn from a static vertex buffer
// that is rebuilt only when marked dirty.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/sprite_vertex.h"
#include "render/statbuff.h"
#include "world/object.h"
#include "world/object_index.h"
#include "world/owned_list.h"

class Sprite;

class Frame {
 public:
  static constexpr int kWidth = 640;
  static constexpr int kHeight = 480;
  static constexpr int kBlock = 32;
  static constexpr int kCols = 20;
  static constexpr int kRows = 15;
  static constexpr int kCells = kCols * kRows;

  // Takes over one cache reference of each sprite (either may be null).
  Frame(uint32_t id, std::string name, Sprite* blockSprite, Sprite* skybox, int fx, int fy,
        int layer, float parallaxX, float parallaxY);
  ~Frame();
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;

  // Steps the frame objects, then the frame's particles.
  void update();
  // Blocks (rebuilding their buffer when dirty), then the frame objects.
  void draw();

  Object* getObj(uint32_t objId) const;
  // Unlinks and destroys the object (a null argument unlinks an empty slot).
  void delObj(Object* obj);
  // First frame object (list order) whose drawn image has a solid mask pixel
  // at one of the sampled points of the area (32-pixel sampling).
  // While the frame steps its objects a collision index answers; the walk
  // over the list is the reference.
  Object* frameObjHit(int x, int y, int w, int h, const Object* self) const;
  Object* frameObjHitWalk(int x, int y, int w, int h, const Object* self) const;
  // The drawn rectangle of a frame object, the area frameObjHit tests
  // (false without an animation, with collisions off or an empty image).
  static bool imageBox(const Object& o, CollisionGrid::Box& box);

  // Block value at a pixel relative to the frame's top-left corner (0 when
  // the frame has no blocks or the pixel is outside it).
  uint8_t cellAt(int lx, int ly) const {
    if (!hasCells() || lx < 0 || ly < 0 || lx >= kWidth || ly >= kHeight) return 0;
    return cells[static_cast<size_t>((ly / kBlock) * kCols + lx / kBlock)];
  }
  bool hasCells() const { return cells.size() >= static_cast<size_t>(kCells); }

  StatBuff buffer;
  uint32_t id;
  std::string name;            // base name of the block file; empty = none
  std::vector<uint8_t> cells;  // kCells bytes row by row, or empty
  Sprite* blockSprite;
  Sprite* skybox;
  int fx, fy;
  int layer;
  float parallaxX, parallaxY;
  bool dirty = true;
  OwnedList<Object> objs;
  // Particles of this frame, not owned (nothing adds to it yet).
  std::vector<Object*> parts;

 private:
  void rebuildBlocks();
  void drawContents();

  mutable ObjectIndex index_{&Frame::imageBox};
};
