// Keeps a collision grid in step with one object list, so that the object
// queries of the physics need not walk the whole list.
//
// The grid is used only while its owner has it open: during the world's
// step, where every change to a box is known. Within that stretch a box
// changes in three ways only: the object that has just stepped moved,
// animated or switched sprites (the walk reports it with `stepped`); a
// script ran (any protected call into Lua, counted by Lua::callSerial) and
// may have changed anything; the list itself changed (OwnedList::version).
// The first costs one record, the second a pass that compares every record
// with its object, the third a rebuild. Outside an open stretch the owner
// answers queries with the list walk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "world/collision_grid.h"
#include "world/object.h"
#include "world/owned_list.h"

class ObjectIndex {
 public:
  // The box an object presents to the queries; false when it takes no part.
  using BoxOf = bool (*)(const Object&, CollisionGrid::Box&);
  explicit ObjectIndex(BoxOf boxOf) : boxOf_(boxOf) {}

  // Program-wide switch (on by default); the differential tests and the
  // benchmarks run the same world with and without the index.
  static bool enabled;

  void open() {
    if (open_++ == 0) stale_ = true;
  }
  void close() {
    if (open_ > 0) --open_;
  }
  bool live() const { return open_ > 0 && enabled; }

  // Where most objects are (the level's or the frame's area), inclusive.
  struct Area {
    int64_t l, t, r, b;
  };
  // The grid, up to date with `list`.
  const CollisionGrid& sync(const OwnedList<Object>& list, const Area& home);
  // The element in `slot` of `list` has stepped.
  void stepped(size_t slot, const OwnedList<Object>& list);

  // Before the element in `slot` steps: asks the memory system for what
  // the next steps will read.
  void prefetch(size_t slot, const OwnedList<Object>& list) const;

  // Queries spanning more cells than this walk the list instead.
  static constexpr uint64_t kMaxQueryCells = 64;

 private:
  void rebuild(const OwnedList<Object>& list, const Area& home);
  void resync(size_t slot, Object* obj);
  bool current(const OwnedList<Object>& list) const;

  BoxOf boxOf_;
  CollisionGrid grid_;
  std::vector<CollisionGrid::Box> boxes_;  // scratch of rebuild()
  int open_ = 0;
  bool built_ = false;  // the grid's entries follow the list's slots (as of listVersion_)
  bool stale_ = true;   // some record may differ from its object
  uint64_t listVersion_ = 0;
  uint64_t luaSerial_ = 0;
  size_t outsidersAtBuild_ = 0;
};
