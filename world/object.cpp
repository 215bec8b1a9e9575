#include "world/object.h"

#include <cmath>
#include <cstdint>

#include "base/globals.h"
#include "world/frame.h"
#include "world/level.h"

Vec2f Object::globalGrav{0.0f, 300.0f};
Vec2f Object::globalAirRes{0.02f, 0.02f};
Vec2f Object::globalGndRes{300.0f, 300.0f};

namespace {

// Moves v towards zero by m (m is at most |v| at every call site, so the
// sign never flips).
inline float towardZero(float v, float m) { return v < 0 ? v + m : v - m; }

// Moves beyond this (px/s) would cross hundreds of screens per second: a
// script or definition gone wrong. Capping them keeps the sub-step loops,
// which run once per unit of speed, short; NaN and infinities do not move.
constexpr float kMaxMove = 100000.0f;

// std::fmin, written out so that it compiles to a few instructions instead
// of a library call in the middle of every step: the smaller of two numbers,
// the second when they compare equal, the one that is a number when the
// other is not.
inline float minOf(float x, float y) { return x < y ? x : (y != y ? x : y); }

inline float saneMove(float v) {
  if (!std::isfinite(v)) return 0.0f;
  // Both bounds are numbers and v is finite here.
  return v > kMaxMove ? kMaxMove : v < -kMaxMove ? -kMaxMove : v;
}

inline float decay(float v, float rate, float dt) {
  return towardZero(v, minOf(std::fabs(v), rate * dt));
}

const Sprite::Frame* frameOf(const Sprite::Anim* a, uint32_t idx) {
  if (!a || idx >= a->frames.size()) return nullptr;
  return &a->frames[idx];
}

}  // namespace

Object::Object(uint32_t id_, int x_, int y_, int z_, int hp_, Sprite* sprite_, Level* lvl_,
               Frame* frameHost_, Vec2f* grav_, Vec2f* airRes_, Vec2f* gndRes_)
    : id(id_),
      x(static_cast<float>(x_)),
      y(static_cast<float>(y_)),
      z(static_cast<float>(z_)),
      hp(hp_),
      sprite(sprite_),
      grav(grav_ ? grav_ : &globalGrav),
      airRes(airRes_ ? airRes_ : &globalAirRes),
      gndRes(gndRes_ ? gndRes_ : &globalGndRes),
      lvl(lvl_),
      frameHost(frameHost_) {
  ++live_;
  if (sprite) {
    anim = sprite->getAnim(0);
    if (anim) {
      animFps = anim->speed;
      frame = frameOf(anim, 0);
    }
  }
}

Object::~Object() {
  --live_;
  Sprite::release(sprite);
}

int Object::layer() const { return toPixel(z); }

// --- animation -----------------------------------------------------------

void Object::rebindAnim() {
  if (!sprite || !anim) return;
  anim = sprite->getAnim(animIdx);
  if (!anim || frameIdx >= anim->frames.size()) {
    frameIdx = 0;
    frameTime = 0;
  }
  frame = frameOf(anim, frameIdx);
}

void Object::setAnim(uint32_t index) {
  if (!sprite) return;
  animIdx = index;
  const Sprite::Anim* a = sprite->getAnim(index);
  if (a != anim) {
    anim = a;
    frameIdx = 0;
    frameTime = 0;
    // Without an animation the frame is dropped as well: it may belong to a
    // sprite that is about to be released.
    frame = frameOf(a, 0);
  } else if (!a) {
    frameIdx = 0;
    frameTime = 0;
  }
}

void Object::setAnim(const char* name) {
  if (!sprite) return;
  const Sprite::Anim* a = sprite->findAnim(name);
  if (a == anim) return;
  anim = a;
  frameIdx = 0;
  frameTime = 0;
  frame = frameOf(a, 0);
  if (a) {
    int idx = sprite->indexOf(a);
    if (idx >= 0) animIdx = static_cast<uint32_t>(idx);
  }
}

void Object::setSprite(Sprite* newSprite) {
  Sprite* old = sprite;
  sprite = newSprite;
  if (newSprite != old) {
    // The animation records belong to the old sprite, which may be
    // destroyed by the release below: never keep pointing into it.
    anim = nullptr;
    frame = nullptr;
  }
  if (sprite) {
    setAnim(0u);
  } else {
    frameIdx = 0;
    frameTime = 0;
  }
  Sprite::release(old);
}

void Object::setGrav(float gx, float gy) {
  ownGrav = {gx, gy};
  grav = &ownGrav;
}

void Object::setAirRes(float ax, float ay) {
  ownAirRes = {ax, ay};
  airRes = &ownAirRes;
}

void Object::setGndRes(float gx, float gy) {
  ownGndRes = {gx, gy};
  gndRes = &ownGndRes;
}

void Object::animate() {
  if (!anim || anim->frames.size() < 2) return;
  // The shared clock takes all whole steps at once (a huge speed from a bad
  // definition cannot spin) and holds the last frame when the loop frame
  // lies past the end.
  advanceAnimClock(frameTime, frameIdx, *anim, static_cast<float>(animFps), game::dt);
  frame = &anim->frames[frameIdx];
}

