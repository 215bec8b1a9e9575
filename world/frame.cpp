#include "world/frame.h"

#include <cstddef>
#include <utility>

#include "render/camera.h"
#include "render/sprite.h"
#include "world/particle.h"
#include "world/sampling.h"

Frame::Frame(uint32_t id_, std::string name_, Sprite* blockSprite_, Sprite* skybox_, int fx_,
             int fy_, int layer_, float parallaxX_, float parallaxY_)
    : id(id_),
      name(std::move(name_)),
      blockSprite(blockSprite_),
      skybox(skybox_),
      fx(fx_),
      fy(fy_),
      layer(layer_),
      parallaxX(parallaxX_),
      parallaxY(parallaxY_) {}

Frame::~Frame() {
  // Frame objects go first: they point at this frame.
  objs.clear();
  parts.clear();
  buffer.clear();
  Sprite::release(blockSprite);
  Sprite::release(skybox);
}

void Frame::update() {
  objs.each([](Object& o) { o.step(); });
  // Index walk: a step may append to the list. A particle leaves the list
  // (which does not own it) after the step that takes its life below 0.
  for (size_t i = 0; i < parts.size();) {
    Object* o = parts[i];
    if (o) o->step();
    const auto* p = dynamic_cast<const Particle*>(o);
    if (p && p->life < 0.0f)
      parts.erase(parts.begin() + static_cast<std::ptrdiff_t>(i));
    else
      ++i;
  }
}

uint8_t Frame::cellAt(int lx, int ly) const {
  if (!hasCells() || lx < 0 || ly < 0 || lx >= kWidth || ly >= kHeight) return 0;
  return cells[static_cast<size_t>((ly / kBlock) * kCols + lx / kBlock)];
}

Object* Frame::getObj(uint32_t objId) const {
  for (const auto& o : objs)
    if (o && o->id == objId) return o.get();
  return nullptr;
}

void Frame::delObj(Object* obj) { objs.remove(obj); }

Object* Frame::frameObjHit(int x, int y, int w, int h, const Object* self) const {
  Object* found = nullptr;
  sampleArea(x, y, w, h, false, [&](int px, int py) {
    for (const auto& p : objs) {
      Object* o = p.get();
      // An object without a current animation and frame has no image to
      // collide with.
      if (!o || !o->colsOn || o == self || !o->anim || !o->frame) continue;
      const int left = toPixel(o->x - static_cast<float>(o->frame->offsetX));
      const int top = toPixel(o->y - static_cast<float>(o->frame->offsetY));
      const int64_t dx = static_cast<int64_t>(px) - left;
      const int64_t dy = static_cast<int64_t>(py) - top;
      if (dx < 0 || dy < 0 || dx >= o->anim->w || dy >= o->anim->h) continue;
      if (o->sprite && !o->sprite->isSolid(static_cast<uint32_t>(dx), static_cast<uint32_t>(dy),
                                           o->animIdx))
        continue;
      found = o;
      return true;
    }
    return false;
  });
  return found;
}

void Frame::rebuildBlocks() {
  dirty = false;
  buffer.clear();
  buffer.init(blockSprite);
  // Sprite::draw takes the camera position off again; the buffer keeps
  // level coordinates and StatBuff::print applies the camera.
  const Camera& cam = Camera::instance();
  const float cx = static_cast<float>(cam.ix());
  const float cy = static_cast<float>(cam.iy());
  for (int i = 0; i < kCells; ++i) {
    const uint8_t v = cells[static_cast<size_t>(i)];
    if (!v) continue;
    const float bx = static_cast<float>(fx * kWidth + (i % kCols) * kBlock) + cx;
    const float by = static_cast<float>(fy * kHeight + (i / kCols) * kBlock) + cy;
    Sprite::draw(buffer.verts, blockSprite, bx, by, static_cast<float>(layer), v, 0, 255, 1.0f,
                 1.0f, 0.0f, 1.0f, 1.0f);
    buffer.count = static_cast<uint32_t>(buffer.verts.size());
  }
}

void Frame::draw() {
  if (hasCells() && blockSprite) {
    if (dirty) rebuildBlocks();
    buffer.print(parallaxX, parallaxY);
  }
  objs.each([](Object& o) { o.render(); });
  for (Object* p : parts)
    if (p) p->render();
  Sprite::flush();
}
