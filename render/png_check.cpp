#include "render/png_check.h"

#include <SDL/SDL_image.h>
#include <zlib.h>

#include <climits>
#include <cstring>

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

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

bool sizeFits(uint64_t w, uint64_t h, std::string* why) {
  if (w == 0 || h == 0) return refuse(why, "zero image size");
  if (w > kPngMaxSide || h > kPngMaxSide || w * h > kPngMaxPixels)
    return refuse(why, "image too large");
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
    // The CRC covers the type and the data. A damaged ancillary chunk
    // (lower-case first letter) is only warned about and skipped by libpng.
    const bool critical = type[0] >= 'A' && type[0] <= 'Z';
    if (critical && crc32(0L, type, static_cast<uInt>(len) + 4) != be32(type + 4 + len))
      return refuse(why, "bad chunk CRC");
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

bool bmpCheck(const uint8_t* data, size_t size, std::string* why) {
  if (!data || size < 26) return refuse(why, "too short");
  if (data[0] != 'B' || data[1] != 'M') return refuse(why, "no BMP signature");
  const uint32_t headerSize = le32(data + 14);
  uint64_t w, h;
  uint32_t bits, colours = 0, compression = 0;
  bool topDown = false;  // the top row first
  if (headerSize == 12) {  // OS/2 core header
    w = le16(data + 18);
    h = le16(data + 20);
    bits = le16(data + 24);
  } else if (headerSize >= 40 && headerSize <= 124) {
    if (size < 14 + 40) return refuse(why, "too short");
    const int32_t sw = static_cast<int32_t>(le32(data + 18));
    const int32_t sh = static_cast<int32_t>(le32(data + 22));
    if (sw <= 0 || sh == INT32_MIN) return refuse(why, "zero image size");
    topDown = sh < 0;
    w = uint64_t(sw);
    h = uint64_t(sh < 0 ? -int64_t(sh) : sh);
    bits = le16(data + 28);
    compression = le32(data + 30);
    colours = le32(data + 46);
  } else {
    return refuse(why, "unknown BMP header");
  }
  if (!sizeFits(w, h, why)) return false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
    return refuse(why, "bad bit depth");
  // 0 none, 1 and 2 run-length (8 and 4 bits, bottom row first), 3 bit
  // fields (16 and 32 bits).
  if (compression > 3 || (compression == 1 && (bits != 8 || topDown)) ||
      (compression == 2 && (bits != 4 || topDown)) || (compression == 3 && bits != 16 && bits != 32))
    return refuse(why, "unknown BMP compression");
  // The decoder makes the whole surface before it reads a pixel: rows that
  // are not in the file must not cost their memory first.
  const uint64_t rowBytes = (w * bits + 31) / 32 * 4;
  if ((compression == 0 || compression == 3) && size < uint64_t(le32(data + 10)) + rowBytes * h)
    return refuse(why, "truncated image data");
  // The decoder fills a palette of 2^bits entries with as many colours as
  // the header claims.
  if (bits <= 8 && colours > (1u << bits)) return refuse(why, "palette too large");
  return true;
}

bool tgaCheck(const uint8_t* data, size_t size, std::string* why) {
  if (!data || size < 18) return refuse(why, "too short");
  const uint8_t cmapType = data[1], kind = data[2], cmapBits = data[7], bits = data[16];
  const uint16_t cmapLen = le16(data + 5);
  if (cmapType > 1) return refuse(why, "no TGA header");
  switch (kind & ~8) {  // bit 3: run-length encoded
    case 1:             // colour-mapped
      if (cmapType != 1 || bits != 8 || cmapLen > 256) return refuse(why, "bad TGA palette");
      break;
    case 2:  // true colour
      if (bits != 15 && bits != 16 && bits != 24 && bits != 32) return refuse(why, "bad bit depth");
      break;
    case 3:  // grey
      if (bits != 8) return refuse(why, "bad bit depth");
      break;
    default:
      return refuse(why, "no TGA header");
  }
  // A palette, whatever the kind of image, has entries of a size the
  // decoder knows.
  if (cmapType == 1 && cmapBits != 15 && cmapBits != 16 && cmapBits != 24 && cmapBits != 32)
    return refuse(why, "bad TGA palette");
  const uint64_t w = le16(data + 12), h = le16(data + 14);
  if (!sizeFits(w, h, why)) return false;
  // The decoder reads on past the end of the data without noticing: the file
  // must hold every pixel (a run-length packet covers at most 128 of them),
  // or a small file claiming a large picture spins through millions of reads.
  const uint64_t pixelBytes = (bits + 7u) / 8u;
  const uint64_t palette = cmapType == 1 ? uint64_t(cmapLen) * ((cmapBits + 7u) / 8u) : 0;
  const uint64_t pixels = (kind & 8) ? (w * h + 127) / 128 * (1 + pixelBytes) : w * h * pixelBytes;
  if (size < 18 + uint64_t(data[0]) + palette + pixels) return refuse(why, "truncated image data");
  return true;
}

SurfacePtr decodePng(const uint8_t* data, size_t size) {
  if (!pngCheck(data, size) || size > 0x7fffffff) return nullptr;
  std::unique_ptr<SDL_RWops, RWCloser> rw(SDL_RWFromConstMem(data, static_cast<int>(size)));
  if (!rw) return nullptr;
  return SurfacePtr(IMG_LoadPNG_RW(rw.get()));
}

SurfacePtr decodeImage(const uint8_t* data, size_t size) {
  if (!data || size > 0x7fffffff) return nullptr;
  if (size >= sizeof kSignature && std::memcmp(data, kSignature, sizeof kSignature) == 0)
    return decodePng(data, size);
  SDL_Surface* (*decoder)(SDL_RWops*) = nullptr;
  if (size >= 2 && data[0] == 'B' && data[1] == 'M') {
    if (bmpCheck(data, size)) decoder = IMG_LoadBMP_RW;
  } else if (tgaCheck(data, size)) {
    decoder = IMG_LoadTGA_RW;
  }
  if (!decoder) return nullptr;
  std::unique_ptr<SDL_RWops, RWCloser> rw(SDL_RWFromConstMem(data, static_cast<int>(size)));
  if (!rw) return nullptr;
  return SurfacePtr(decoder(rw.get()));
}
