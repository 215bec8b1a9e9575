// The animation definition reader and the lookups and playback that use
// its records. The first two bytes give the image size; the rest is the
// definition text.
#include <algorithm>

#include "fuzz/fuzz_util.h"
#include "render/sprite.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  Log::Capture quiet;
  Sprite s;
  s.width = static_cast<float>(data[0] + 1);
  s.height = static_cast<float>(data[1] + 1);
  s.mask.assign(size_t(s.width) * size_t(s.height), 1);
  const std::string text = fuzz::text(data + 2, size - 2);
  if (s.parseAnims(text.c_str()) != (s.getAnimCount() > 0)) std::abort();
  for (const auto& named : s.animsByName)
    if (named.second >= s.getAnimCount()) std::abort();
  for (uint32_t i = 0; i < s.getAnimCount(); ++i) {
    const Sprite::Anim& a = *s.getAnim(i);
    if (a.frames.empty() || a.frames.size() > 16384) std::abort();
    // Every point of the box, and the corners past it, without reading
    // outside the mask.
    const uint32_t probes[] = {0, 1, a.boxX1, a.boxX2, a.boxX2 + 1, a.boxY1, a.boxY2, 0xffffffffu};
    for (uint32_t px : probes)
      for (uint32_t py : probes) (void)s.isSolid(px, py, i);
    // Playback never leaves the frame list.
    float timer = 0;
    uint32_t frame = 0;
    for (float dt : {0.016f, 0.5f, 1e-5f, 3.0f, 1e9f}) {
      advanceAnimClock(timer, frame, a, 0, dt);
      if (frame >= a.frames.size() && a.frames.size() > 1) std::abort();
    }
  }
  // Lookups by every word of the text, including unknown ones.
  for (size_t start = 0, n = 0; n < 64 && start < text.size(); ++n) {
    const size_t end = std::min(text.find_first_of(" \t\r\n", start), text.size());
    const Sprite::Anim* a = s.findAnim(text.substr(start, end - start).c_str());
    if (a && s.indexOf(a) < 0) std::abort();
    start = end + 1;
  }
  return 0;
}
