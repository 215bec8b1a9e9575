// Projectiles: particles that live in the level's bullet list and are
// dropped by a count of the hits they may still deal (0 once their life
// runs out), so one bullet can pass through several targets or stop at the
// first.
#pragma once

#include <cstdint>

#include "world/particle.h"

class Bullet : public Particle {
 public:
  // `hits` at least 1 (smaller values give 1); `shooter` is never hit by
  // its own bullet.
  Bullet(int x, int y, int z, float angle, float speed, float life, int32_t damage,
         int32_t hits, Sprite* sprite, Level* lvl, const Object* shooter);

  void step() override;

  int32_t count;

 protected:
  void onHit(Object& o) override;
};

// Appends a bullet to the level's list; null (and the sprite reference
// given back) without a sprite.
Bullet* addBullet(Level& lvl, int x, int y, int z, float angle, float speed, float life,
                  int32_t damage, int32_t hits, Sprite* sprite, const Object* shooter = nullptr);
