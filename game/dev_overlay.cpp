// The developer overlay: collision boxes with ids, frame borders, the solid
// cells of the player's layer, the running dialog's place and the frame-time
// graph, drawn over the finished picture. Only developer mode calls it.
#include <GL/glew.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "dialog/dialog.h"
#include "game/dev_mode.h"
#include "render/camera.h"
#include "render/sprite.h"
#include "world/level.h"
#include "world/npc.h"
#include "world/player.h"

namespace {

struct Rgb {
  uint8_t r, g, b;
};

// What each colour means is listed in the guide (docs/tools.md).
constexpr Rgb kObjectColour{255, 255, 0};      // level and frame objects
constexpr Rgb kNpcColour{0, 255, 255};         // characters
constexpr Rgb kPlayerColour{0, 255, 0};        // the player's character
constexpr Rgb kBulletColour{255, 0, 0};        // bullets
constexpr Rgb kParticleColour{255, 0, 255};    // particles
constexpr Rgb kFrameColour{255, 255, 255};     // frame borders of the player's layer
constexpr Rgb kOtherFrameColour{128, 128, 128};  // frame borders of other layers
constexpr Rgb kCellColour{0, 96, 255};         // solid block cells (translucent)
constexpr Rgb kDialogColour{255, 255, 255};
constexpr Rgb kUpdateColour{0, 200, 0};
constexpr Rgb kDrawColour{0, 128, 255};
constexpr Rgb kPresentColour{255, 160, 0};
constexpr uint8_t kCellAlpha = 80;

constexpr const char* kFont = "data/gfx.crs:font_00";
constexpr int kGlyphHeight = 13;

// Graph of the frame times, top right: one column per frame.
constexpr int kGraphH = 96;
constexpr int kGraphX = Camera::kWidth - 8 - static_cast<int>(DevMode::kHistory);
constexpr int kGraphY = 8;
constexpr float kPxPerMs = 3.0f;

// Screen-space shapes, gathered and drawn in one go: filled rectangles and
// text in the colour of what it labels.
class Painter {
 public:
  explicit Painter(Sprite* font) : font_(font) {}

  void fill(int x, int y, int w, int h, Rgb c, uint8_t a = 255) {
    if (w <= 0 || h <= 0) return;
    rects_.push_back({x, y, w, h, c, a});
  }
  // A one-pixel outline whose outer edge is the rectangle.
  void outline(int x, int y, int w, int h, Rgb c) {
    if (w <= 0 || h <= 0) return;
    fill(x, y, w, 1, c);
    fill(x, y + h - 1, w, 1, c);
    fill(x, y, 1, h, c);
    fill(x + w - 1, y, 1, h, c);
  }
  void text(int x, int y, const std::string& s, Rgb c) {
    if (!font_) return;
    const uint32_t glyphs = font_->getAnimCount();
    int pen = x;
    for (unsigned char ch : s) {
      const Sprite::Anim* a = ch > 32 && ch - 32u < glyphs ? font_->getAnim(ch - 32u) : nullptr;
      if (!a) {
        pen += 6;
        continue;
      }
      const size_t first = glyphs_.size();
      Sprite::draw(glyphs_, font_, static_cast<float>(pen), static_cast<float>(y), 0.0f, ch - 32u,
                   0, 255, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f);
      for (size_t i = first; i < glyphs_.size(); ++i) {
        glyphs_[i].r = c.r;
        glyphs_[i].g = c.g;
        glyphs_[i].b = c.b;
      }
      pen += static_cast<int>(a->w) + 1;
    }
  }

  void draw() {
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_TEXTURE_2D);
    glBegin(GL_QUADS);
    for (const Rect& r : rects_) {
      glColor4ub(r.c.r, r.c.g, r.c.b, r.a);
      glVertex2i(r.x, r.y);
      glVertex2i(r.x + r.w, r.y);
      glVertex2i(r.x + r.w, r.y + r.h);
      glVertex2i(r.x, r.y + r.h);
    }
    glEnd();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glEnable(GL_TEXTURE_2D);
    if (font_ && font_->texture && !glyphs_.empty()) {
      glBindTexture(GL_TEXTURE_2D, font_->texture);
      glInterleavedArrays(GL_T2F_C4UB_V3F, 0, glyphs_.data());
      glDrawArrays(GL_QUADS, 0, static_cast<GLsizei>(glyphs_.size()));
      glBindTexture(GL_TEXTURE_2D, 0);
    }
    glPopMatrix();
  }

 private:
  struct Rect {
    int x, y, w, h;
    Rgb c;
    uint8_t a;
  };
  Sprite* font_;
  std::vector<Rect> rects_;
  VertexArray glyphs_;
};

// The object's collision box on the screen, as the physics computes it.
bool screenBox(const Object& o, int camX, int camY, int& x, int& y, int& w, int& h) {
  if (!o.anim || !o.frame) return false;
  x = toPixel(o.x) + static_cast<int>(o.anim->boxX1) - static_cast<int>(o.frame->offsetX) - camX;
  y = toPixel(o.y) + static_cast<int>(o.anim->boxY1) - static_cast<int>(o.frame->offsetY) - camY;
  w = static_cast<int>(o.anim->boxX2);
  h = static_cast<int>(o.anim->boxY2);
  return x < Camera::kWidth && y < Camera::kHeight && x + w > 0 && y + h > 0;
}

