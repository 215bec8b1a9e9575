#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "render/png_check.h"
#include "unit/png_maker.h"

using namespace pngtest;

namespace {

const uint8_t* bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }
bool check(const std::string& s, std::string* why = nullptr) { return pngCheck(bytes(s), s.size(), why); }
bool decodes(const std::string& s) { return decodePng(bytes(s), s.size()) != nullptr; }

std::string idatOf(uint32_t w, uint32_t h) { return chunk("IDAT", deflate(std::string(size_t(h) * (1 + w * 4), '\0'))); }

}  // namespace

TEST(PngCheck, StructuralFaultsAreNamed) {
  const std::string end = chunk("IEND", "");
  auto length = [](uint32_t n) {
    std::string out;
    put32(out, n);
    return out;
  };
  const std::pair<const char*, std::string> cases[] = {
      {"no PNG signature", std::string("GIF89a..") + ihdr(1, 1) + idatOf(1, 1) + end},
      {"IHDR is not first", signature() + chunk("tEXt", "a") + ihdr(1, 1) + idatOf(1, 1) + end},
      {"second IHDR", signature() + ihdr(1, 1) + ihdr(1, 1) + idatOf(1, 1) + end},
      {"zero image size", signature() + ihdr(0, 4) + idatOf(1, 1) + end},
      {"image too large", signature() + ihdr(16385, 1) + idatOf(1, 1) + end},
      {"image too large", signature() + ihdr(9000, 9000) + idatOf(1, 1) + end},
      {"bad bit depth or colour type", signature() + ihdr(1, 1, 16, 3) + idatOf(1, 1) + end},
      {"bad bit depth or colour type", signature() + ihdr(1, 1, 8, 5) + idatOf(1, 1) + end},
      {"unknown interlace method", signature() + ihdr(1, 1, 8, 6, 2) + idatOf(1, 1) + end},
      {"no IDAT", signature() + ihdr(1, 1) + end},
      {"IEND with data", signature() + ihdr(1, 1) + idatOf(1, 1) + chunk("IEND", "x")},
      {"truncated chunk", signature() + ihdr(1, 1) + idatOf(1, 1)},
      {"bad chunk CRC", signature() + ihdr(1, 1) + chunk("IDAT", "xx", true) + end},
      {"bad chunk type", signature() + ihdr(1, 1) + chunk("ID4T", "") + idatOf(1, 1) + end},
      // An ancillary chunk claiming 2 GB in a 49-byte file: libpng would spin skipping it for ever.
      {"chunk runs past the end", signature() + ihdr(4, 4) + length(0x7ffffff0u) + "tEXtabcdefgh"},
      // Lengths with the top bit set are not PNG lengths at all.
      {"chunk runs past the end", signature() + ihdr(4, 4) + length(0x80000000u) + "IDAT" + std::string(64, 'x')},
  };
  for (const auto& c : cases) {
    std::string why;
    EXPECT_FALSE(check(c.second, &why)) << c.first;
    EXPECT_EQ(why, c.first);
    EXPECT_FALSE(decodes(c.second)) << c.first;
  }
  // The largest accepted picture: 16384 on a side within 64M pixels.
  EXPECT_TRUE(check(signature() + ihdr(16384, 4096) + idatOf(1, 1) + end));
}

// BMP and TGA go to their own decoders after a header check; a PNG whose
// damaged chunk is an ancillary one decodes (libpng skips the chunk).
TEST(PngCheck, OtherFormatsAndAncillaryChunks) {
  Image img(3, 2, {10, 20, 30, 255});
  img.at(2, 1) = {200, 100, 50, 255};
  const std::string png = img.encode();
  const std::string ancillary =
      png.substr(0, 33) + chunk("tEXt", std::string("a\0b", 3), true) + png.substr(33);
  for (const std::string& data : {img.bmp(), img.tga(), ancillary}) {
    SurfacePtr s = decodeImage(bytes(data), data.size());
    ASSERT_TRUE(s) << data.substr(0, 2);
    ASSERT_TRUE(s->w == 3 && s->h == 2);
    const int bpp = s->format->BytesPerPixel;
    Uint32 v = 0;
    std::memcpy(&v, static_cast<const uint8_t*>(s->pixels) + s->pitch + 2 * bpp, bpp);
    Uint8 r, g, b, a;
    SDL_GetRGBA(v, s->format, &r, &g, &b, &a);
    EXPECT_TRUE(r == 200 && g == 100 && b == 50) << int(r) << "," << int(g) << "," << int(b);
  }
  // Headers that the decoders must never see.
  auto edit = [](std::string d, size_t at, std::initializer_list<uint8_t> v) {
    for (uint8_t c : v) d[at++] = static_cast<char>(c);
    return d;
  };
  const std::string bmp = img.bmp(), tga = img.tga();
  const std::pair<const char*, std::string> refused[] = {
      {"image too large", edit(bmp, 18, {0, 0x50, 0, 0})},        // 20480 wide
      {"image too large", edit(bmp, 22, {0, 0, 0x10, 0})},        // 1M rows
      {"zero image size", edit(bmp, 18, {0, 0, 0, 0})},
      {"bad bit depth", edit(bmp, 28, {7, 0})},
      {"palette too large", edit(edit(bmp, 28, {8, 0}), 46, {0, 2, 0, 0})},
      {"unknown BMP compression", edit(bmp, 30, {1, 0, 0, 0})},  // RLE8 on 24 bits
      {"truncated image data", bmp.substr(0, bmp.size() - 1)},  // the surface comes before the rows
      {"image too large", edit(tga, 12, {0xff, 0xff, 0xff, 0xff})},
      {"no TGA header", edit(tga, 2, {4})},
      {"bad TGA palette", edit(tga, 1, {1, 1, 0, 0, 0, 1, 24})},  // indexed, 32-bit pixels
      {"no TGA header", "plain text is no picture at all"},
      {"truncated image data", tga.substr(0, tga.size() - 1)},
      {"truncated image data", edit(tga, 2, {10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0x12})},
  };
  for (const auto& [want, data] : refused) {
    std::string why;
    const bool ok = data[0] == 'B' ? bmpCheck(bytes(data), data.size(), &why)
                                   : tgaCheck(bytes(data), data.size(), &why);
    EXPECT_FALSE(ok) << want;
    EXPECT_EQ(why, want);
    EXPECT_FALSE(decodeImage(bytes(data), data.size())) << want;
  }
}
