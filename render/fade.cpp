#include "render/fade.h"

#include <algorithm>

#include "base/globals.h"
#include "render/camera.h"
#include "render/sprite.h"

namespace {

constexpr float kFadeZ = -998.0f;

uint8_t opacityByte(float a) {
  if (!(a > -2.0e9f && a < 2.0e9f)) return 0;
  return static_cast<uint8_t>(static_cast<int>(a));
}

void drawPicture(Sprite* sprite, float alpha, float scaleX, float scaleY) {
  Sprite::draw(Sprite::batch(), sprite, 0.0f, 0.0f, kFadeZ, 0, 0, opacityByte(alpha), 0.0f, 0.0f,
               0.0f, scaleX, scaleY);
}

}  // namespace

Fades& Fades::instance() {
  static Fades fades;
  return fades;
}

void Fades::clear() {
  std::vector<FadeEntry> old;
  old.swap(entries_);
  for (const FadeEntry& e : old) Sprite::release(e.sprite);
}

void Fades::set(Sprite* sprite, uint8_t from, uint8_t to) {
  // The replaced entries give their references back; a sprite that comes
  // again stays alive through the caller's new reference.
  std::vector<FadeEntry> old;
  old.swap(entries_);
  entries_.push_back(FadeEntry{sprite, static_cast<float>(from), to});
  for (const FadeEntry& e : old) Sprite::release(e.sprite);
}

void Fades::add(Sprite* sprite, uint8_t from, uint8_t to) {
  entries_.insert(entries_.begin(), FadeEntry{sprite, static_cast<float>(from), to});
}

void Fades::draw() {
  if (entries_.empty()) return;
  const float step = kSpeed * game::dt;

  if (entries_.size() == 1) {
    FadeEntry& e = entries_.front();
    if (!e.sprite) {
      entries_.clear();
      return;
    }
    const float target = e.target;
    if (target > e.alpha)
      e.alpha += std::min(target - e.alpha, step);
    else if (target < e.alpha)
      e.alpha -= std::min(e.alpha - target, step);
    // The only picture covers the screen whatever its size.
    Sprite* s = e.sprite;
    const float sx = s->width == Camera::kWidth ? 1.0f : Camera::kWidth / s->width;
    const float sy = s->height == Camera::kHeight ? 1.0f : Camera::kHeight / s->height;
    drawPicture(s, e.alpha, sx, sy);
    Sprite::flush(s);
    return;
  }

  // A cross-fade: the front picture rises, every older one sinks and goes
  // once it is gone.
  FadeEntry& front = entries_.front();
  const float target = front.target;
  if (target - front.alpha > step)
    front.alpha += step;
  else
    front.alpha = target;
  if (front.sprite) drawPicture(front.sprite, front.alpha, 1.0f, 1.0f);

  std::vector<Sprite*> gone;
  for (size_t i = 1; i < entries_.size();) {
    FadeEntry& e = entries_[i];
    if (!e.sprite) {
      ++i;
      continue;
    }
    if (e.alpha > 0.0f) {
      e.alpha = e.alpha > step ? e.alpha - step : 0.0f;
      drawPicture(e.sprite, e.alpha, 1.0f, 1.0f);
      ++i;
    } else {
      gone.push_back(e.sprite);
      entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
  Sprite::flush();
  // Released after the flush, so that the pictures drawn this frame reach
  // the screen before any of them can be destroyed.
  for (Sprite* s : gone) Sprite::release(s);
}

void setFade(Sprite* sprite, uint8_t from, uint8_t to) { Fades::instance().set(sprite, from, to); }

void addFade(Sprite* sprite, uint8_t from, uint8_t to) { Fades::instance().add(sprite, from, to); }

void drawFade() { Fades::instance().draw(); }