void boxOf(Painter& p, const Object& o, Rgb c, int camX, int camY) {
  int x, y, w, h;
  if (!screenBox(o, camX, camY, x, y, w, h)) return;
  p.outline(x, y, w, h, c);
  p.text(x, y - kGlyphHeight, std::to_string(o.id), c);
}

Rgb colourOf(const Object& o) {
  if (const auto* npc = dynamic_cast<const Npc*>(&o)) return npc->isPlayer ? kPlayerColour : kNpcColour;
  return kObjectColour;
}

// Screen position of a frame's top-left corner, as the level draws it.
void frameOrigin(const Frame& f, int camX, int camY, int& sx, int& sy) {
  int ox = f.fx * Frame::kWidth, oy = f.fy * Frame::kHeight;
  if (f.parallaxX != 1.0f) ox = static_cast<int>((1.0f - f.parallaxX) * camX + ox);
  if (f.parallaxY != 1.0f) oy = static_cast<int>((1.0f - f.parallaxY) * camY + oy);
  sx = ox - camX;
  sy = oy - camY;
}

bool onScreen(int sx, int sy, int w, int h) {
  return sx < Camera::kWidth && sy < Camera::kHeight && sx + w > 0 && sy + h > 0;
}

void drawFrames(Painter& p, Level& lvl, int camX, int camY, int solidLayer) {
  for (const auto& fp : lvl.frames) {
    const Frame* f = fp.get();
    if (!f) continue;
    int sx, sy;
    frameOrigin(*f, camX, camY, sx, sy);
    if (!onScreen(sx, sy, Frame::kWidth, Frame::kHeight)) continue;
    if (f->layer == solidLayer && f->hasCells())
      for (int i = 0; i < Frame::kCells; ++i)
        if (f->cells[static_cast<size_t>(i)])
          p.fill(sx + (i % Frame::kCols) * Frame::kBlock, sy + (i / Frame::kCols) * Frame::kBlock,
                 Frame::kBlock, Frame::kBlock, kCellColour, kCellAlpha);
    const Rgb c = f->layer == solidLayer ? kFrameColour : kOtherFrameColour;
    p.outline(sx, sy, Frame::kWidth, Frame::kHeight, c);
    char label[64];
    std::snprintf(label, sizeof label, "(%d, %d, %d)", f->fx, f->fy, f->layer);
    p.text(sx + 3, sy + 3, label, c);
  }
}

void drawGraph(Painter& p, const DevMode& dev) {
  p.fill(kGraphX, kGraphY, static_cast<int>(DevMode::kHistory), kGraphH, {0, 0, 0}, 140);
  const int base = kGraphY + kGraphH;
  for (size_t i = 0; i < DevMode::kHistory; ++i) {
    const DevMode::FrameTime& t = dev.history()[(dev.historyStart() + i) % DevMode::kHistory];
    int top = base;
    const int x = kGraphX + static_cast<int>(i);
    for (auto part : {std::make_pair(t.updateMs, kUpdateColour), std::make_pair(t.drawMs, kDrawColour),
                      std::make_pair(t.presentMs, kPresentColour)}) {
      const int h = std::min(static_cast<int>(part.first * kPxPerMs + 0.5f), top - kGraphY);
      p.fill(x, top - h, 1, h, part.second);
      top -= h;
    }
  }
  // The 16 ms a paced frame takes.
  p.fill(kGraphX, base - static_cast<int>(16 * kPxPerMs), static_cast<int>(DevMode::kHistory), 1,
         {255, 255, 255}, 160);
  p.text(kGraphX, base + 2, "update", kUpdateColour);
  p.text(kGraphX + 60, base + 2, "draw", kDrawColour);
  p.text(kGraphX + 104, base + 2, "present", kPresentColour);
  p.text(kGraphX + 176, base - static_cast<int>(16 * kPxPerMs) - kGlyphHeight, "16 ms",
         {255, 255, 255});
}

}  // namespace

void DevMode::drawOverlay() const {
  if (!overlay_ || !Sprite::glReady()) return;
  Sprite::flush();  // the world's last quads go under the overlay
  Level& lvl = Level::instance();
  const Camera& cam = Camera::instance();
  const int camX = cam.ix(), camY = cam.iy();
  if (!fontTried_) {
    fontTried_ = true;
    font_ = Sprite::get(kFont);
  }
  Painter p(font_);

  const Npc* me = Player::instance().npc.get();
  drawFrames(p, lvl, camX, camY, me ? me->layer() : 0);
  lvl.frames.each([&](Frame& f) { f.objs.each([&](Object& o) { boxOf(p, o, kObjectColour, camX, camY); }); });
  lvl.objs.each([&](Object& o) { boxOf(p, o, colourOf(o), camX, camY); });
  lvl.parts.each([&](Object& o) { boxOf(p, o, kParticleColour, camX, camY); });
  lvl.bullets.each([&](Object& o) { boxOf(p, o, kBulletColour, camX, camY); });

  const Dialog& d = Dialog::instance();
  if (d.mode != 0) {
    char line[160];
    std::snprintf(line, sizeof line, "%s  block %d  line %d  mode %d", d.npcFile.c_str(), d.block,
                  d.line, d.mode);
    p.text(8, 104, line, kDialogColour);
  }
  drawGraph(p, *this);
  p.draw();
}
