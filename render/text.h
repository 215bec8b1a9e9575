// A string drawn with a bitmap font: the font is a sprite whose animation i
// is the glyph of character 32 + i. The glyphs are laid out into the text's
// own StatBuff only when the string changed, and redrawn every frame.
#pragma once

#include <cstdint>
#include <string>

#include "render/statbuff.h"

class Sprite;

class Text {
 public:
  Text() = default;
  // `font` is a reference the caller obtained with Sprite::get; the text
  // keeps it and gives it back when destroyed.
  Text(uint32_t flag, float x, float y, float z, float camX, float camY, Sprite* font,
       const char* str, int width, int height, int lineHeight, int spaceWidth, int tabWidth);
  // Copies the layout settings, takes its own reference to the font (looked
  // up by its cache name) and the string; alpha and align start afresh.
  Text(const Text& other);
  Text& operator=(const Text&) = delete;
  ~Text();

  // Takes over one reference to `sprite` (from Sprite::get) and gives back
  // the one held before.
  void setSprite(Sprite* sprite);
  void setStr(const char* str);
  void setStr(const std::string& str) { setStr(str.c_str()); }
  void addStr(const char* str);
  void addStr(const std::string& str) { addStr(str.c_str()); }
  // Lays the glyphs out when the string changed, then draws them.
  void draw();
  // Lays the glyphs out into the buffer if the string changed (the first
  // half of draw()).
  void layout();

  int lineWidth(const char* str) const;
  int wordWidth(const char* str) const;

  // The string, or null when the text has none.
  const char* str() const { return hasStr_ ? str_.c_str() : nullptr; }
  const StatBuff& buffer() const { return buffer_; }

  uint32_t flag = 0;
  float x = 0, y = 0;
  float z = 0;
  float camX = 0, camY = 0;
  float alpha = 255.0f;
  Sprite* font = nullptr;
  bool dirty = true;
  int width = 640;
  int height = 480;
  int lineHeight = 16;
  int spaceWidth = 8;
  int tabWidth = 32;
  int align = 0;  // 0 left, 1 centred, 2 right

 private:
  int lineStart(const char* from) const;
  int advance(unsigned char c) const;

  StatBuff buffer_;
  std::string str_;
  bool hasStr_ = false;
};
