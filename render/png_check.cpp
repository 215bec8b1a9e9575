#include "render/png_check.h"

#include <SDL/SDL_image.h>
#include <zlib.h>

namespace {

const uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

uint32_t be32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

bool isLetter(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool refuse(std::string* why, const char* text) {
  if (why) *why = text;
  return false;
}

bool depthFits(uint8_t colourType, uint8_t depth) {
  switch (colourType) {
    case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6: return depth == 8 || depth == 16;
    default: return false;
  }
}

bool headerSane(const uint8_t* d, std::string* why) {
  const uint32_t w = be32(d), h = be32(d + 4);
  if (w == 0 || h == 0) return refuse(why, "zero image size");
  if (w > kPngMaxSide || h > kPngMaxSide || uint64_t(w) * h > kPngMaxPixels)
    return refuse(why, "image too large");
  if (!depthFits(d[9], d[8])) return refuse(why, "bad bit depth or colour type");
  if (d[10] != 0 || d[11] != 0) return refuse(why, "unknown compression or filter method");
  if (d[12] > 1) return refuse(why, "unknown interlace method");
  return true;
}

struct RWCloser {
  void operator()(SDL_RWops* rw) const { SDL_RWclose(rw); }
};

}  // namespace

bool pngCheck(const uint8_t* data, size_t size, std::string* why) {
  if (!data || size < sizeof kSignature) return refuse(why, "too short");
  for (size_t i = 0; i < sizeof kSignature; ++i)
    if (data[i] != kSignature[i]) return refuse(why, "no PNG signature");
  size_t pos = sizeof kSignature;
  bool first = true, sawData = false;
  for (;;) {
    if (size - pos < 12) return refuse(why, "truncated chunk");
    const uint32_t len = be32(data + pos);
    if (len > 0x7fffffffu || len > size - pos - 12) return refuse(why, "chunk runs past the end");
    const uint8_t* type = data + pos + 4;
    for (int i = 0; i < 4; ++i)
      if (!isLetter(type[i])) return refuse(why, "bad chunk type");
    // The CRC covers the type and the data.
    uLong crc = crc32(0L, type, static_cast<uInt>(len) + 4);
    if (crc != be32(type + 4 + len)) return refuse(why, "bad chunk CRC");
    const bool isHeader = type[0] == 'I' && type[1] == 'H' && type[2] == 'D' && type[3] == 'R';
    if (first) {
      if (!isHeader || len != 13) return refuse(why, "IHDR is not first");
      if (!headerSane(type + 4, why)) return false;
      first = false;
    } else if (isHeader) {
      return refuse(why, "second IHDR");
    }
    if (type[0] == 'I' && type[1] == 'D' && type[2] == 'A' && type[3] == 'T') sawData = true;
    if (type[0] == 'I' && type[1] == 'E' && type[2] == 'N' && type[3] == 'D') {
      if (len != 0) return refuse(why, "IEND with data");
      if (!sawData) return refuse(why, "no IDAT");
      return true;
    }
    pos += 12 + size_t(len);
  }
}

SurfacePtr decodePng(const uint8_t* data, size_t size) {
  if (!pngCheck(data, size) || size > 0x7fffffff) return nullptr;
  std::unique_ptr<SDL_RWops, RWCloser> rw(SDL_RWFromConstMem(data, static_cast<int>(size)));
  if (!rw) return nullptr;
  return SurfacePtr(IMG_LoadPNG_RW(rw.get()));
}
