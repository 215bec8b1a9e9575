#include "world/particle.h"

#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>

#include "base/globals.h"
#include "base/log.h"
#include "render/sprite.h"
#include "world/level.h"

namespace {

constexpr float kDegToRad = 0.017453292f;
constexpr float kFadeTime = 0.5f;  // seconds of fading before the end

inline float towardZero(float v, float m) { return v < 0 ? v + m : v - m; }
inline float decay(float v, float rate, float dt) {
  return towardZero(v, std::fmin(std::fabs(v), rate * dt));
}

}  // namespace

Particle::Particle(int x_, int y_, int z_, float angle, float speed, float life_,
                   int32_t damage_, Sprite* sprite_, Level* lvl_, Frame* frameHost_)
    : Object(0, x_, y_, z_, 0, sprite_, lvl_, frameHost_), life(life_), damage(damage_) {
  const float a = angle * kDegToRad;
  spdX = std::cos(a) * speed;
  spdY = std::sin(a) * speed;
  // A random starting frame, so that particles of one sprite thrown
  // together do not animate in step.
  if (anim && !anim->frames.empty()) {
    frameIdx = static_cast<uint32_t>(std::rand()) % static_cast<uint32_t>(anim->frames.size());
    frame = &anim->frames[frameIdx];
    frameTime = 0;
  }
}

void Particle::step() {
  life -= game::dt;
  update();
  animate();
}

void Particle::onHit(Object&) {
  setSprite(Sprite::get(kBloodSprite));
  setAnim(0u);
}

bool Particle::blockedAt(int px, int py) {
  if (lvl->blockAt(px, py, layer(), true)) return true;
  // Only the ground layer's particles reach the level's objects.
  if (z != 0.0f || damage == 0) return false;
  Object* o = lvl->objAt(px, py, ignore);
  if (!o) return false;
  if (o->hp < 1) return true;
  // One wound per step: the vertical test would otherwise find the same
  // object the horizontal one has just hit and take its hit points twice.
  if (struck_) return false;
  struck_ = true;
  o->hp -= damage;
  onHit(*o);
  return false;
}

void Particle::update() {
  const float dt = game::dt;
  life -= dt;
  if (life >= 0.0f && life < kFadeTime) alpha = static_cast<uint8_t>(life * 256.0f);

  spdY = spdY + (grav->y - airRes->y * spdY) * dt;
  spdY = decay(spdY, airRes->y, dt);
  spdX = spdX + (grav->x - airRes->x * spdX) * dt;
  spdX = decay(spdX, airRes->x, dt);

  // Without a level there is nothing to collide with: fly freely.
  if (!lvl) {
    x += spdX * dt;
    y += spdY * dt;
    return;
  }
  if (lvl->blockAt(toPixel(x), toPixel(y), layer(), false)) {
    spdX = spdY = 0;
    return;
  }
  struck_ = false;
  if (blockedAt(toPixel(x + spdX * dt), toPixel(y))) spdX = -spdX * 0.5f;
  x += spdX * dt;
  if (blockedAt(toPixel(x), toPixel(y + spdY * dt))) spdY = -spdY * 0.5f;
  y += spdY * dt;
}

Particle* Level::addParticle(int x, int y, int z, float angle, float speed, float life,
                             int32_t damage, Sprite* sprite) {
  if (!sprite) return nullptr;
  try {
    return static_cast<Particle*>(parts.add(
        std::make_unique<Particle>(x, y, z, angle, speed, life, damage, sprite, this, nullptr)));
  } catch (const std::bad_alloc&) {
    Log::fail("Level.addParticle: Nie udalo sie stworzyc nowego particle");
    Sprite::release(sprite);
    return nullptr;
  }
}