void Object::draw() {
  if (!sprite) return;
  const float px = frameHost ? frameHost->parallaxX : 1.0f;
  const float py = frameHost ? frameHost->parallaxY : 1.0f;
  Sprite::draw(Sprite::batch(), sprite, static_cast<float>(toPixel(x)),
               static_cast<float>(toPixel(y)), z, animIdx, frameIdx, alpha, px, py, 0.0f, 1.0f,
               1.0f);
}

void Object::step() {
  update();
  animate();
}

void Object::render() { draw(); }

// --- physics -------------------------------------------------------------

Object* Object::objectInWay(int ax, int ay, int aw, int ah) const {
  if (!colsOn) return nullptr;
  if (frameHost) return frameHost->frameObjHit(ax, ay, aw, ah, this);
  return lvl->objHit(ax, ay, aw, ah, this);
}

void Object::groundFriction() {
  if (spdX != 0.0f) spdX = decay(spdX, gndRes->x, game::dt);
}

void Object::landOn(const Object& o) {
  // The test reads the platform's carried vertical speed, not its own
  // vertical speed: a platform that only moves up and down hands nothing on.
  if (std::fabs(o.spdX) > 0.1f || std::fabs(o.carrySpdY) > 0.1f) {
    carrySpdX = o.spdX + o.carrySpdX;
    carrySpdY = o.spdY + o.carrySpdY;
  } else {
    carrySpdX = 0;
    carrySpdY = 0;
  }
  groundFriction();
  spdY = 0;
  onGround = true;
}

void Object::update() {
  if (!lvl || !anim || !frame) return;
  hitTop = onGround = hitLeft = hitRight = false;
  const float dt = game::dt;

  if (!immobile) {
    spdY = spdY + (grav->y - airRes->y * spdY) * dt;
    spdY = decay(spdY, airRes->y, dt);
    spdX = spdX + (grav->x - airRes->x * spdX) * dt;
    spdX = decay(spdX, airRes->x, dt);
  }

  // The move is fixed before any collision changes the speeds.
  const float moveY = saneMove(spdY + carrySpdY);
  const float moveX = saneMove(spdX + carrySpdX);

  // Carried speed fades with the horizontal air resistance on both axes.
  carrySpdX = decay(carrySpdX, airRes->x, dt);
  carrySpdY = decay(carrySpdY, airRes->x, dt);

  const int W = static_cast<int>(anim->boxX2);
  const int H = static_cast<int>(anim->boxY2);
  const int offX = static_cast<int>(frame->offsetX);
  const int offY = static_cast<int>(frame->offsetY);
  const int left = toPixel(x) + static_cast<int>(anim->boxX1) - offX;

  if (moveY > 0)
    moveDown(moveY, left, W, H, offY);
  else if (moveY < 0)
    moveUp(moveY, left, W, offY);

  if (moveX > 0)
    moveRight(moveX, W, H, offX, offY);
  else if (moveX < 0)
    moveLeft(moveX, H, offX, offY);

  liftOut(left, W, H, offY);
}

void Object::moveDown(float moveY, int left, int W, int H, int offY) {
  if (y >= static_cast<float>(lvl->bottom)) {
    spdY = 0;
    return;
  }
  const float dt = game::dt;
  const int L = layer();
  const int boxY1 = static_cast<int>(anim->boxY1);
  const int d = static_cast<int>(std::ceil(moveY * dt));
  int below = toPixel(y) + boxY1 - offY + H;
  if (!lvl->blockHit(left, below, L, W, d, 1) && !objectInWay(left, below, W, d)) {
    y += moveY * dt;
    return;
  }
  // Something is near: creep down one pixel row at a time with exact masks.
  int64_t n = 0;
  while (static_cast<float>(n) < moveY) {
    below = toPixel(y) + boxY1 - offY + H;
    if (lvl->blockHit(left, below, L, W, 1, 3)) {
      groundFriction();
      carrySpdX = carrySpdY = 0;
      spdY = 0;
      onGround = true;
      return;
    }
    // Objects below do not hold up an immobile object.
    if (!immobile) {
      if (Object* o = objectInWay(left, below, W, 1)) {
        landOn(*o);
        return;
      }
    }
    const int t = toPixel(y);
    while (static_cast<float>(n) < moveY) {
      y += dt;
      ++n;
      if (toPixel(y) != t) break;
    }
    ++n;
  }
}

