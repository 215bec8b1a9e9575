#include "world/level.h"

#include <algorithm>
#include <climits>
#include <new>
#include <utility>

#include "base/log.h"
#include "render/sprite.h"
#include "resources/parser.h"
#include "resources/resfile.h"
#include "world/sampling.h"

Level::~Level() { clearWorld(); }

namespace {

// The bounds are pixel ints: frames stay close enough to the origin that
// both edges and the level's width and height still fit.
constexpr int kMaxFx = INT_MAX / (2 * Frame::kWidth) - 1;
constexpr int kMaxFy = INT_MAX / (2 * Frame::kHeight) - 1;

bool frameInRange(int fx, int fy) {
  return fx >= -kMaxFx && fx <= kMaxFx && fy >= -kMaxFy && fy <= kMaxFy;
}

}  // namespace

// --- frames ------------------------------------------------------------------

void Level::buildFrameTables() const {
  frameTables_.clear();
  tablesValid_ = true;
  tablesUsed_ = false;
  struct Span {
    int layer, fx0, fy0, fx1, fy1;
  };
  std::vector<Span> spans;
  for (const auto& entry : frameMap) {
    const FrameKey& key = entry.first;
    Span* s = nullptr;
    for (auto& x : spans)
      if (x.layer == key.layer) s = &x;
    if (!s) {
      // Few layers are the rule; many are left to the map.
      if (spans.size() == 8) return;
      spans.push_back({key.layer, key.fx, key.fy, key.fx, key.fy});
      continue;
    }
    s->fx0 = std::min(s->fx0, key.fx);
    s->fy0 = std::min(s->fy0, key.fy);
    s->fx1 = std::max(s->fx1, key.fx);
    s->fy1 = std::max(s->fy1, key.fy);
  }
  uint64_t total = 0;
  for (const Span& s : spans)
    total += static_cast<uint64_t>((int64_t{s.fx1} - s.fx0 + 1) * (int64_t{s.fy1} - s.fy0 + 1));
  // Frames scattered far apart: the map is the better table.
  if (total > 4096 + 16 * static_cast<uint64_t>(frameMap.size())) return;
  for (const Span& s : spans) {
    FrameTable t{s.layer, s.fx0, s.fy0, static_cast<uint32_t>(s.fx1 - s.fx0 + 1),
                 static_cast<uint32_t>(s.fy1 - s.fy0 + 1), {}};
    t.cells.assign(size_t{t.cols} * t.rows, nullptr);
    frameTables_.push_back(std::move(t));
  }
  for (const auto& [key, f] : frameMap)
    for (auto& t : frameTables_)
      if (t.layer == key.layer)
        t.cells[static_cast<size_t>(key.fy - t.fy0) * t.cols + static_cast<size_t>(key.fx - t.fx0)] = f;
  tablesUsed_ = true;
}

Frame* Level::findFrame(int fx, int fy, int layer) const {
  if (!tablesValid_) buildFrameTables();
  if (tablesUsed_) {
    for (const FrameTable& t : frameTables_) {
      if (t.layer != layer) continue;
      const uint32_t cx = static_cast<uint32_t>(fx) - static_cast<uint32_t>(t.fx0);
      const uint32_t cy = static_cast<uint32_t>(fy) - static_cast<uint32_t>(t.fy0);
      if (cx >= t.cols || cy >= t.rows) return nullptr;
      return t.cells[size_t{cy} * t.cols + cx];
    }
    return nullptr;
  }
  const FrameKey key{fx, fy, layer};
  if (lastValid_ && !(key < lastKey_) && !(lastKey_ < key)) return lastFrame_;
  auto it = frameMap.find(key);
  lastKey_ = key;
  lastFrame_ = it == frameMap.end() ? nullptr : it->second;
  lastValid_ = true;
  return lastFrame_;
}

Frame* Level::frameAt(int px, int py, int layer) const {
  return findFrame(floorDiv(px, Frame::kWidth), floorDiv(py, Frame::kHeight), layer);
}

