// The world: the level's frames with their blocks, its objects and bounds,
// and the collision queries the physics step asks of them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <tuple>

#include "world/frame.h"
#include "world/object.h"
#include "world/owned_list.h"

class Resfile;
class Sprite;

// Grid position and layer of a frame.
struct FrameKey {
  int fx, fy, layer;
  bool operator<(const FrameKey& o) const {
    return std::tie(fx, fy, layer) < std::tie(o.fx, o.fy, o.layer);
  }
};

// Rounds towards minus infinity (pixel -1 lies in frame -1).
inline int floorDiv(int a, int b) {
  const int q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

class Level {
 public:
  Level() = default;
  ~Level();
  Level(const Level&) = delete;
  Level& operator=(const Level&) = delete;

  // --- frames ----------------------------------------------------------
  // Returns the frame already at (fx, fy, layer) untouched, or makes a new
  // one (taking over the sprite references) and grows the bounds.
  Frame* addFrame(uint32_t id, const char* name, Sprite* blockSprite, Sprite* skybox, int fx,
                  int fy, int layer, float parallaxX, float parallaxY);
  // Reads the frame's block file (base name + ".bin"); see level.cpp.
  bool loadFrame(Frame* frame, const char* name);
  void delFrame(Frame* frame);
  Frame* findFrame(int fx, int fy, int layer) const;
  // The frame of `layer` that holds level pixel (px, py), or null.
  Frame* frameAt(int px, int py, int layer) const;
  // Frames by layer, greatest first, keeping the order of equal layers.
  void sortFrames();

  // --- collision queries -------------------------------------------------
  bool blockAt(int px, int py, int layer, bool precise) const;
  // Mode bit 1: every pixel instead of every 32nd; bit 2: mask-precise.
  bool blockHit(int x, int y, int layer, int w, int h, int mode) const;
  // First level object (list order) whose collision box overlaps the area.
  Object* objHit(int x, int y, int w, int h, const Object* self) const;
  // First level object whose collision box contains the point.
  Object* objAt(int px, int py, const Object* self) const;

  // --- objects -------------------------------------------------------------
  // Both take over the sprite reference; null without a sprite.
  Object* addObj(uint32_t id, int x, int y, int z, int hp, Sprite* sprite);
  Object* addFrameObj(uint32_t id, int x, int y, int z, int hp, Sprite* sprite);
  // Adds an object made elsewhere (characters, the player's character).
  Object* adoptObj(std::unique_ptr<Object> obj);
  void delObj(Object* obj);
  void delFrameObj(Object* obj);
  // The first object with `id` among the non-null entries counted from 0
  // whose count is at least `start`.
  Object* getObj(uint32_t id, uint32_t start = 0) const;
  Object* getFrameObj(uint32_t frameId, uint32_t objId, uint32_t start = 0) const;
  uint32_t countObjs() const;

  // --- per game frame ------------------------------------------------------
  // Steps every frame (with its frame objects), then every level object.
  void updateWorld();
  // Destroys frames and objects and zeroes the bounds.
  void clearWorld();

  // Archive part of `name` (the level's own archive for block files).
  std::string archivePath() const;

  OwnedList<Frame> frames;     // drawing order
  OwnedList<Object> objs;      // level objects and characters
  OwnedList<Object> parts;     // particles
  OwnedList<Object> bullets;
  std::map<FrameKey, Frame*> frameMap;
  std::string name;  // "archive:entry" of the level
  int left = 0, top = 0, right = 0, bottom = 0, width = 0, height = 0;
  // Reader for block files; the shared one when null.
  Resfile* reader = nullptr;

 private:
  // One-entry memo of the last frame looked up by blockAt: the physics asks
  // for the same frame many times in a row.
  mutable FrameKey lastKey_{0, 0, 0};
  mutable Frame* lastFrame_ = nullptr;
  mutable bool lastValid_ = false;
};
