#include "render/text.h"

#include <cmath>
#include <new>

#include "base/log.h"
#include "render/camera.h"
#include "render/sprite.h"

namespace {

uint8_t opacityByte(float a) {
  // Truncated and cut to the low byte; values no float-to-int conversion
  // can hold count as 0.
  if (!(a > -2.0e9f && a < 2.0e9f)) return 0;
  return static_cast<uint8_t>(static_cast<int>(a));
}

}  // namespace

Text::Text(uint32_t flag_, float x_, float y_, float z_, float camX_, float camY_, Sprite* font_,
           const char* str, int width_, int height_, int lineHeight_, int spaceWidth_,
           int tabWidth_)
    : flag(flag_),
      x(x_),
      y(y_),
      z(z_),
      camX(camX_),
      camY(camY_),
      width(width_),
      height(height_),
      lineHeight(lineHeight_),
      spaceWidth(spaceWidth_),
      tabWidth(tabWidth_) {
  setSprite(font_);
  setStr(str);
}

Text::Text(const Text& other)
    : flag(other.flag),
      x(other.x),
      y(other.y),
      z(other.z),
      camX(other.camX),
      camY(other.camY),
      width(other.width),
      height(other.height),
      lineHeight(other.lineHeight),
      spaceWidth(other.spaceWidth),
      tabWidth(other.tabWidth) {
  if (other.font) {
    // The copy holds a reference of its own, taken through the cache; a
    // font that is not cached leaves the copy without one.
    const std::string name = Sprite::nameOf(other.font);
    if (!name.empty()) {
      if (Sprite* f = Sprite::get(name)) setSprite(f);
    }
  }
  setStr(other.str());
}

Text::~Text() { Sprite::release(font); }

void Text::setSprite(Sprite* sprite) {
  if (!sprite) {
    Log::fail("Text.setSprite: NULL sprite");
    return;
  }
  Sprite* old = font;
  font = sprite;
  buffer_.clear();
  if (!buffer_.init(sprite)) Log::fail("Text.setSprite: Nie udalo sie zainicjowac bufora");
  // Given back last: when the same font comes again, the caller's new
  // reference keeps it alive.
  if (old) Sprite::release(old);
}

void Text::setStr(const char* str) {
  if (!str) {
    Log::fail("Text.setStr: NULL str");
    return;
  }
  try {
    str_.assign(str);
    hasStr_ = true;
  } catch (const std::bad_alloc&) {
    Log::fail("Text.setStr: Nie udalo sie zajac pamieci na tekst");
    str_.clear();
    hasStr_ = false;
  }
  dirty = true;
}

void Text::addStr(const char* str) {
  if (!str) {
    Log::fail("Text.setStr: NULL str");
    return;
  }
  if (!hasStr_) {
    setStr(str);
    return;
  }
  try {
    std::string joined;
    joined.reserve(str_.size() + std::char_traits<char>::length(str) + 1);
    joined.append(str_).append(str);
    str_.swap(joined);
  } catch (const std::bad_alloc&) {
    Log::fail("Text.setStr: Nie udalo sie zajac pamieci na tekst");
    return;
  }
  dirty = true;
}

int Text::advance(unsigned char c) const {
  const Sprite::Anim* a = font->getAnim(static_cast<uint32_t>(c) - 32);
  return a ? static_cast<int>(a->w) + 1 : spaceWidth;
}

int Text::wordWidth(const char* s) const {
  if (!font || !s) return 0;
  const uint32_t glyphs = font->getAnimCount();
  int w = 0;
  // Bytes 128 and above read as negative: they end a word like a space.
  for (; static_cast<signed char>(*s) > 32; ++s) {
    const unsigned char c = static_cast<unsigned char>(*s);
    w += uint32_t(c) - 32 < glyphs ? advance(c) : spaceWidth;
  }
  return w;
}

int Text::lineWidth(const char* s) const {
  if (!font || !s || !*s) return 0;
  const uint32_t glyphs = font->getAnimCount();
  int w = 0;
  bool counted = false;
  for (; *s; ++s) {
    const unsigned char c = static_cast<unsigned char>(*s);
    if (c == '\n' || c == '\r') {
      if (counted) break;
      continue;
    }
    counted = true;
    if (c == ' ') {
      w += spaceWidth;
    } else if (c == '\t') {
      w += tabWidth;
    } else if (c < 32 || uint32_t(c) >= 32 + glyphs) {
      w += spaceWidth;
    } else {
      w += advance(c);
    }
  }
  return w;
}

int Text::lineStart(const char* from) const {
  switch (align) {
    case 1: return static_cast<int>(x + static_cast<float>(width / 2 - lineWidth(from) / 2));
    case 2: return static_cast<int>(x + static_cast<float>(width - lineWidth(from)) - 1.0f);
    default: return static_cast<int>(x);
  }
}

void Text::layout() {
  if (!font || !hasStr_ || !dirty) return;
  dirty = false;
  buffer_.clear();
  const char* s = str_.c_str();
  int penY = static_cast<int>(y);
  int penX = lineStart(s);
  if (*s == 0) return;

  const Camera& cam = Camera::instance();
  const int cx = cam.ix(), cy = cam.iy();
  const uint32_t glyphs = font->getAnimCount();
  const uint8_t a = opacityByte(alpha);
  auto newLine = [&](const char* at) {
    penY += lineHeight;
    penX = lineStart(at);
    if (static_cast<int>(std::fabs(static_cast<float>(penY) - y)) >= height) height += lineHeight;
  };

  for (size_t i = 0; s[i]; ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == ' ') {
      penX += spaceWidth;
    } else if (c == '\t') {
      // Tab stops are counted from the screen's edge, not from x. A zero
      // stop distance has no stops.
      if (tabWidth > 0) penX = (penX / tabWidth + 1) * tabWidth;
    } else if (c == '\r') {
    } else if (c == '\n') {
      newLine(s + i);
      continue;
    } else if (c < 32) {
      penX += spaceWidth;
    } else if (c >= 33 && uint32_t(c) - 32 < glyphs) {
      Sprite::draw(buffer_.verts, font, static_cast<float>(penX + cx),
                   static_cast<float>(penY + cy), z, c - 32u, 0, a, 1.0f, 1.0f, 0.0f, 1.0f, 1.0f);
      buffer_.count = static_cast<uint32_t>(buffer_.verts.size());
      penX += advance(c);
    } else {
      penX += spaceWidth;
    }
    // Two different tests: the pen against the width itself, a word
    // against the box's right edge.
    if (penX >= width) {
      newLine(s + i);
    } else if (c == ' ' || c == '\t') {
      const int w = wordWidth(s + i + 1);
      if (static_cast<float>(w + penX) > x + static_cast<float>(width)) newLine(s + i);
    }
  }
}

void Text::draw() {
  layout();
  if (font) buffer_.print(camX, camY);
}
