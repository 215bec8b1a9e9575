// Builds image files byte by byte for the image tests: proper RGBA images
// with chosen pixels (PNG, BMP, TGA), and hand-made PNG chunk sequences for
// broken ones.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace pngtest {

inline void put32(std::string& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(v >> shift);
}

inline std::string signature() { return std::string("\x89PNG\r\n\x1a\n", 8); }

// One chunk with a correct CRC (or a wrong one when `badCrc`).
inline std::string chunk(const std::string& type, const std::string& data, bool badCrc = false) {
  std::string out;
  put32(out, static_cast<uint32_t>(data.size()));
  std::string body = type + data;
  out += body;
  uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
  put32(out, static_cast<uint32_t>(crc) ^ (badCrc ? 1u : 0u));
  return out;
}

inline std::string ihdr(uint32_t w, uint32_t h, uint8_t depth = 8, uint8_t colourType = 6,
                        uint8_t interlace = 0) {
  std::string d;
  put32(d, w);
  put32(d, h);
  d += {static_cast<char>(depth), static_cast<char>(colourType), '\0', '\0',
        static_cast<char>(interlace)};
  return chunk("IHDR", d);
}

// zlib's deflate stream (a gzip one when `gzip`), as PNG and Tiled store data.
inline std::string deflate(const std::string& raw, bool gzip = false) {
  z_stream zs{};
  deflateInit2(&zs, 6, Z_DEFLATED, gzip ? 31 : 15, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&zs, uLong(raw.size())), '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
  zs.avail_in = uInt(raw.size());
  zs.next_out = reinterpret_cast<Bytef*>(&out[0]);
  zs.avail_out = uInt(out.size());
  ::deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

struct Rgba8 {
  uint8_t r, g, b, a;
};

// An 8-bit RGBA image.
struct Image {
  uint32_t w, h;
  std::vector<Rgba8> px;
  Image(uint32_t w_, uint32_t h_, Rgba8 fill = {0, 0, 0, 0}) : w(w_), h(h_), px(size_t(w_) * h_, fill) {}
  Rgba8& at(uint32_t x, uint32_t y) { return px[size_t(y) * w + x]; }
  void rect(uint32_t x0, uint32_t y0, uint32_t rw, uint32_t rh, Rgba8 c) {
    for (uint32_t y = y0; y < y0 + rh; ++y)
      for (uint32_t x = x0; x < x0 + rw; ++x) at(x, y) = c;
  }

  std::string encode() const {
    std::string raw;
    raw.reserve(size_t(h) * (1 + size_t(w) * 4));
    for (uint32_t y = 0; y < h; ++y) {
      raw += '\0';  // filter type none
      for (uint32_t x = 0; x < w; ++x) {
        const Rgba8& c = px[size_t(y) * w + x];
        raw += {static_cast<char>(c.r), static_cast<char>(c.g), static_cast<char>(c.b),
                static_cast<char>(c.a)};
      }
    }
    return signature() + ihdr(w, h) + chunk("IDAT", deflate(raw)) + chunk("IEND", "");
  }

  // A 24-bit BMP, bottom row first (alpha is dropped).
  std::string bmp() const {
    const uint32_t row = (w * 3 + 3) & ~3u;
    std::string out = "BM";
    auto le = [&out](uint32_t v, int n) {
      for (int i = 0; i < n; ++i) out += static_cast<char>(v >> (8 * i));
    };
    le(54 + row * h, 4), le(0, 4), le(54, 4);
    le(40, 4), le(w, 4), le(h, 4), le(1, 2), le(24, 2), le(0, 4), le(row * h, 4);
    le(2835, 4), le(2835, 4), le(0, 4), le(0, 4);
    for (uint32_t y = h; y-- > 0;) {
      for (uint32_t x = 0; x < w; ++x) {
        const Rgba8& c = px[size_t(y) * w + x];
        out += {static_cast<char>(c.b), static_cast<char>(c.g), static_cast<char>(c.r)};
      }
      out.append(row - w * 3, '\0');
    }
    return out;
  }

  // An uncompressed 32-bit TGA, top row first.
  std::string tga() const {
    std::string out = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    out += {static_cast<char>(w), static_cast<char>(w >> 8), static_cast<char>(h),
            static_cast<char>(h >> 8), 32, 0x28};
    for (const Rgba8& c : px)
      out += {static_cast<char>(c.b), static_cast<char>(c.g), static_cast<char>(c.r),
              static_cast<char>(c.a)};
    return out;
  }
};

}  // namespace pngtest
