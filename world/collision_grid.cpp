#include "world/collision_grid.h"

#include <algorithm>

void CollisionGrid::reset(int64_t l, int64_t t, int64_t r, int64_t b) {
  clear();
  if (r < l || b < t) {
    cols_ = rows_ = 0;
    cells_.clear();
    return;
  }
  shift_ = 6;
  auto span = [&](int64_t lo, int64_t hi) { return ((hi - lo) >> shift_) + 1; };
  while (span(l, r) * span(t, b) > kMaxCells && shift_ < 40) ++shift_;
  ox_ = l;
  oy_ = t;
  cols_ = span(l, r);
  rows_ = span(t, b);
  const size_t n = static_cast<size_t>(cols_ * rows_);
  if (cells_.size() != n) cells_.resize(n);
}

void CollisionGrid::clear() {
  for (auto& c : cells_) c.clear();
  outside_.clear();
}

bool CollisionGrid::cellRange(const Box& b, int64_t& cx0, int64_t& cy0, int64_t& cx1,
                              int64_t& cy1) const {
  if (cols_ == 0) return false;
  cx0 = (b.l - ox_) >> shift_;
  cy0 = (b.t - oy_) >> shift_;
  cx1 = (b.l + b.w - 1 - ox_) >> shift_;
  cy1 = (b.t + b.h - 1 - oy_) >> shift_;
  if (cx0 < 0 || cy0 < 0 || cx1 >= cols_ || cy1 >= rows_) return false;
  return (cx1 - cx0 + 1) * (cy1 - cy0 + 1) <= kMaxEntryCells;
}

bool CollisionGrid::clampRange(int64_t l, int64_t t, int64_t r, int64_t b, int64_t& cx0,
                               int64_t& cy0, int64_t& cx1, int64_t& cy1) const {
  if (cols_ == 0 || r < l || b < t) return false;
  cx0 = std::max<int64_t>(0, (l - ox_) >> shift_);
  cy0 = std::max<int64_t>(0, (t - oy_) >> shift_);
  cx1 = std::min<int64_t>(cols_ - 1, (r - ox_) >> shift_);
  cy1 = std::min<int64_t>(rows_ - 1, (b - oy_) >> shift_);
  return cx0 <= cx1 && cy0 <= cy1;
}

uint64_t CollisionGrid::cellsSpanned(int64_t l, int64_t t, int64_t r, int64_t b) const {
  int64_t cx0, cy0, cx1, cy1;
  if (!clampRange(l, t, r, b, cx0, cy0, cx1, cy1)) return 0;
  return static_cast<uint64_t>((cx1 - cx0 + 1) * (cy1 - cy0 + 1));
}

void CollisionGrid::insert(const Entry& e) {
  int64_t cx0, cy0, cx1, cy1;
  if (!cellRange(e.box, cx0, cy0, cx1, cy1)) {
    outside_.push_back(e);
    return;
  }
  for (int64_t cy = cy0; cy <= cy1; ++cy)
    for (int64_t cx = cx0; cx <= cx1; ++cx)
      cells_[static_cast<size_t>(cy * cols_ + cx)].push_back(e);
}

void CollisionGrid::drop(std::vector<Entry>& v, const Object* o) {
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i].obj != o) continue;
    v[i] = v.back();
    v.pop_back();
    return;
  }
}

void CollisionGrid::remove(const Entry& e) {
  int64_t cx0, cy0, cx1, cy1;
  if (!cellRange(e.box, cx0, cy0, cx1, cy1)) {
    drop(outside_, e.obj);
    return;
  }
  for (int64_t cy = cy0; cy <= cy1; ++cy)
    for (int64_t cx = cx0; cx <= cx1; ++cx)
      drop(cells_[static_cast<size_t>(cy * cols_ + cx)], e.obj);
}

void CollisionGrid::move(const Entry& e, const Box& to) {
  int64_t a0, b0, a1, b1, c0, d0, c1, d1;
  const bool inFrom = cellRange(e.box, a0, b0, a1, b1);
  const bool inTo = cellRange(to, c0, d0, c1, d1);
  if (inFrom && inTo && a0 == c0 && b0 == d0 && a1 == c1 && b1 == d1) {
    // Same cells: only the stored box changes.
    for (int64_t cy = b0; cy <= b1; ++cy)
      for (int64_t cx = a0; cx <= a1; ++cx)
        for (Entry& x : cells_[static_cast<size_t>(cy * cols_ + cx)])
          if (x.obj == e.obj) x.box = to;
    return;
  }
  if (!inFrom && !inTo) {
    for (Entry& x : outside_)
      if (x.obj == e.obj) x.box = to;
    return;
  }
  remove(e);
  Entry moved = e;
  moved.box = to;
  insert(moved);
}
