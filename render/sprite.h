// Shared images: a GL texture from a PNG, a one-byte-per-pixel collision
// mask and a list of animations, cached by resource name and reference
// counted. All drawing of images goes through Sprite::draw into a batch.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "render/sprite_vertex.h"

class Sprite {
 public:
  struct Frame {
    uint32_t offsetX = 0, offsetY = 0;    // anchor
    uint32_t offsetX2 = 0, offsetY2 = 0;  // second point (weapon)
  };
  struct Anim {
    std::vector<Frame> frames;
    uint32_t x = 0, y = 0, w = 0, h = 0;
    uint32_t speed = 100;
    uint32_t loopFrame = 0;
    uint32_t boxX1 = 0, boxY1 = 0, boxX2 = 0, boxY2 = 0;
  };

  Sprite();
  ~Sprite();
  Sprite(const Sprite&) = delete;
  Sprite& operator=(const Sprite&) = delete;

  // --- the cache -------------------------------------------------------
  static Sprite* get(const char* name);
  static Sprite* get(const std::string& name) { return get(name.c_str()); }
  static Sprite* load(const char* name);
  static Sprite* load(const std::string& name) { return load(name.c_str()); }
  static void release(Sprite* sprite);
  static void clear();
  // Destroys the cached sprites nobody holds a reference to (preloaded
  // ones never taken, say) and returns how many went; sprites in use stay.
  static size_t clearUnused();
  // Makes every cached sprite's texture anew, for a new GL context: the old
  // names are not deleted, as they belonged to the context that is gone
  // (Camera::toggleFullscreen calls it only then).
  static void reload();
  // Reads a cached sprite's image and animations again from its resource
  // (the file changed on disk). The sprite keeps its address and its
  // references; holders of its animation records must look them up again
  // (their old records are gone). False, with the sprite untouched, when
  // the new image or its animations cannot be read or the name is not
  // cached.
  static bool refresh(const std::string& name);
  // Cache keys in order.
  static std::vector<std::string> cachedNames();
  // Cache key of a cached sprite ("" when not cached).
  static std::string nameOf(const Sprite* sprite);
  static size_t cacheSize();
  // Entry name of an archive resource's companion file: "a.crs:x" gives
  // "a.crs:x" + ext; a name whose entry has a dot has its last four
  // characters replaced ("a.crs:x.bmp" with ".png" gives "a.crs:x.png").
  static std::string resourceFileName(const std::string& name, const char* ext);

  // --- drawing ---------------------------------------------------------
  static void draw(VertexArray& out, Sprite* sprite, float x, float y, float z, uint32_t anim,
                   uint32_t frame, uint8_t alpha, float parallaxX, float parallaxY, float angle,
                   float scaleX, float scaleY);
  static void flush(Sprite* sprite);
  static void flush();
  static VertexArray& batch();
  static Sprite* current();
  // Draw calls issued by flushes since start (for tests and statistics).
  static uint64_t drawCalls();

  // --- per sprite ------------------------------------------------------
  bool loadGfx(const char* name);
  bool loadAnims(const char* name);
  // Builds the mask from 32-bit pixels with alpha in the top byte.
  bool loadMask(const uint32_t* pixels, uint32_t w, uint32_t h, uint32_t alphaMask);
  bool isSolid(uint32_t x, uint32_t y, uint32_t anim) const;
  // Every pixel of that frame's image is fully opaque (a quad of it drawn
  // at opacity 255 replaces what is under it). False when unknown.
  bool opaqueFrame(uint32_t anim, uint32_t frame) const;
  const Anim* getAnim(uint32_t index) const;
  const Anim* findAnim(const char* name);
  uint32_t getAnimCount() const { return static_cast<uint32_t>(anims.size()); }
  // Index of an animation record of this sprite, or -1.
  int indexOf(const Anim* anim) const;

  // Reads animation definitions from text (the ".txt" entry's contents).
  // Returns false when the text defines no animation.
  bool parseAnims(const char* text);
  // Replaces the animations by the whole-image animation.
  void setWholeImageAnim();

  // True while a window with an OpenGL context exists; GL calls made by
  // destructors and clean-ups are skipped otherwise (unit tests build
  // sprites by hand without a context, and static objects die after it).
  static bool glReady();
  // True while `sprite` points at a Sprite that has not been destroyed.
  static bool alive(const Sprite* sprite);

  std::vector<Anim> anims;
  std::map<std::string, uint32_t> animsByName;  // name -> index in anims
  uint32_t texture = 0;
  std::vector<uint8_t> mask;  // width * height bytes, 1 = solid; empty = none
  // Beside the mask: 1 where the pixel's alpha is full; empty = unknown.
  std::vector<uint8_t> opaque;

 private:
  bool scanOpaque(uint32_t anim, uint32_t frame) const;
  // opaqueFrame of each animation's first frame, once asked: -1 unknown.
  mutable std::vector<int8_t> opaqueFirst_;

 public:
  uint32_t refs = 0;
  float width = 0, height = 0;
};

// Playback clock of one animation, advanced once per game frame: `timer`
// grows by rate * dt and every whole unit beyond 1 steps `frame`; a frame
// past the end continues at `loopFrame` (clamped to the last frame). An
// animation with one frame or none does not move.
void advanceAnimClock(float& timer, uint32_t& frame, uint32_t frameCount, uint32_t loopFrame,
                      float rate, float dt);
// The same for a sprite's animation: the rate is `ownSpeed` when it is not
// 0, else the animation's own speed.
void advanceAnimClock(float& timer, uint32_t& frame, const Sprite::Anim& anim, float ownSpeed,
                      float dt);
