#include <algorithm>
#include <cmath>

#include "base/globals.h"
#include "dialog/dialog.h"
#include "world/level.h"
#include "world/npc.h"

namespace {

uint8_t alphaByte(float a) {
  if (!(a > 0.0f)) return 0;
  return a >= 255.0f ? 255 : static_cast<uint8_t>(a);
}

int truncPixel(float v) {
  if (!(v > -2147483648.0f)) return v != v ? 0 : INT32_MIN;
  if (v >= 2147483647.0f) return INT32_MAX;
  return static_cast<int>(v);
}

}  // namespace

// --- fading part ------------------------------------------------------------

void Dialog::NpcFadingObj::update() {
  const float step = Dialog::kFadeSpeed * game::dt;
  if (state == 0) {
    alpha += step;
    if (alpha >= 255.0f) {
      alpha = 255.0f;
      state = 1;
    }
  } else if (state == 2) {
    alpha = std::max(0.0f, alpha - step);
  }
  if (life > 0) {
    // Fading out takes half a second: start it that long before the end.
    if (life < 0.5f) state = 2;
    life = std::max(0.0f, life - game::dt);
  }
}

// --- animated part ------------------------------------------------------------

Dialog::NpcAnimatedObj::NpcAnimatedObj(Sprite* s, uint32_t idx)
    : sprite(s), animIdx(idx), ownsSprite(s != nullptr) {
  if (sprite) {
    anim = sprite->getAnim(animIdx);
    if (anim && !anim->frames.empty()) frame = &anim->frames[0];
  }
}

Dialog::NpcAnimatedObj::NpcAnimatedObj(NpcAnimatedObj&& o) noexcept
    : sprite(o.sprite), anim(o.anim), animIdx(o.animIdx), fps(o.fps), ownsSprite(o.ownsSprite) {
  o.ownsSprite = false;
  frame = anim && !anim->frames.empty() ? &anim->frames[0] : nullptr;
}

Dialog::NpcAnimatedObj::~NpcAnimatedObj() {
  if (ownsSprite && sprite) Sprite::release(sprite);
}

void Dialog::NpcAnimatedObj::rebindAnim() {
  anim = sprite ? sprite->getAnim(animIdx) : nullptr;
  if (!anim || frameIdx >= anim->frames.size()) frameIdx = 0;
  frame = anim && !anim->frames.empty() ? &anim->frames[frameIdx] : nullptr;
}

void Dialog::NpcAnimatedObj::update() {
  if (!anim || anim->frames.size() < 2) return;
  const auto count = static_cast<uint32_t>(anim->frames.size());
  frameTime += static_cast<float>(fps ? fps : anim->speed) * game::dt;
  if (frameTime >= 1.0f) {
    // Whole units step the frame; a long frame time wraps in one go.
    const float whole = std::floor(frameTime);
    frameTime -= whole;
    frameIdx = static_cast<uint32_t>((frameIdx + static_cast<uint64_t>(std::fmod(whole, float(count)))) % count);
  }
  if (frameIdx >= count) frameIdx = 0;
  frame = &anim->frames[frameIdx];
}

void Dialog::NpcAnimatedObj::drawAt(int x, int y, float z, float cam, float alpha) {
  if (!sprite) return;
  Sprite::draw(Sprite::batch(), sprite, static_cast<float>(x), static_cast<float>(y), z, animIdx,
               frameIdx, alphaByte(alpha), cam, cam, 0.0f, 1.0f, 1.0f);
}

// --- picture ------------------------------------------------------------------

Dialog::NpcPicture::NpcPicture(int32_t id_, int32_t x_, int32_t y_, Sprite* s, float lifeSeconds)
    : NpcFadingObj(lifeSeconds), NpcAnimatedObj(s, 0), id(id_), x(x_), y(y_) {}

void Dialog::NpcPicture::update() {
  NpcFadingObj::update();
  NpcAnimatedObj::update();
}

void Dialog::NpcPicture::draw() { drawAt(x, y, -999.0f, 0.0f, alpha); }

// --- emoticon ------------------------------------------------------------------

Dialog::NpcEmot::NpcEmot(int32_t id_, Npc* n, int32_t x_, int32_t y_, Sprite* s,
                         float lifeSeconds, Level* level, uint32_t slot_)
    : NpcFadingObj(lifeSeconds),
      NpcAnimatedObj(s, 0),
      npc(n),
      id(id_),
      x(x_),
      y(y_),
      lvl(level),
      slot(slot_) {}

void Dialog::NpcEmot::update() {
  NpcFadingObj::update();
  NpcAnimatedObj::update();
  if (!npc) return;
  // The level may have destroyed the character meanwhile; only the slot
  // still holding it proves it alive.
  if (!lvl || lvl->npcAt(slot) != npc) {
    npc = nullptr;
    return;
  }
  x = truncPixel(npc->x);
  y = truncPixel(npc->y) - (npc->anim ? static_cast<int>(npc->anim->boxY2) : 0);
}

void Dialog::NpcEmot::draw() { drawAt(x, y, -998.0f, 1.0f, alpha); }

// --- floating text ---------------------------------------------------------------

Dialog::NpcText::NpcText(int32_t id_, const char* str, int x, int y, Sprite* font,
                         float lifeSeconds, int width, int height, float camX, float camY)
    : NpcFadingObj(lifeSeconds),
      text(0, static_cast<float>(x), static_cast<float>(y), -999.0f, camX, camY, font, str, width,
           height, 16, 12, 32),
      id(id_) {
  text.alpha = 0;
}

void Dialog::NpcText::update() {
  NpcFadingObj::update();
  text.layout();
}

void Dialog::NpcText::draw() {
  const uint8_t a = alphaByte(alpha);
  if (alphaByte(text.alpha) != a) {
    text.alpha = a;
    text.dirty = true;
  }
  text.draw();
}