Frame* Level::addFrame(uint32_t id, const char* frameName, Sprite* blockSprite, Sprite* skybox,
                       int fx, int fy, int layer, float parallaxX, float parallaxY) {
  const FrameKey key{fx, fy, layer};
  auto it = frameMap.find(key);
  if (it != frameMap.end()) {
    // The existing frame keeps the references it holds; the ones handed in
    // here would otherwise never be given back.
    Sprite::release(blockSprite);
    Sprite::release(skybox);
    return it->second;
  }
  if (!frameInRange(fx, fy)) {
    Log::fail("Level.addFrame: Ramka poza zakresem (%d, %d)\n", fx, fy);
    Sprite::release(blockSprite);
    Sprite::release(skybox);
    return nullptr;
  }
  Frame* frame = nullptr;
  try {
    frame = frames.add(std::make_unique<Frame>(id, frameName ? frameName : "", blockSprite, skybox,
                                               fx, fy, layer, parallaxX, parallaxY));
  } catch (const std::bad_alloc&) {
    Log::fail("Level.addFrame: Nie udalo sie wczytac ramki (new)");
    Sprite::release(blockSprite);
    Sprite::release(skybox);
    return nullptr;
  }
  try {
    frameMap.emplace(key, frame);
  } catch (const std::bad_alloc&) {
    Log::fail("Level.addFrame: Nie udalo sie dodac ramki do tablicy");
    frames.remove(frame);
    return nullptr;
  }
  lastValid_ = false;
  tablesValid_ = false;

  // Growth as the level format has always done it: a frame left of `left`
  // moves `left` but not `right` (and likewise vertically).
  if (fx * Frame::kWidth >= left)
    right = std::max(right, (fx + 1) * Frame::kWidth);
  else
    left = fx * Frame::kWidth;
  if (fy * Frame::kHeight >= top)
    bottom = std::max(bottom, (fy + 1) * Frame::kHeight);
  else
    top = fy * Frame::kHeight;
  width = right - left;
  height = bottom - top;
  return frame;
}

std::string Level::archivePath() const {
  Parser p(name, ":");
  return p.count() > 0 ? p.show(0) : std::string();
}

bool Level::loadFrame(Frame* frame, const char* argName) {
  if (!frame) return false;
  std::string base = !frame->name.empty() ? frame->name : (argName ? argName : "");
  if (base.empty()) return false;
  const std::string file = base + ".bin";
  Resfile& res = reader ? *reader : Resfile::instance();
  ResBuffer buf;
  if (base.find(':') != std::string::npos)
    buf = res.load(file);
  else
    buf = res.load(archivePath(), file);
  if (!buf) {
    Log::fail("Level.loadFrame: Nie znaleziono klockow (\"%s\")\n", file.c_str());
    return false;
  }
  if (buf.size() < static_cast<uint32_t>(Frame::kCells)) {
    Log::fail("Level.loadFrame: Brak wszystkich klockow (\"%s\")\n", file.c_str());
    return false;
  }
  frame->cells.assign(buf.bytes(), buf.bytes() + Frame::kCells);
  return true;
}

void Level::delFrame(Frame* frame) {
  if (!frame || !frames.contains(frame)) return;
  auto it = frameMap.find(FrameKey{frame->fx, frame->fy, frame->layer});
  if (it != frameMap.end() && it->second == frame) frameMap.erase(it);
  lastValid_ = false;
  tablesValid_ = false;
  frames.remove(frame);
}

void Level::sortFrames() {
  frames.stableSort([](const Frame& a, const Frame& b) { return a.layer > b.layer; });
}

// --- collision queries -----------------------------------------------------

bool Level::blockAt(int px, int py, int layer, bool precise) const {
  const Frame* f = frameAt(px, py, layer);
  if (!f || !f->hasCells()) return false;
  const int lx = px - f->fx * Frame::kWidth;
  const int ly = py - f->fy * Frame::kHeight;
  const uint8_t v = f->cellAt(lx, ly);
  if (v == 0) return false;
  if (!precise) return true;
  // A block without a tile image to test (no sheet, or no animation of that
  // number) is solid throughout, like an image without a mask.
  if (!f->blockSprite || v >= f->blockSprite->getAnimCount()) return true;
  return f->blockSprite->isSolid(static_cast<uint32_t>(lx % Frame::kBlock),
                                 static_cast<uint32_t>(ly % Frame::kBlock), v);
}

bool Level::blockHit(int x, int y, int layer, int w, int h, int mode) const {
  const bool precise = (mode & 2) != 0;
  // Every pixel of a non-empty area: whether any is solid does not depend
  // on the order they are looked at, so walk it by frames and blocks.
  if ((mode & 1) != 0 && w > 0 && h > 0)
    return areaSolid(x, y, int64_t{x} + w - 1, int64_t{y} + h - 1, layer, precise);
  return sampleArea(x, y, w, h, (mode & 1) != 0,
                    [&](int px, int py) { return blockAt(px, py, layer, precise); });
}

