#include "world/frame.h"

#include <algorithm>
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
  index_.open();
  objs.eachIndexed([this](Object& o, size_t slot) {
    o.step();
    index_.stepped(slot, objs);
  });
  index_.close();
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

Object* Frame::getObj(uint32_t objId) const {
  for (const auto& o : objs)
    if (o && o->id == objId) return o.get();
  return nullptr;
}

void Frame::delObj(Object* obj) { objs.remove(obj); }

bool Frame::imageBox(const Object& o, CollisionGrid::Box& box) {
  // An object without a current animation and frame has no image to
  // collide with.
  if (!o.colsOn || !o.anim || !o.frame) return false;
  box.l = toPixel(o.x - static_cast<float>(o.frame->offsetX));
  box.t = toPixel(o.y - static_cast<float>(o.frame->offsetY));
  box.w = o.anim->w;
  box.h = o.anim->h;
  return box.w > 0 && box.h > 0;
}

namespace {

// The point lies in the object's image and its mask is solid there (an
// object without a sprite is solid throughout).
bool solidAt(const Object& o, const CollisionGrid::Box& box, int px, int py) {
  const int64_t dx = px - box.l, dy = py - box.t;
  if (dx < 0 || dy < 0 || dx >= box.w || dy >= box.h) return false;
  return !o.sprite ||
         o.sprite->isSolid(static_cast<uint32_t>(dx), static_cast<uint32_t>(dy), o.animIdx);
}

}  // namespace

Object* Frame::frameObjHitWalk(int x, int y, int w, int h, const Object* self) const {
  Object* found = nullptr;
  sampleArea(x, y, w, h, false, [&](int px, int py) {
    for (const auto& p : objs) {
      Object* o = p.get();
      CollisionGrid::Box box;
      if (!o || o == self || !imageBox(*o, box) || !solidAt(*o, box, px, py)) continue;
      found = o;
      return true;
    }
    return false;
  });
  return found;
}

Object* Frame::frameObjHit(int x, int y, int w, int h, const Object* self) const {
  if (!index_.live()) return frameObjHitWalk(x, y, w, h, self);
  const CollisionGrid& grid =
      index_.sync(objs, {int64_t{fx} * kWidth, int64_t{fy} * kHeight,
                         int64_t{fx} * kWidth + kWidth - 1, int64_t{fy} * kHeight + kHeight - 1});
  Object* found = nullptr;
  sampleArea(x, y, w, h, false, [&](int px, int py) {
    found = grid.first(px, py, px, py, [&](const Object* o, uint32_t n) {
      return o != self && solidAt(*o, grid.entry(n).box, px, py);
    });
    return found != nullptr;
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
  // Quads of fully opaque block images, and whether every quad stays in
  // its own cell (then no two overlap and their order does not matter).
  std::vector<bool> solid;
  bool apart = true;
  for (int i = 0; i < kCells; ++i) {
    const uint8_t v = cells[static_cast<size_t>(i)];
    if (!v) continue;
    const float bx = static_cast<float>(fx * kWidth + (i % kCols) * kBlock) + cx;
    const float by = static_cast<float>(fy * kHeight + (i / kCols) * kBlock) + cy;
    const size_t before = buffer.verts.size();
    Sprite::draw(buffer.verts, blockSprite, bx, by, static_cast<float>(layer), v, 0, 255, 1.0f,
                 1.0f, 0.0f, 1.0f, 1.0f);
    if (buffer.verts.size() != before + 4) continue;
    const Sprite::Anim* a = blockSprite->getAnim(v);
    const Sprite::Frame& f0 = a->frames[0];
    if (f0.offsetX != 0 || f0.offsetY != 0 || a->w > kBlock || a->h > kBlock) apart = false;
    solid.push_back(blockSprite->opaqueFrame(v, 0));
  }
  buffer.count = static_cast<uint32_t>(buffer.verts.size());
  if (!apart) return;
  // The opaque quads first: StatBuff draws those without blending.
  VertexArray sorted;
  sorted.reserve(buffer.verts.size());
  for (int pass = 0; pass < 2; ++pass)
    for (size_t q = 0; q < solid.size(); ++q)
      if (solid[q] == (pass == 0)) {
        const auto first = buffer.verts.begin() + static_cast<std::ptrdiff_t>(q * 4);
        sorted.insert(sorted.end(), first, first + 4);
      }
  buffer.opaque = static_cast<uint32_t>(4 * std::count(solid.begin(), solid.end(), true));
  buffer.verts.swap(sorted);
}

void Frame::drawContents() {
  objs.each([](Object& o) { o.render(); });
  for (Object* p : parts)
    if (p) p->render();
  Sprite::flush();
}

void Frame::draw() {
  if (hasCells() && blockSprite) {
    if (dirty) rebuildBlocks();
    buffer.print(parallaxX, parallaxY);
  }
  drawContents();
}
