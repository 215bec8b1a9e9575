// Sprite images: the format checks (PNG, BMP, TGA) and the decoders behind them, on the input
// as it is and with every chunk CRC recomputed (so mutated chunks reach libpng).
#include <zlib.h>

#include <cstring>
#include <vector>

#include "fuzz/fuzz_util.h"
#include "render/png_check.h"

// Rewrites the CRC of every chunk that fits the buffer; false when nothing
// changed.
static bool repairCrcs(std::vector<uint8_t>& b) {
  bool changed = false;
  for (size_t pos = 8; b.size() >= pos + 12;) {
    const uint32_t len =
        uint32_t(b[pos]) << 24 | uint32_t(b[pos + 1]) << 16 | uint32_t(b[pos + 2]) << 8 | b[pos + 3];
    if (len > b.size() - pos - 12) break;
    const uint32_t crc = static_cast<uint32_t>(crc32(0L, &b[pos + 4], len + 4));
    const uint8_t want[4] = {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)};
    changed |= std::memcmp(&b[pos + 8 + len], want, 4) != 0;
    std::memcpy(&b[pos + 8 + len], want, 4);
    pos += 12 + size_t(len);
  }
  return changed;
}

static void decodeOne(const uint8_t* data, size_t size) {
  static const uint8_t kPng[8] = {137, 80, 78, 71, 13, 10, 26, 10};
  const bool isPng = size >= 8 && std::memcmp(data, kPng, 8) == 0;
  const bool isBmp = !isPng && size >= 2 && data[0] == 'B' && data[1] == 'M';
  const bool sound = isPng ? pngCheck(data, size)
                     : isBmp ? bmpCheck(data, size)
                             : tgaCheck(data, size);
  SurfacePtr s = decodeImage(data, size);
  // Nothing the check refuses may reach the decoder's output, and what
  // comes out has the checked size limits.
  if (s && !sound) std::abort();
  if (s && (s->w <= 0 || s->h <= 0 || uint32_t(s->w) > kPngMaxSide ||
            uint32_t(s->h) > kPngMaxSide))
    std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  decodeOne(data, size);
  std::vector<uint8_t> fixed(data, data + size);
  if (repairCrcs(fixed)) decodeOne(fixed.data(), fixed.size());
  return 0;
}