namespace {

// Whether any pixel of the frame-local area l .. r, t .. b (inclusive,
// inside the frame) is solid.
bool frameAreaSolid(const Frame& f, int l, int t, int r, int b, bool precise) {
  constexpr int B = Frame::kBlock;
  const Sprite* tiles = f.blockSprite;
  for (int cy = t / B; cy <= b / B; ++cy) {
    const int y0 = std::max(t, cy * B), y1 = std::min(b, cy * B + B - 1);
    for (int cx = l / B; cx <= r / B; ++cx) {
      const uint8_t v = f.cells[static_cast<size_t>(cy * Frame::kCols + cx)];
      if (v == 0) continue;
      // A block without a tile image to test is solid throughout.
      if (!precise || !tiles || v >= tiles->getAnimCount()) return true;
      const int x0 = std::max(l, cx * B), x1 = std::min(r, cx * B + B - 1);
      for (int py = y0; py <= y1; ++py)
        for (int px = x0; px <= x1; ++px)
          if (tiles->isSolid(static_cast<uint32_t>(px % B), static_cast<uint32_t>(py % B), v))
            return true;
    }
  }
  return false;
}

int64_t floorDiv64(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

}  // namespace

bool Level::areaSolid(int64_t l, int64_t t, int64_t r, int64_t b, int layer, bool precise) const {
  const int64_t fx0 = floorDiv64(l, Frame::kWidth), fx1 = floorDiv64(r, Frame::kWidth);
  const int64_t fy0 = floorDiv64(t, Frame::kHeight), fy1 = floorDiv64(b, Frame::kHeight);
  auto inFrame = [&](const Frame& f) {
    if (!f.hasCells()) return false;
    const int64_t ox = int64_t{f.fx} * Frame::kWidth, oy = int64_t{f.fy} * Frame::kHeight;
    const int64_t fl = std::max(l, ox) - ox, fr = std::min(r, ox + Frame::kWidth - 1) - ox;
    const int64_t ft = std::max(t, oy) - oy, fb = std::min(b, oy + Frame::kHeight - 1) - oy;
    if (fl > fr || ft > fb) return false;
    return frameAreaSolid(f, static_cast<int>(fl), static_cast<int>(ft), static_cast<int>(fr),
                          static_cast<int>(fb), precise);
  };
  // A huge area: look at the frames there are rather than at every place
  // one could be.
  if ((fx1 - fx0 + 1) * (fy1 - fy0 + 1) > static_cast<int64_t>(frameMap.size())) {
    for (const auto& [key, f] : frameMap)
      if (key.layer == layer && key.fx >= fx0 && key.fx <= fx1 && key.fy >= fy0 &&
          key.fy <= fy1 && inFrame(*f))
        return true;
    return false;
  }
  for (int64_t fy = fy0; fy <= fy1; ++fy)
    for (int64_t fx = fx0; fx <= fx1; ++fx) {
      const Frame* f = findFrame(static_cast<int>(fx), static_cast<int>(fy), layer);
      if (f && inFrame(*f)) return true;
    }
  return false;
}

// Collision box of another object as the object queries measure it (the
// anchor is taken off before truncating, unlike the physics step's own box).
bool Level::queryBox(const Object& o, CollisionGrid::Box& box) {
  if (!o.colsOn || !o.anim || !o.frame) return false;
  box.l = int64_t{toPixel(o.x - static_cast<float>(o.frame->offsetX))} +
          static_cast<int32_t>(o.anim->boxX1);
  box.t = int64_t{toPixel(o.y - static_cast<float>(o.frame->offsetY))} +
          static_cast<int32_t>(o.anim->boxY1);
  box.w = static_cast<int32_t>(o.anim->boxX2);
  box.h = static_cast<int32_t>(o.anim->boxY2);
  // An empty box touches nothing.
  return box.w > 0 && box.h > 0;
}

namespace {

inline bool overlaps(const CollisionGrid::Box& b, int64_t l, int64_t t, int64_t r, int64_t bot) {
  return l < b.l + b.w && b.l <= r && t < b.t + b.h && b.t <= bot;
}

}  // namespace

Object* Level::objHitWalk(int x, int y, int w, int h, const Object* self) const {
  if (w <= 0 || h <= 0) return nullptr;
  const int64_t r = int64_t{x} + w - 1, b = int64_t{y} + h - 1;
  for (const auto& p : objs) {
    Object* o = p.get();
    CollisionGrid::Box box;
    if (!o || o == self || !queryBox(*o, box)) continue;
    if (overlaps(box, x, y, r, b)) return o;
  }
  return nullptr;
}

Object* Level::objAtWalk(int px, int py, const Object* self) const {
  return objHitWalk(px, py, 1, 1, self);
}

Object* Level::objHit(int x, int y, int w, int h, const Object* self) const {
  if (w <= 0 || h <= 0) return nullptr;
  if (!objIndex_.live()) return objHitWalk(x, y, w, h, self);
  const int64_t r = int64_t{x} + w - 1, b = int64_t{y} + h - 1;
  const CollisionGrid& grid =
      objIndex_.sync(objs, {left, top, int64_t{right} - 1, int64_t{bottom} - 1});
  if (grid.cellsSpanned(x, y, r, b) > ObjectIndex::kMaxQueryCells)
    return objHitWalk(x, y, w, h, self);
  return grid.first(x, y, r, b, [self](const Object* o, uint32_t) { return o != self; });
}

Object* Level::objAt(int px, int py, const Object* self) const {
  return objHit(px, py, 1, 1, self);
}

// --- objects -------------------------------------------------------------------

Object* Level::addObj(uint32_t id, int x, int y, int z, int hp, Sprite* sprite) {
  if (!sprite) return nullptr;
  try {
    return objs.add(std::make_unique<Object>(id, x, y, z, hp, sprite, this, nullptr));
  } catch (const std::bad_alloc&) {
    Log::fail("Level.addObj: Nie udalo sie stworzyc nowego obiektu");
    Sprite::release(sprite);
    return nullptr;
  }
}

Object* Level::addFrameObj(uint32_t id, int x, int y, int z, int hp, Sprite* sprite) {
  if (!sprite) return nullptr;
  const int fx = floorDiv(x, Frame::kWidth);
  const int fy = floorDiv(y, Frame::kHeight);
  Frame* frame = findFrame(fx, fy, z);
  if (!frame)
    frame = addFrame(static_cast<uint32_t>(-1), nullptr, nullptr, nullptr, fx, fy, z, 1.0f, 1.0f);
  if (!frame) {
    Log::fail("Level.addFrameObj: Nie udalo sie stworzyc ramki");
    Sprite::release(sprite);
    return nullptr;
  }
  try {
    return frame->objs.add(std::make_unique<Object>(id, x, y, z, hp, sprite, this, frame));
  } catch (const std::bad_alloc&) {
    Log::fail("Level.addObj: Nie udalo sie stworzyc nowego obiektu");
    Sprite::release(sprite);
    return nullptr;
  }
}

Object* Level::adoptObj(std::unique_ptr<Object> obj) {
  if (obj && !obj->lvl) obj->lvl = this;
  return objs.add(std::move(obj));
}

void Level::delObj(Object* obj) { objs.remove(obj); }

void Level::delFrameObj(Object* obj) {
  if (obj && obj->frameHost) obj->frameHost->delObj(obj);
}

Object* Level::getObj(uint32_t id, uint32_t start) const {
  uint32_t count = 0;
  for (const auto& p : objs) {
    if (!p) continue;
    if (p->id == id && count >= start) return p.get();
    ++count;
  }
  return nullptr;
}

Object* Level::getFrameObj(uint32_t frameId, uint32_t objId, uint32_t start) const {
  uint32_t pos = 0;
  for (const auto& f : frames) {
    if (f && f->id == frameId && pos >= start) return f->getObj(objId);
    ++pos;
  }
  return nullptr;
}

uint32_t Level::countObjs() const {
  size_t n = objs.size() + parts.size();
  for (const auto& f : frames)
    if (f) n += f->objs.size() + f->parts.size();
  return static_cast<uint32_t>(n);
}

// --- per game frame ----------------------------------------------------------

void Level::updateWorld() {
  frames.each([](Frame& f) { f.update(); });
  objIndex_.open();
  objs.eachIndexed([this](Object& o, size_t slot) {
    objIndex_.prefetch(slot, objs);
    // The next object's frame: its block probes start there. (The object
    // itself was asked for a step earlier.)
    if (slot + 1 < objs.size())
      if (const Object* next = objs[slot + 1])
        if (const Frame* f = frameAt(toPixel(next->x), toPixel(next->y), next->layer()))
          __builtin_prefetch(&f->cells);
    o.step();
    objIndex_.stepped(slot, objs);
  });
  objIndex_.close();
}

void Level::swapContents(Level& other) noexcept {
  frames.swap(other.frames);
  objs.swap(other.objs);
  parts.swap(other.parts);
  bullets.swap(other.bullets);
  frameMap.swap(other.frameMap);
  name.swap(other.name);
  std::swap(left, other.left);
  std::swap(top, other.top);
  std::swap(right, other.right);
  std::swap(bottom, other.bottom);
  std::swap(width, other.width);
  std::swap(height, other.height);
  std::swap(reader, other.reader);
  levelReader_.swap(other.levelReader_);
  skyboxes.swap(other.skyboxes);
  std::swap(skybox, other.skybox);
  std::swap(skyboxForced, other.skyboxForced);
  npcs.swap(other.npcs);
  std::swap(npcCap, other.npcCap);
  lua.swap(other.lua);
  alwaysFn.swap(other.alwaysFn);
  std::swap(alwaysTime, other.alwaysTime);
  lastValid_ = other.lastValid_ = false;
  tablesValid_ = other.tablesValid_ = false;
}

void Level::clearWorld() {
  left = top = right = bottom = width = height = 0;
  frames.clear();
  frameMap.clear();
  lastValid_ = false;
  tablesValid_ = false;
  objs.clear();
  parts.clear();
  bullets.clear();
}
