// A uniform grid over boxes for the object collision queries: each entry
// is an object, its place in its list and a box; a query returns, among the
// entries whose box may touch an area and that pass the caller's exact
// test, the one earliest in the list. Boxes too large for the grid (or
// lying outside the area it was laid over) are kept apart and tested by
// every query.
#pragma once

#include <cstddef>
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
    Object* obj;
    uint32_t order;
    Box box;
  };

  // Lays the grid over the rectangle l .. r, t .. b (inclusive) and empties
  // it. Cells are 64 pixels or larger, so that the grid stays small.
  void reset(int64_t l, int64_t t, int64_t r, int64_t b);
  void clear();
  void insert(const Entry& e);
  // `e` as it was inserted (its box decides the cells it is in).
  void remove(const Entry& e);
  // Moves an inserted entry to a new box.
  void move(const Entry& e, const Box& to);
  // Entries kept apart (large or outside the grid); the owner lays the grid
  // anew when they become many.
  size_t outsiders() const { return outside_.size(); }

  // Cells an area spans; queries over many cells are better answered by a
  // walk over the list.
  uint64_t cellsSpanned(int64_t l, int64_t t, int64_t r, int64_t b) const;

  // The entry of lowest order whose box may touch the area l .. r, t .. b
  // and for which test(entry) holds; null when none does.
  template <class Test>
  const Entry* first(int64_t l, int64_t t, int64_t r, int64_t b, Test&& test) const {
    const Entry* best = nullptr;
    auto consider = [&](const Entry& e) {
      if ((!best || e.order < best->order) && test(e)) best = &e;
    };
    for (const Entry& e : outside_) consider(e);
    int64_t cx0, cy0, cx1, cy1;
    if (clampRange(l, t, r, b, cx0, cy0, cx1, cy1)) {
      for (int64_t cy = cy0; cy <= cy1; ++cy)
        for (int64_t cx = cx0; cx <= cx1; ++cx)
          for (const Entry& e : cells_[static_cast<size_t>(cy * cols_ + cx)]) consider(e);
    }
    return best;
  }

 private:
  static constexpr int64_t kMaxCells = 1 << 18;
  static constexpr int64_t kMaxEntryCells = 16;

  // The cells of a box; false when it belongs outside the grid.
  bool cellRange(const Box& b, int64_t& cx0, int64_t& cy0, int64_t& cx1, int64_t& cy1) const;
  // The cells of the grid that an area touches; false when none.
  bool clampRange(int64_t l, int64_t t, int64_t r, int64_t b, int64_t& cx0, int64_t& cy0,
                  int64_t& cx1, int64_t& cy1) const;
  static void drop(std::vector<Entry>& v, const Object* o);

  int64_t ox_ = 0, oy_ = 0;  // top-left pixel of the grid
  int shift_ = 6;            // cell size 1 << shift_
  int64_t cols_ = 0, rows_ = 0;
  std::vector<std::vector<Entry>> cells_;
  std::vector<Entry> outside_;
};
