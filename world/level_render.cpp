// Drawing the level: the sky with its cross-fade, the frames in drawing
// order with the level's objects between the layers, the outline of the
// bounds.
#include <GL/glew.h>

#include <algorithm>
#include <cmath>
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

void Level::render() {
  const Camera& cam = Camera::instance();
  const int cx = cam.ix(), cy = cam.iy();
  drawSky();
  // The objects go in before the first frame of a negative layer, or last.
  bool objectsDrawn = false;
  for (const auto& slot : frames) {
    Frame* f = slot.get();
    if (!f) continue;
    if (!objectsDrawn && f->layer < 0) {
      drawObjects();
      objectsDrawn = true;
    }
    // Where the frame lies on the screen, and whether it shows at all.
    int ox = f->fx * Frame::kWidth, oy = f->fy * Frame::kHeight;
    if (f->parallaxX != 1.0f)
      ox =
          static_cast<int>((1.0f - f->parallaxX) * static_cast<float>(cx) + static_cast<float>(ox));
    if (f->parallaxY != 1.0f)
      oy =
          static_cast<int>((1.0f - f->parallaxY) * static_cast<float>(cy) + static_cast<float>(oy));
    if (ox + Frame::kWidth < cx || cx + Frame::kWidth < ox || oy + Frame::kHeight < cy ||
        cy + Frame::kHeight < oy)
      continue;
    if (f->layer == 0 && ox < cx + Camera::kWidth / 2 && cx + Camera::kWidth / 2 <= ox + 639 &&
        oy < cy + Camera::kHeight / 2 && cy + Camera::kHeight / 2 <= oy + 479)
      setSkybox(f->skybox, false);
    f->draw();
  }
  if (!objectsDrawn) drawObjects();
  drawBounds();
}
