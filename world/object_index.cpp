#include "world/object_index.h"

#include <algorithm>

#include "script/lua.h"

bool ObjectIndex::enabled = true;

namespace {

// How far past its home the grid reaches; objects further out are kept
// apart and tested by every query.
constexpr int64_t kReach = int64_t(1) << 15;
// Kept-apart entries beyond this (and beyond twice as many as the last
// rebuild left) lay the grid anew over where the objects are: every query
// tests them all.
constexpr size_t kMaxOutsiders = 32;
// Room around the objects and home for objects to move into.
constexpr int64_t kRoom = 2048;
// Boxes larger than this on either side do not decide the grid's extent.
constexpr int64_t kLarge = 4096;
// Cell sizes between 16 and 256 pixels.
constexpr int kMinShift = 4;
constexpr int kMaxShift = 8;

}  // namespace

bool ObjectIndex::current(const OwnedList<Object>& list) const {
  return built_ && list.version() == listVersion_ && Lua::callSerial() == luaSerial_;
}

void ObjectIndex::rebuild(const OwnedList<Object>& list, const Area& home) {
  int64_t l = INT64_MAX, t = INT64_MAX, r = INT64_MIN, b = INT64_MIN;
  std::vector<CollisionGrid::Box>& boxes = boxes_;
  boxes.assign(list.size(), CollisionGrid::Box{});
  int64_t sideSum = 0, counted = 0;
  for (size_t i = 0; i < list.size(); ++i) {
    CollisionGrid::Box& box = boxes[i];
    if (!list[i] || !boxOf_(*list[i], box)) {
      box.w = 0;
      continue;
    }
    // Huge boxes are kept apart anyway; they must not stretch the cells.
    if (box.w > kLarge || box.h > kLarge) continue;
    l = std::min(l, box.l);
    t = std::min(t, box.t);
    r = std::max(r, box.l + box.w - 1);
    b = std::max(b, box.t + box.h - 1);
    sideSum += std::max(box.w, box.h);
    ++counted;
  }
  // The grid covers home and the boxes with room to move, but no further
  // than kReach around home: a few far-flung objects must not stretch the
  // cells.
  if (r < l) {
    l = home.l;
    t = home.t;
    r = home.r;
    b = home.b;
  } else if (home.l <= home.r && home.t <= home.b) {
    l = std::min(l, home.l);
    t = std::min(t, home.t);
    r = std::max(r, home.r);
    b = std::max(b, home.b);
  }
  l -= kRoom;
  t -= kRoom;
  r += kRoom;
  b += kRoom;
  const int64_t cl = std::max(l, home.l - kReach), ct = std::max(t, home.t - kReach);
  const int64_t cr = std::min(r, home.r + kReach), cb = std::min(b, home.b + kReach);
  if (cl <= cr && ct <= cb) {
    l = cl;
    t = ct;
    r = cr;
    b = cb;
  }
  // Cells about as large as a typical box: each box then lies in a few
  // cells and each cell holds few boxes.
  int shift = kMinShift;
  const int64_t typical = counted ? sideSum / counted : 0;
  while (shift < kMaxShift && (int64_t{1} << shift) < typical) ++shift;
  grid_.reset(l, t, r, b, shift, list.size());
  for (size_t i = 0; i < list.size(); ++i)
    grid_.set(static_cast<uint32_t>(i), list[i], boxes[i].w > 0 ? &boxes[i] : nullptr);
  built_ = true;
  stale_ = false;
  outsidersAtBuild_ = grid_.outsiders();
  listVersion_ = list.version();
  luaSerial_ = Lua::callSerial();
}

void ObjectIndex::resync(size_t slot, Object* obj) {
  CollisionGrid::Box box;
  const bool in = obj && boxOf_(*obj, box);
  grid_.set(static_cast<uint32_t>(slot), obj, in ? &box : nullptr);
}

const CollisionGrid& ObjectIndex::sync(const OwnedList<Object>& list, const Area& home) {
  if (!built_ || list.version() != listVersion_ ||
      grid_.outsiders() > std::max(kMaxOutsiders, 2 * outsidersAtBuild_)) {
    rebuild(list, home);
  } else if (stale_ || Lua::callSerial() != luaSerial_) {
    // The objects lie all over memory: ask for those a few places ahead
    // while these are compared.
    constexpr size_t kAhead = 8;
    const size_t n = list.size();
    for (size_t i = 0; i < n; ++i) {
      if (i + kAhead < n)
        if (const Object* o = list[i + kAhead]) {
          __builtin_prefetch(o);
          __builtin_prefetch(reinterpret_cast<const char*>(o) + 64);
        }
      resync(i, list[i]);
    }
    stale_ = false;
    luaSerial_ = Lua::callSerial();
  }
  return grid_;
}

void ObjectIndex::stepped(size_t slot, const OwnedList<Object>& list) {
  // Anything beyond the object's own step (a script, the list changing) is
  // picked up by the next query.
  if (stale_ || !current(list) || slot >= grid_.size() ||
      grid_.entry(static_cast<uint32_t>(slot)).obj != list[slot]) {
    stale_ = true;
    return;
  }
  resync(slot, list[slot]);
}

void ObjectIndex::prefetch(size_t slot, const OwnedList<Object>& list) const {
  if (!live() || !current(list)) return;
  // One step ahead the cells, two steps ahead the object itself (the step
  // before its own, the level looks up its frame).
  grid_.prefetch(static_cast<uint32_t>(slot + 1));
  if (slot + 2 < list.size())
    if (const Object* o = list[slot + 2]) {
      __builtin_prefetch(o);
      __builtin_prefetch(reinterpret_cast<const char*>(o) + 64);
      __builtin_prefetch(reinterpret_cast<const char*>(o) + 128);
      __builtin_prefetch(reinterpret_cast<const char*>(o) + 192);
    }
}
