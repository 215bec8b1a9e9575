#include "world/bullet.h"

#include <memory>
#include <new>

#include "base/log.h"
#include "world/level.h"

Bullet::Bullet(int x_, int y_, int z_, float angle, float speed, float life_, int32_t damage_,
               int32_t hits, Sprite* sprite_, Level* lvl_, const Object* shooter)
    : Particle(x_, y_, z_, angle, speed, life_, damage_, sprite_, lvl_, nullptr),
      count(hits < 1 ? 1 : hits) {
  ignore = shooter;
}

void Bullet::step() {
  Particle::step();
  if (life <= 0.0f) count = 0;
}

void Bullet::onHit(Object& o) {
  Particle::onHit(o);
  // A spent bullet harms nothing more in the rest of its last step.
  if (--count < 1) damage = 0;
}

Bullet* addBullet(Level& lvl, int x, int y, int z, float angle, float speed, float life,
                  int32_t damage, int32_t hits, Sprite* sprite, const Object* shooter) {
  if (!sprite) return nullptr;
  try {
    return static_cast<Bullet*>(lvl.bullets.add(std::make_unique<Bullet>(
        x, y, z, angle, speed, life, damage, hits, sprite, &lvl, shooter)));
  } catch (const std::bad_alloc&) {
    Log::fail("Level.addBullet: Nie udalo sie stworzyc nowego pocisku");
    Sprite::release(sprite);
    return nullptr;
  }
}
