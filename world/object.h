// The base of everything that lives in a level: position, sprite and
// animation state, and the physics step that moves it through the level's
// blocks and the other objects.
#pragma once

#include <cstddef>
#include <cstdint>

#include "render/sprite.h"

class Level;
class Frame;

// A gravity, air-resistance or ground-resistance value: one per axis.
struct Vec2f {
  float x = 0, y = 0;
};

class Object {
 public:
  // Level-wide physics values; every object points at these until a script
  // gives it its own, so a change here reaches all such objects at once.
  static Vec2f globalGrav;    // px/s^2, default (0, 300)
  static Vec2f globalAirRes;  // 1/s, default (0.02, 0.02)
  static Vec2f globalGndRes;  // px/s^2, default (300, 300)

  // Takes over one cache reference of `sprite` (may be null) and gives it
  // back on destruction. The pair pointers must outlive the object.
  Object(uint32_t id, int x, int y, int z, int hp, Sprite* sprite, Level* lvl, Frame* frameHost,
         Vec2f* grav = &globalGrav, Vec2f* airRes = &globalAirRes, Vec2f* gndRes = &globalGndRes);
  virtual ~Object();
  // Objects of every kind alive in the program (characters, bullets,
  // particles included).
  static size_t liveCount() { return live_; }
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  virtual void update();   // physics step
  virtual void animate();  // animation clock
  virtual void draw();     // queue the current frame in the sprite batch
  virtual void step();     // update, then animate
  virtual void render();   // draw

  void setAnim(uint32_t index);
  void setAnim(const char* name);
  // Looks the current animation and frame up again by their indexes, after
  // the sprite's animations were read anew (an object without a current
  // animation keeps none; a frame index past the end starts over).
  void rebindAnim();
  // Replaces the sprite (taking over the new reference, giving back the old
  // one) and selects its animation 0.
  void setSprite(Sprite* newSprite);

  // Give this object its own value for good.
  void setGrav(float gx, float gy);
  void setAirRes(float ax, float ay);
  void setGndRes(float gx, float gy);

  // Layer of frames whose blocks the object collides with.
  int layer() const;

  uint32_t id;
  float x, y;
  float z;
  int32_t hp;
  Sprite* sprite;
  const Sprite::Anim* anim = nullptr;
  const Sprite::Frame* frame = nullptr;
  uint32_t animIdx = 0;
  uint32_t frameIdx = 0;
  uint32_t animFps = 100;
  float frameTime = 0;
  uint8_t alpha = 255;
  bool colsOn = true;
  bool immobile = false;
  Vec2f* grav;
  Vec2f* airRes;
  Vec2f* gndRes;
  Vec2f ownGrav, ownAirRes, ownGndRes;
  float spdX = 0, spdY = 0;
  float carrySpdX = 0, carrySpdY = 0;
  bool hitTop = false, onGround = false, hitLeft = false, hitRight = false;
  Level* lvl;
  Frame* frameHost;

 private:
  void moveDown(float moveY, int left, int W, int H, int offY);
  void moveUp(float moveY, int left, int W, int offY);
  void moveRight(float moveX, int W, int H, int offX, int offY);
  void moveLeft(float moveX, int H, int offX, int offY);
  void liftOut(int left, int W, int H, int offY);
  void landOn(const Object& o);
  void groundFriction();
  // The first object in the way of the area, or null (always null with
  // collisions off).
  Object* objectInWay(int ax, int ay, int aw, int ah) const;

  static inline size_t live_ = 0;
};

// Truncation of a level position to a pixel, kept inside a range where the
// box arithmetic cannot overflow.
inline int toPixel(float v) {
  if (!(v > -1.0e9f)) return v != v ? 0 : -1000000000;
  if (v > 1.0e9f) return 1000000000;
  return static_cast<int>(v);
}
