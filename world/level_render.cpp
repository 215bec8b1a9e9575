// Drawing the level: the sky with its cross-fade, the frames in drawing
// order with the level's objects between the layers, the outline of the
// bounds.
#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "base/globals.h"
#include "render/camera.h"
#include "render/cull.h"
#include "render/sprite.h"
#include "world/level.h"

namespace {

constexpr float kSkyDepth = 999.0f;

// Factors that stretch animation 0 of a sky image over the screen.
bool skyScale(const Sprite* s, float& sx, float& sy) {
  const Sprite::Anim* a = s ? s->getAnim(0) : nullptr;
  if (!a || a->w == 0 || a->h == 0) return false;
  sx =
      a->w == Camera::kWidth ? 1.0f : static_cast<float>(Camera::kWidth) / static_cast<float>(a->w);
  sy = a->h == Camera::kHeight ? 1.0f
                               : static_cast<float>(Camera::kHeight) / static_cast<float>(a->h);
  return true;
}

// Draws the sky quad in the batch. An opaque image at full opacity replaces
// what is under it, so blending (reading every pixel back) is left out.
void flushSky(Sprite* sky, uint8_t alpha) {
  const bool solid = alpha == 255 && Sprite::glReady() && cull::active() && sky->opaqueFrame(0, 0);
  if (solid) glDisable(GL_BLEND);
  Sprite::flush(sky);
  if (solid) glEnable(GL_BLEND);
}

}  // namespace

void Level::setSkybox(Sprite* sprite, bool forced) {
  if (!sprite || (skyboxForced && !forced) || sprite == skybox) return;
  skyboxForced = forced;
  skybox = sprite;
  // The entry keeps the image alive even if its frame goes away.
  if (Sprite::alive(sprite)) ++sprite->refs;
  skyboxes.push_back({sprite, 0.0f});
}

void Level::releaseSkyboxes() {
  std::vector<SkyEntry> old;
  old.swap(skyboxes);
  for (const SkyEntry& e : old) Sprite::release(e.sprite);
}

void Level::drawSky() {
  if (skyboxes.empty()) return;
  float sx = 1.0f, sy = 1.0f;
  if (skyboxes.size() == 1) {
    SkyEntry& e = skyboxes.front();
    e.alpha = 255.0f;
    if (!skyScale(e.sprite, sx, sy)) return;
    Sprite::draw(Sprite::batch(), e.sprite, 0.0f, 0.0f, kSkyDepth, 0, 0, 255, 0.0f, 0.0f, 0.0f, sx,
                 sy);
    flushSky(e.sprite, 255);
    return;
  }
  const Camera& cam = Camera::instance();
  const float cx = static_cast<float>(cam.ix()), cy = static_cast<float>(cam.iy());
  // A newer image fades in over the older ones; once it is opaque the one
  // before it is dropped.
  size_t i = 0;
  for (int k = 0; i < skyboxes.size(); ++k) {
    if (skyboxes[i].alpha < 255.0f) {
      skyboxes[i].alpha += std::min(255.0f * game::dt, 255.0f - skyboxes[i].alpha);
    } else if (i > 0) {
      Sprite::release(skyboxes[i - 1].sprite);
      skyboxes.erase(skyboxes.begin() + static_cast<std::ptrdiff_t>(i - 1));
      --i;
    }
    const SkyEntry& e = skyboxes[i];
    if (skyScale(e.sprite, sx, sy)) {
      Sprite::draw(Sprite::batch(), e.sprite, cx, cy, kSkyDepth - static_cast<float>(k) / 10.0f, 0,
                   0, static_cast<uint8_t>(e.alpha), 1.0f, 1.0f, 0.0f, sx, sy);
      flushSky(e.sprite, static_cast<uint8_t>(e.alpha));
    }
    ++i;
  }
}

void Level::drawObjects() {
  objs.each([](Object& o) { o.render(); });
  parts.each([](Object& o) { o.render(); });
  // Bullets show their sprite like any object; one without draws nothing.
  bullets.each([](Object& o) { o.render(); });
  Sprite::flush();
}

void Level::drawBounds() const {
  if (!Sprite::glReady()) return;
  const Camera& cam = Camera::instance();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glTranslatef(static_cast<float>(-cam.ix()), static_cast<float>(-cam.iy()), 0.0f);
  glDisable(GL_TEXTURE_2D);
  glColor3f(1.0f, 0.0f, 0.0f);
  glBegin(GL_LINE_STRIP);
  glVertex2i(left, top);
  glVertex2i(left, bottom);
  glVertex2i(right, bottom);
  glVertex2i(right, top);
  glVertex2i(left, top);
  glEnd();
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  glEnable(GL_TEXTURE_2D);
  glPopMatrix();
}

