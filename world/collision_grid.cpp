#include "world/collision_grid.h"

#include <algorithm>

void CollisionGrid::reset(int64_t l, int64_t t, int64_t r, int64_t b, int cellShift,
                          size_t count) {
  // Only the cells of the entries can hold anything.
  for (const Entry& e : entries_)
    if (e.in && !e.outside)
      for (int64_t cy = e.cy0; cy <= e.cy1; ++cy)
        for (int64_t cx = e.cx0; cx <= e.cx1; ++cx) empty(cells_[static_cast<size_t>(cy * cols_ + cx)]);
  outside_.clear();
  entries_.assign(count, Entry{});
  objs_.assign(count, nullptr);
  if (r < l || b < t) {
    cols_ = rows_ = 0;
    cells_.clear();
    return;
  }
  shift_ = std::max(cellShift, 2);
  auto span = [&](int64_t lo, int64_t hi) { return ((hi - lo) >> shift_) + 1; };
  while (span(l, r) * span(t, b) > kMaxCells && shift_ < 40) ++shift_;
  ox_ = l;
  oy_ = t;
  cols_ = span(l, r);
  rows_ = span(t, b);
  const size_t n = static_cast<size_t>(cols_ * rows_);
  if (cells_.size() != n) cells_.assign(n, Cell{});
}

bool CollisionGrid::cellRange(const Box& b, int32_t& cx0, int32_t& cy0, int32_t& cx1,
                              int32_t& cy1) const {
  if (cols_ == 0) return false;
  const int64_t x0 = (b.l - ox_) >> shift_, y0 = (b.t - oy_) >> shift_;
  const int64_t x1 = (b.l + b.w - 1 - ox_) >> shift_, y1 = (b.t + b.h - 1 - oy_) >> shift_;
  if (x0 < 0 || y0 < 0 || x1 >= cols_ || y1 >= rows_) return false;
  if (b.l + b.w - 1 - ox_ > kMaxRel || b.t + b.h - 1 - oy_ > kMaxRel) return false;
  if ((x1 - x0 + 1) * (y1 - y0 + 1) > kMaxEntryCells) return false;
  cx0 = static_cast<int32_t>(x0);
  cy0 = static_cast<int32_t>(y0);
  cx1 = static_cast<int32_t>(x1);
  cy1 = static_cast<int32_t>(y1);
  return true;
}

void CollisionGrid::put(std::vector<uint32_t>& v, uint32_t order) {
  if (v.empty() || v.back() < order)
    v.push_back(order);
  else
    v.insert(std::lower_bound(v.begin(), v.end(), order), order);
}

void CollisionGrid::drop(std::vector<uint32_t>& v, uint32_t order) {
  auto it = std::lower_bound(v.begin(), v.end(), order);
  if (it != v.end() && *it == order) v.erase(it);
}

CollisionGrid::Item CollisionGrid::item(uint32_t order) const {
  const Entry& e = entries_[order];
  return {static_cast<int32_t>(e.box.l - ox_), static_cast<int32_t>(e.box.t - oy_),
          static_cast<int32_t>(e.box.l + e.box.w - 1 - ox_),
          static_cast<int32_t>(e.box.t + e.box.h - 1 - oy_), order};
}

void CollisionGrid::empty(Cell& c) {
  if (c.n > kInline) {
    spills_[c.spill].clear();
    freeSpills_.push_back(c.spill);
  }
  c.n = 0;
}

void CollisionGrid::put(Cell& c, const Item& it) {
  if (c.n < kInline) {
    uint32_t at = c.n;
    while (at > 0 && c.in[at - 1].order > it.order) {
      c.in[at] = c.in[at - 1];
      --at;
    }
    c.in[at] = it;
    ++c.n;
    return;
  }
  if (c.n == kInline) {
    // Crowded: the items move out to a vector.
    uint32_t s;
    if (!freeSpills_.empty()) {
      s = freeSpills_.back();
      freeSpills_.pop_back();
    } else {
      s = static_cast<uint32_t>(spills_.size());
      spills_.emplace_back();
    }
    std::vector<Item>& v = spills_[s];
    v.assign(c.in, c.in + kInline);
    c.spill = s;
  }
  std::vector<Item>& v = spills_[c.spill];
  if (v.back().order < it.order)
    v.push_back(it);
  else
    v.insert(std::lower_bound(v.begin(), v.end(), it.order,
                              [](const Item& a, uint32_t o) { return a.order < o; }),
             it);
  ++c.n;
}

