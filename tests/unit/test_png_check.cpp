#include <gtest/gtest.h>

#include <string>

#include "render/png_check.h"
#include "unit/png_maker.h"

using namespace pngtest;

namespace {

const uint8_t* bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }
bool check(const std::string& s, std::string* why = nullptr) { return pngCheck(bytes(s), s.size(), why); }
bool decodes(const std::string& s) { return decodePng(bytes(s), s.size()) != nullptr; }

std::string smallImage() {
  Image img(5, 3, {10, 20, 30, 255});
  img.at(4, 2) = {200, 100, 50, 0};
  return img.encode();
}

std::string idatOf(uint32_t w, uint32_t h) { return chunk("IDAT", deflate(std::string(size_t(h) * (1 + w * 4), '\0'))); }

}  // namespace

TEST(PngCheck, SoundImagesDecodeAndBrokenDataIsRefused) {
  const std::string png = smallImage();
  SurfacePtr s = decodePng(bytes(png), png.size());
  ASSERT_TRUE(s);
  EXPECT_EQ(s->w, 5);
  EXPECT_EQ(s->h, 3);
  EXPECT_TRUE(check(png + "trailing junk"));  // nothing after IEND is read
  // Sound chunks around image data that libpng must reject itself.
  const std::string tooLittle =
      signature() + ihdr(64, 64) + chunk("IDAT", deflate(std::string(10, '\0'))) + chunk("IEND", "");
  ASSERT_TRUE(check(tooLittle));
  EXPECT_FALSE(decodes(tooLittle));
  EXPECT_FALSE(decodes(signature() + ihdr(4, 4) + chunk("IDAT", "garbage!") + chunk("IEND", "")));
  EXPECT_FALSE(decodePng(nullptr, 0));
  // A file cut anywhere or damaged anywhere never decodes: signature, lengths, types and data.
  for (size_t n = 0; n < png.size(); ++n) {
    EXPECT_FALSE(check(png.substr(0, n))) << "cut at " << n;
    EXPECT_FALSE(decodes(png.substr(0, n))) << "cut at " << n;
    for (uint8_t flip : {0x01, 0x80}) {
      std::string bad = png;
      bad[n] = static_cast<char>(bad[n] ^ flip);
      EXPECT_FALSE(decodes(bad)) << "byte " << n;
    }
  }
}

TEST(PngCheck, StructuralFaultsAreNamed) {
  const std::string end = chunk("IEND", "");
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
  };
  for (const auto& c : cases) {
    std::string why;
    EXPECT_FALSE(check(c.second, &why)) << c.first;
    EXPECT_EQ(why, c.first);
  }
  // The largest accepted picture: 16384 on a side within 64M pixels.
  EXPECT_TRUE(check(signature() + ihdr(16384, 4096) + idatOf(1, 1) + end));
}

TEST(PngCheck, LyingChunkLengthNeverReachesTheDecoder) {
  // An ancillary chunk claiming 2 GB in a 49-byte file: libpng would spin skipping it for ever.
  std::string lying = signature() + ihdr(4, 4);
  put32(lying, 0x7ffffff0u);
  lying += "tEXtabcdefgh";
  std::string why;
  EXPECT_FALSE(check(lying, &why));
  EXPECT_EQ(why, "chunk runs past the end");
  EXPECT_FALSE(decodes(lying));
  // Lengths with the top bit set are not PNG lengths at all.
  std::string negative = signature() + ihdr(4, 4);
  put32(negative, 0x80000000u);
  EXPECT_FALSE(check(negative + "IDAT" + std::string(64, 'x')));
}
