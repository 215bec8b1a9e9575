// Short-lived objects thrown in a direction: they fall, bounce off blocks
// losing half their speed, fade out over their last half second and, when
// they carry damage, wound what they fly into and turn into a blood splash.
#pragma once

#include <cstdint>

#include "world/object.h"

class Particle : public Object {
 public:
  // The blood splash a damaging particle turns into.
  static constexpr const char* kBloodSprite = "data/gfx.crs:krew01";

  // angle in degrees (0 right, 90 down), speed in px/s, life in seconds.
  // Takes over the sprite reference like Object.
  Particle(int x, int y, int z, float angle, float speed, float life, int32_t damage,
           Sprite* sprite, Level* lvl, Frame* frameHost);

  void update() override;  // fading, falling, bouncing, hitting
  // Life runs down here and once more in update: twice the clock's rate.
  void step() override;

  float life;
  int32_t damage;
  // An object the particle flies through unharmed (a bullet's shooter);
  // only compared, never read.
  const Object* ignore = nullptr;

 protected:
  // A damaging hit has taken `damage` from `o`.
  virtual void onHit(Object& o);

 private:
  // One axis of the move: true when the next position on that axis is
  // blocked (by a block, or by an object without hit points).
  bool blockedAt(int px, int py);
  bool struck_ = false;  // has wounded something in this update
};