void CollisionGrid::drop(Cell& c, uint32_t order) {
  if (c.n <= kInline) {
    uint32_t at = 0;
    while (at < c.n && c.in[at].order != order) ++at;
    if (at == c.n) return;
    for (; at + 1 < c.n; ++at) c.in[at] = c.in[at + 1];
    --c.n;
    return;
  }
  std::vector<Item>& v = spills_[c.spill];
  auto it = std::lower_bound(v.begin(), v.end(), order,
                             [](const Item& a, uint32_t o) { return a.order < o; });
  if (it == v.end() || it->order != order) return;
  v.erase(it);
  --c.n;
  if (c.n == kInline) {
    // Back in place.
    const uint32_t s = c.spill;
    std::copy(v.begin(), v.end(), c.in);
    v.clear();
    freeSpills_.push_back(s);
  }
}

void CollisionGrid::update(Cell& c, const Item& it) {
  Item* p = c.n <= kInline ? c.in : spills_[c.spill].data();
  for (Item* end = p + c.n; p != end; ++p)
    if (p->order == it.order) {
      *p = it;
      return;
    }
}

void CollisionGrid::link(uint32_t order) {
  Entry& e = entries_[order];
  e.outside = !cellRange(e.box, e.cx0, e.cy0, e.cx1, e.cy1);
  if (e.outside) {
    put(outside_, order);
    return;
  }
  const Item it = item(order);
  for (int64_t cy = e.cy0; cy <= e.cy1; ++cy)
    for (int64_t cx = e.cx0; cx <= e.cx1; ++cx)
      put(cells_[static_cast<size_t>(cy * cols_ + cx)], it);
}

void CollisionGrid::unlink(uint32_t order) {
  const Entry& e = entries_[order];
  if (e.outside) {
    drop(outside_, order);
    return;
  }
  for (int64_t cy = e.cy0; cy <= e.cy1; ++cy)
    for (int64_t cx = e.cx0; cx <= e.cx1; ++cx)
      drop(cells_[static_cast<size_t>(cy * cols_ + cx)], order);
}

void CollisionGrid::set(uint32_t order, Object* obj, const Box* box) {
  Entry& e = entries_[order];
  e.obj = obj;
  objs_[order] = obj;
  if (!box) {
    if (e.in) unlink(order);
    e.in = false;
    return;
  }
  if (e.in) {
    if (e.box == *box) return;
    // Still in the same cells (or still kept apart): only the box changes.
    int32_t x0, y0, x1, y1;
    const bool inGrid = cellRange(*box, x0, y0, x1, y1);
    if (!inGrid && e.outside) {
      e.box = *box;
      return;
    }
    if (inGrid && !e.outside && x0 == e.cx0 && y0 == e.cy0 && x1 == e.cx1 && y1 == e.cy1) {
      e.box = *box;
      const Item it = item(order);
      for (int64_t cy = y0; cy <= y1; ++cy)
        for (int64_t cx = x0; cx <= x1; ++cx) update(cells_[static_cast<size_t>(cy * cols_ + cx)], it);
      return;
    }
    unlink(order);
  }
  e.in = true;
  e.box = *box;
  link(order);
}

void CollisionGrid::prefetch(uint32_t order) const {
  if (order >= entries_.size()) return;
  const Entry& e = entries_[order];
  if (!e.in || e.outside) return;
  // Probes of an object's step overlap its own box most often: the queries
  // then read its own entry's object to leave it out.
  __builtin_prefetch(&objs_[order]);
  // The probes of a step reach a little beyond the box on each side.
  const int64_t x0 = std::max<int64_t>(0, e.cx0 - 1), x1 = std::min<int64_t>(cols_ - 1, e.cx1 + 1);
  const int64_t y1 = std::min<int64_t>(rows_ - 1, e.cy1 + 1);
  for (int64_t cy = e.cy0; cy <= y1; ++cy)
    for (int64_t cx = x0; cx <= x1; ++cx) {
      const Cell& cell = cells_[static_cast<size_t>(cy * cols_ + cx)];
      __builtin_prefetch(&cell);
    }
}