namespace {

// Hidden-pixel removal for the level's drawing. Every stage of the drawing
// (the sky, the objects, each visible frame) gets a depth value growing in
// drawing order. The opaque block quads of the frames go first, front to
// back, each written with its stage's depth where no later stage has put an
// opaque quad already, with blending off (a fully opaque image replaces
// what is under it). Then everything else is drawn in the usual order with
// the depth test "at least the depth already there": just the pixels that
// an opaque quad of a later stage covers are rejected, and those would have
// been overwritten anyway. The picture is the same to the pixel; the
// rasteriser skips what nobody would see, and each opaque pixel is shaded
// once.
class Occlusion {
 public:
  explicit Occlusion(size_t stages) {
    if (!Sprite::glReady() || !cull::active()) return;
    static GLint bits = -1;
    if (bits < 0) glGetIntegerv(GL_DEPTH_BITS, &bits);
    on_ = bits > 0;
    stages_ = static_cast<double>(stages + 2);
  }
  bool on() const { return on_; }

  // The opaque pass over the frames (in drawing order) that can be split.
  void drawOpaque(const std::vector<std::pair<Frame*, size_t>>& frames) {
    if (!on_) return;
    glDepthMask(GL_TRUE);
    glClearDepth(0.0);
    glClear(GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_GREATER);
    glDisable(GL_BLEND);
    for (auto it = frames.rbegin(); it != frames.rend(); ++it) {
      Frame* f = it->first;
      if (!f->split() || f->opaqueVerts.empty()) continue;
      at(it->second);
      f->drawQuads(f->opaqueVerts);
    }
    glEnable(GL_BLEND);
    glDepthMask(GL_FALSE);
    glDepthFunc(GL_GEQUAL);
  }
  // Everything drawn from now on belongs to `stage`.
  void at(size_t stage) {
    if (!on_) return;
    const double d = static_cast<double>(stage + 1) / stages_;
    glDepthRange(d, d);
  }
  ~Occlusion() {
    if (!on_) return;
    glDisable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glDepthMask(GL_TRUE);
    glDepthRange(0.0, 1.0);
  }

 private:
  bool on_ = false;
  double stages_ = 1;
};

}  // namespace

void Level::render() {
  const Camera& cam = Camera::instance();
  const int cx = cam.ix(), cy = cam.iy();
  // Where each frame lies on the screen and whether it is drawn.
  struct Placed {
    Frame* f;
    int ox, oy;
    bool visible;
  };
  std::vector<Placed> placed;
  placed.reserve(frames.size());
  for (size_t i = 0; i < frames.size(); ++i) {
    Frame* f = frames[i];
    if (!f) continue;
    int ox = f->fx * Frame::kWidth, oy = f->fy * Frame::kHeight;
    if (f->parallaxX != 1.0f)
      ox =
          static_cast<int>((1.0f - f->parallaxX) * static_cast<float>(cx) + static_cast<float>(ox));
    if (f->parallaxY != 1.0f)
      oy =
          static_cast<int>((1.0f - f->parallaxY) * static_cast<float>(cy) + static_cast<float>(oy));
    const bool visible = ox + Frame::kWidth >= cx && cx + Frame::kWidth >= ox &&
                         oy + Frame::kHeight >= cy && cy + Frame::kHeight >= oy;
    placed.push_back({f, ox, oy, visible});
  }
  // Stages in drawing order: the sky (0), the objects before the first
  // frame of a negative layer, each visible frame; the objects last when no
  // frame has a negative layer.
  std::vector<std::pair<Frame*, size_t>> stages;
  size_t next = 1, objectStage = 0;
  bool objectsPlaced = false;
  for (const Placed& p : placed) {
    if (!objectsPlaced && p.f->layer < 0) {
      objectStage = next++;
      objectsPlaced = true;
    }
    if (p.visible) stages.emplace_back(p.f, next++);
  }
  if (!objectsPlaced) objectStage = next++;

  {
    Occlusion occlusion(next);
    occlusion.drawOpaque(stages);
    occlusion.at(0);
    drawSky();
    bool objectsDrawn = false;
    size_t k = 0;
    for (const Placed& p : placed) {
      Frame* f = p.f;
      if (!objectsDrawn && f->layer < 0) {
        occlusion.at(objectStage);
        drawObjects();
        objectsDrawn = true;
      }
      if (!p.visible) continue;
      if (f->layer == 0 && p.ox < cx + Camera::kWidth / 2 &&
          cx + Camera::kWidth / 2 <= p.ox + 639 && p.oy < cy + Camera::kHeight / 2 &&
          cy + Camera::kHeight / 2 <= p.oy + 479)
        setSkybox(f->skybox, false);
      occlusion.at(stages[k++].second);
      f->draw();
    }
    if (!objectsDrawn) {
      occlusion.at(objectStage);
      drawObjects();
    }
  }
  drawBounds();
}
