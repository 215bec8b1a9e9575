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

}  // namespace

bool ObjectIndex::current(const OwnedList<Object>& list) const {
  return built_ && list.version() == listVersion_ && Lua::callSerial() == luaSerial_;
}

void ObjectIndex::rebuild(const OwnedList<Object>& list, const Area& home) {
  recs_.assign(list.size(), Rec{});
  int64_t l = INT64_MAX, t = INT64_MAX, r = INT64_MIN, b = INT64_MIN;
  for (size_t i = 0; i < list.size(); ++i) {
    Rec& rec = recs_[i];
    rec.obj = list[i];
    if (!rec.obj || !boxOf_(*rec.obj, rec.box)) continue;
    rec.in = true;
    // Huge boxes are kept apart anyway; they must not stretch the cells.
    if (rec.box.w > kLarge || rec.box.h > kLarge) continue;
    l = std::min(l, rec.box.l);
    t = std::min(t, rec.box.t);
    r = std::max(r, rec.box.l + rec.box.w - 1);
    b = std::max(b, rec.box.t + rec.box.h - 1);
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
  grid_.reset(l, t, r, b);
  for (size_t i = 0; i < recs_.size(); ++i)
    if (recs_[i].in) grid_.insert({recs_[i].obj, static_cast<uint32_t>(i), recs_[i].box});
  built_ = true;
  stale_ = false;
  outsidersAtBuild_ = grid_.outsiders();
  listVersion_ = list.version();
  luaSerial_ = Lua::callSerial();
}

void ObjectIndex::resync(size_t slot) {
  Rec& rec = recs_[slot];
  if (!rec.obj) return;
  CollisionGrid::Box box;
  const bool in = boxOf_(*rec.obj, box);
  const CollisionGrid::Entry old{rec.obj, static_cast<uint32_t>(slot), rec.box};
  if (in && rec.in) {
    if (!(box == rec.box)) grid_.move(old, box);
  } else if (in) {
    grid_.insert({rec.obj, static_cast<uint32_t>(slot), box});
  } else if (rec.in) {
    grid_.remove(old);
  }
  rec.in = in;
  rec.box = box;
}

const CollisionGrid& ObjectIndex::sync(const OwnedList<Object>& list, const Area& home) {
  if (!built_ || list.version() != listVersion_ ||
      grid_.outsiders() > std::max(kMaxOutsiders, 2 * outsidersAtBuild_)) {
    rebuild(list, home);
  } else if (stale_ || Lua::callSerial() != luaSerial_) {
    for (size_t i = 0; i < recs_.size(); ++i) resync(i);
    stale_ = false;
    luaSerial_ = Lua::callSerial();
  }
  return grid_;
}

void ObjectIndex::stepped(size_t slot, const OwnedList<Object>& list) {
  // Anything beyond the object's own step (a script, the list changing) is
  // picked up by the next query.
  if (stale_ || !current(list) || slot >= recs_.size() || recs_[slot].obj != list[slot]) {
    stale_ = true;
    return;
  }
  resync(slot);
}
