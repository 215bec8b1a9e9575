// A uniform grid over boxes for the object collision queries. Entries are
// numbered by their place in their list (the order the queries honour); each
// has an object and a box. A query returns, among the entries whose box may
// overlap an area and that the caller accepts, the one earliest in the
// list. Cells hold the boxes with their entry numbers, in increasing order,
// so a query stops looking through a cell at its first hit and reads
// nothing else until it has one. Boxes too large for the grid (or
// lying outside the area it was laid over) are kept apart and tested by
// every query.
#pragma once

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <vector>

class Object;

class CollisionGrid {
 public:
  // Pixel rectangle: columns l .. l + w - 1, rows t .. t + h - 1; w, h > 0.
  struct Box {
    int64_t l = 0, t = 0;
    int64_t w = 0, h = 0;
    bool operator==(const Box& o) const { return l == o.l && t == o.t && w == o.w && h == o.h; }
  };
  struct Entry {
    Object* obj = nullptr;
    Box box;
    bool in = false;       // takes part in the queries
    bool outside = false;  // kept apart (when in)
    // The cells it is in (when in and not outside).
    int32_t cx0 = 0, cy0 = 0, cx1 = -1, cy1 = -1;
  };

  // Lays the grid over the rectangle l .. r, t .. b (inclusive), with cells
  // of 1 << cellShift pixels or larger (so that the grid stays small), for
  // entries 0 .. count - 1, all empty.
  void reset(int64_t l, int64_t t, int64_t r, int64_t b, int cellShift, size_t count);
  // Entry `order` becomes `obj` with `box`, or takes no part (box null).
  void set(uint32_t order, Object* obj, const Box* box);
  const Entry& entry(uint32_t order) const { return entries_[order]; }
  size_t size() const { return entries_.size(); }
  // Entries kept apart (large or outside the grid); the owner lays the grid
  // anew when they become many.
  size_t outsiders() const { return outside_.size(); }

  // Asks the memory system early for what queries near entry `order` will
  // read (its cells and their neighbours).
  void prefetch(uint32_t order) const;

  // Cells an area spans; queries over many cells are better answered by a
  // walk over the list.
  uint64_t cellsSpanned(int64_t l, int64_t t, int64_t r, int64_t b) const {
    int64_t cx0, cy0, cx1, cy1;
    if (!clampRange(l, t, r, b, cx0, cy0, cx1, cy1)) return 0;
    return static_cast<uint64_t>((cx1 - cx0 + 1) * (cy1 - cy0 + 1));
  }

  // The object of the entry of lowest order whose box overlaps the area
  // l .. r, t .. b and for which accept(object, order) holds; null when
  // none does.
  template <class Accept>
  Object* first(int64_t l, int64_t t, int64_t r, int64_t b, Accept&& accept) const {
    uint32_t best = kNone;
    for (uint32_t o : outside_) {
      if (o >= best) break;
      const Box& x = entries_[o].box;
      if (l < x.l + x.w && x.l <= r && t < x.t + x.h && x.t <= b && accept(objs_[o], o)) {
        best = o;
        break;
      }
    }
    int64_t cx0, cy0, cx1, cy1;
    if (clampRange(l, t, r, b, cx0, cy0, cx1, cy1)) {
      // Every box in a cell lies within 0 .. kMaxRel of the origin.
      const int32_t ql = rel(l - ox_), qt = rel(t - oy_), qr = rel(r - ox_), qb = rel(b - oy_);
      for (int64_t cy = cy0; cy <= cy1; ++cy)
        for (int64_t cx = cx0; cx <= cx1; ++cx) {
          const Cell& c = cells_[static_cast<size_t>(cy * cols_ + cx)];
          const Item* it = items(c);
          for (const Item* end = it + c.n; it != end; ++it) {
            if (it->order >= best) break;
            if (ql <= it->r && it->l <= qr && qt <= it->b && it->t <= qb &&
                accept(objs_[it->order], it->order)) {
              best = it->order;
              break;
            }
          }
        }
    }
    return best == kNone ? nullptr : objs_[best];
  }

 private:
  static constexpr uint32_t kNone = UINT32_MAX;
  static constexpr int64_t kMaxRel = int64_t{1} << 30;
  // A box in the cells, relative to the grid's origin, edges inclusive.
  struct Item {
    int32_t l, t, r, b;
    uint32_t order;
  };
  // A cell holds its first few items in place, in one cache line with its
  // count; a crowded one keeps them all in a vector of spills_ instead.
  static constexpr uint32_t kInline = 3;
  struct alignas(64) Cell {
    uint32_t n = 0;
    union {
      Item in[kInline];
      uint32_t spill;  // when n > kInline
    };
    Cell() : spill(0) {}
  };
  const Item* items(const Cell& c) const { return c.n <= kInline ? c.in : spills_[c.spill].data(); }
  static int32_t rel(int64_t v) {
    return static_cast<int32_t>(v < -1 ? -1 : v > kMaxRel + 1 ? kMaxRel + 1 : v);
  }
  static constexpr int64_t kMaxCells = 1 << 18;
  static constexpr int64_t kMaxEntryCells = 16;

  // The cells of a box; false when it belongs outside the grid.
  bool cellRange(const Box& b, int32_t& cx0, int32_t& cy0, int32_t& cx1, int32_t& cy1) const;
  // The cells of the grid that an area touches; false when none.
  bool clampRange(int64_t l, int64_t t, int64_t r, int64_t b, int64_t& cx0, int64_t& cy0,
                  int64_t& cx1, int64_t& cy1) const {
    if (cols_ == 0 || r < l || b < t) return false;
    cx0 = std::max<int64_t>(0, (l - ox_) >> shift_);
    cy0 = std::max<int64_t>(0, (t - oy_) >> shift_);
    cx1 = std::min<int64_t>(cols_ - 1, (r - ox_) >> shift_);
    cy1 = std::min<int64_t>(rows_ - 1, (b - oy_) >> shift_);
    return cx0 <= cx1 && cy0 <= cy1;
  }
  void link(uint32_t order);
  void unlink(uint32_t order);
  Item item(uint32_t order) const;
  static void put(std::vector<uint32_t>& v, uint32_t order);
  static void drop(std::vector<uint32_t>& v, uint32_t order);
  void put(Cell& c, const Item& it);
  void drop(Cell& c, uint32_t order);
  void update(Cell& c, const Item& it);
  void empty(Cell& c);

  int64_t ox_ = 0, oy_ = 0;  // top-left pixel of the grid
  int shift_ = 6;            // cell size 1 << shift_
  int64_t cols_ = 0, rows_ = 0;
  std::vector<Cell> cells_;
  std::vector<std::vector<Item>> spills_;
  std::vector<uint32_t> freeSpills_;
  std::vector<uint32_t> outside_;
  std::vector<Entry> entries_;
  // The entries' objects apart, packed: the queries read them on every
  // overlap.
  std::vector<Object*> objs_;
};