void Object::moveUp(float moveY, int left, int W, int offY) {
  const float dt = game::dt;
  const int L = layer();
  const int boxY1 = static_cast<int>(anim->boxY1);
  const float u = -moveY;
  const int d = static_cast<int>(std::ceil(u * dt));
  int above = toPixel(y) + boxY1 - offY - 1;
  if (!lvl->blockHit(left, above - d + 1, L, W, d, 1) && !objectInWay(left, above - d + 1, W, d)) {
    y += moveY * dt;
    return;
  }
  int64_t n = 0;
  while (static_cast<float>(n) < u) {
    above = toPixel(y) + boxY1 - offY - 1;
    if (lvl->blockHit(left, above, L, W, 1, 3)) {
      groundFriction();
      spdY = 0;
      carrySpdY = 0;
      hitTop = true;
      return;
    }
    if (!immobile && objectInWay(left, above, W, 1)) {
      spdY = 0;
      groundFriction();
      carrySpdY = 0;
      hitTop = true;
      return;
    }
    const int t = toPixel(y);
    while (static_cast<float>(n) < u) {
      y -= dt;
      ++n;
      if (toPixel(y) != t) break;
    }
    ++n;
  }
}

// Sideways collision with an object: pushing it, or being stopped by it.
static void push(Object& mover, Object& o) {
  if (o.immobile && o.spdX == 0.0f) {
    mover.spdX = 0;
    mover.carrySpdX = 0;
  } else {
    if (!mover.immobile) mover.spdX = (mover.spdX + o.spdX) * 0.5f;
    mover.carrySpdX = 0;
    if (!o.immobile) o.spdX = mover.spdX;
  }
  o.carrySpdX = 0;
}

// The horizontal probes leave out the box's lowest 6 rows: steps and slopes
// up to that height are walked into and the lifting pass raises the object.
void Object::moveRight(float moveX, int W, int H, int offX, int offY) {
  const float dt = game::dt;
  const int L = layer();
  const int boxX1 = static_cast<int>(anim->boxX1);
  const int top = toPixel(y) + static_cast<int>(anim->boxY1) - offY;
  const int rows = H - 6;
  const int d = static_cast<int>(std::ceil(moveX * dt));
  int col = toPixel(x) + boxX1 - offX + W;
  if (!lvl->blockHit(col, top, L, d, rows, 1) && !objectInWay(col, top, d, rows)) {
    x += moveX * dt;
    return;
  }
  const float limit = std::ceil(moveX);
  int64_t n = 0;
  while (static_cast<float>(n) < limit) {
    col = toPixel(x) + boxX1 - offX + W;
    if (lvl->blockHit(col, top, L, 1, rows, 3)) {
      spdX = 0;
      carrySpdX = 0;
      hitRight = true;
      return;
    }
    if (Object* o = objectInWay(col, top, 1, rows)) {
      push(*this, *o);
      hitRight = true;
      return;
    }
    const int t = toPixel(x);
    while (static_cast<float>(n) < moveX) {
      x += dt;
      ++n;
      if (toPixel(x) != t) break;
    }
    ++n;
  }
}

void Object::moveLeft(float moveX, int H, int offX, int offY) {
  const float dt = game::dt;
  const int L = layer();
  const int boxX1 = static_cast<int>(anim->boxX1);
  const int top = toPixel(y) + static_cast<int>(anim->boxY1) - offY;
  const int rows = H - 6;
  const float u = -moveX;
  const int d = static_cast<int>(std::ceil(u * dt));
  int col = toPixel(x) + boxX1 - offX - 1;
  if (!lvl->blockHit(col - d + 1, top, L, d, rows, 1) && !objectInWay(col - d + 1, top, d, rows)) {
    x += moveX * dt;
    return;
  }
  const float limit = std::ceil(u);
  int64_t n = 0;
  while (static_cast<float>(n) < limit) {
    col = toPixel(x) + boxX1 - offX - 1;
    if (lvl->blockHit(col, top, L, 1, rows, 3)) {
      spdX = 0;
      carrySpdX = 0;
      hitLeft = true;
      return;
    }
    if (Object* o = objectInWay(col, top, 1, rows)) {
      push(*this, *o);
      hitLeft = true;
      return;
    }
    const int t = toPixel(x);
    while (static_cast<float>(n) < u) {
      x -= dt;
      ++n;
      if (toPixel(x) != t) break;
    }
    ++n;
  }
}

// `left` is the box's left column from before the horizontal move.
void Object::liftOut(int left, int W, int H, int offY) {
  const int L = layer();
  const int boxY1 = static_cast<int>(anim->boxY1);
  for (int i = 0; i < 64; ++i) {
    if (!lvl->blockHit(left + 1, toPixel(y) + boxY1 - offY + 1, L, W - 2, H - 1, 2)) break;
    spdY = 0;
    y -= 1.0f;
  }
  if (!colsOn) return;
  if (!frameHost) {
    auto strip = [&] { return lvl->objHit(left + 1, toPixel(y) + boxY1 - offY + H - 1, W - 2, 1, this); };
    if (strip()) {
      for (int i = 0; i < 32; ++i) {
        y -= 1.0f;
        if (!strip()) break;
      }
    }
    return;
  }
  auto area = [&] {
    return frameHost->frameObjHit(left + 1, toPixel(y) + boxY1 - offY + 1, W - 2, H - 1, this);
  };
  Object* o = area();
  if (o && y < static_cast<float>(toPixel(o->y))) {
    for (int i = 0; i < 32; ++i) {
      y -= 1.0f;
      o = area();
      if (!o || y >= static_cast<float>(toPixel(o->y))) break;
    }
  }
}
