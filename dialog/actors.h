// The actors a conversation decorates itself with. Each fades in, may end
// by itself after a lifetime, fades out when its time is up or when a kill
// command names its id, and is removed by the dialog once invisible.
// Included at the end of dialog/dialog.h.
#pragma once

#include <cstdint>

#include "render/sprite.h"
#include "render/text.h"

class Level;
class Npc;

class Dialog::NpcFadingObj {
 public:
  explicit NpcFadingObj(float lifeSeconds) : life(lifeSeconds) {}
  virtual ~NpcFadingObj() = default;
  virtual void update();
  void kill() { state = 2; }
  // Fading out and no longer visible: the dialog drops it.
  bool gone() const { return state == 2 && alpha < 1.0f; }

  uint32_t state = 0;  // 0 fading in, 1 shown, 2 fading out
  float alpha = 0;
  float life = 0;  // seconds left; 0 or less = until killed
};

class Dialog::NpcAnimatedObj {
 public:
  // Takes over the reference `sprite` came with (from Sprite::get).
  NpcAnimatedObj(Sprite* sprite, uint32_t animIdx);
  // The new actor takes over the reference and restarts at frame 0.
  NpcAnimatedObj(NpcAnimatedObj&& other) noexcept;
  NpcAnimatedObj(const NpcAnimatedObj&) = delete;
  NpcAnimatedObj& operator=(const NpcAnimatedObj&) = delete;
  virtual ~NpcAnimatedObj();
  virtual void update();
  // Looks the animation and frame up again after the sprite was re-read.
  void rebindAnim();

  Sprite* sprite = nullptr;
  const Sprite::Anim* anim = nullptr;
  const Sprite::Frame* frame = nullptr;
  uint32_t animIdx = 0;
  uint32_t frameIdx = 0;
  uint32_t fps = 0;  // 0 = the animation's own speed
  float frameTime = 0;
  bool ownsSprite = false;

 protected:
  void drawAt(int x, int y, float z, float cam, float alpha);
};

class Dialog::NpcPicture : public Dialog::NpcFadingObj, public Dialog::NpcAnimatedObj {
 public:
  NpcPicture(int32_t id, int32_t x, int32_t y, Sprite* sprite, float life);
  NpcPicture(NpcPicture&&) noexcept = default;
  void update() override;
  void draw();

  int32_t id;
  int32_t x, y;
};

class Dialog::NpcEmot : public Dialog::NpcFadingObj, public Dialog::NpcAnimatedObj {
 public:
  // `npc` is the character in `slot` of `lvl` (or null): the emoticon sits
  // on its head while that slot still holds it, and stays where it was
  // once the character is gone.
  NpcEmot(int32_t id, Npc* npc, int32_t x, int32_t y, Sprite* sprite, float life,
          Level* lvl = nullptr, uint32_t slot = 0);
  NpcEmot(NpcEmot&&) noexcept = default;
  void update() override;
  void draw();

  Npc* npc;
  int32_t id;
  int32_t x, y;
  Level* lvl;
  uint32_t slot;
};

class Dialog::NpcText : public Dialog::NpcFadingObj {
 public:
  // Takes over the font reference (from Sprite::get).
  NpcText(int32_t id, const char* str, int x, int y, Sprite* font, float life, int width,
          int height, float camX, float camY);
  NpcText(const NpcText&) = default;
  void update() override;
  void draw();

  Text text;
  int32_t id;
};
