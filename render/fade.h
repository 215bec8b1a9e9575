// Whole-screen pictures laid over the world and faded in and out: the
// loading picture, the fade-in of a level and the (cross-)fades scripts and
// dialogs ask for. The frame loop draws the list once per frame, after the
// level and before the dialog.
#pragma once

#include <cstdint>
#include <vector>

class Sprite;

struct FadeEntry {
  Sprite* sprite = nullptr;  // holds the reference the caller got from Sprite::get
  float alpha = 0;           // current opacity, 0..255
  uint8_t target = 0;        // opacity the entry moves toward
};

class Fades {
 public:
  // Opacity units per second.
  static constexpr float kSpeed = 255.0f;

  // The program's fade list.
  static Fades& instance();

  Fades() = default;
  // Drops the entries without giving their references back: the program's
  // list outlives the sprite cache.
  ~Fades() = default;
  Fades(const Fades&) = delete;
  Fades& operator=(const Fades&) = delete;

  // Replaces every entry by one that moves from `from` to `to`.
  void set(Sprite* sprite, uint8_t from, uint8_t to);
  // Puts a new entry in front; the older ones fade out behind it.
  void add(Sprite* sprite, uint8_t from, uint8_t to);
  // Advances every entry by one frame of game::dt and draws it.
  void draw();
  // Removes every entry and gives back its sprite reference.
  void clear();

  const std::vector<FadeEntry>& entries() const { return entries_; }

 private:
  std::vector<FadeEntry> entries_;  // front first
};

// An opacity asked for by a script or a dialog line: values outside 0..255
// are held at the nearest end (256 is opaque, -1 invisible), never cut to
// their low byte.
inline uint8_t fadeOpacity(int32_t value) {
  return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

void setFade(Sprite* sprite, uint8_t from, uint8_t to);
void addFade(Sprite* sprite, uint8_t from, uint8_t to);
void drawFade();
