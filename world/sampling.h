// The sampling pattern of the area collision queries (blocks and frame
// objects): which pixels of a w x h area are tested, and in what order.
#pragma once

// Calls hit(px, py) on the samples of the area at (x, y), columns in
// increasing order and rows in increasing order within a column, and stops
// at the first sample for which it returns true. `every` samples each pixel;
// otherwise offsets 0, 32, 64, ... below the extent plus the extent's last
// pixel. After the columns, an area more than one row high has its
// bottom-right pixel sampled once more.
template <class Hit>
bool sampleArea(int x, int y, int w, int h, bool every, Hit&& hit) {
  if (every) {
    for (int i = 0; i < w; ++i)
      for (int j = 0; j < h; ++j)
        if (hit(x + i, y + j)) return true;
  } else if (w > 0 && h > 0) {
    // The last offset is visited separately unless the 32 grid reached it.
    const bool lastColExtra = (w - 1) % 32 != 0;
    const bool lastRowExtra = (h - 1) % 32 != 0;
    auto column = [&](int cx) {
      for (int j = 0; j < h; j += 32)
        if (hit(cx, y + j)) return true;
      return lastRowExtra && hit(cx, y + h - 1);
    };
    for (int i = 0; i < w; i += 32)
      if (column(x + i)) return true;
    if (lastColExtra && column(x + w - 1)) return true;
  }
  return h > 1 && hit(x + w - 1, y + h - 1);
}
