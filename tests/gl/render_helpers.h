// Archives of test pictures for the rendering tests: each test builds its
// own archive (a fresh file name, so no reader keeps an old one open).
#pragma once

#include <unistd.h>

#include <filesystem>
#include <initializer_list>
#include <string>

#include "resources/resfile_writer.h"
#include "unit/png_maker.h"

namespace rendertest {

using pngtest::Image;
using pngtest::Rgba8;

constexpr Rgba8 kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255}, kBlue{0, 0, 255, 255},
    kWhite{255, 255, 255, 255}, kBlack{0, 0, 0, 255}, kYellow{255, 255, 0, 255},
    kCyan{0, 255, 255, 255}, kMagenta{255, 0, 255, 255}, kClear{0, 0, 0, 0};

inline std::filesystem::path tempDir() {
  static const std::filesystem::path dir = [] {
    auto d = std::filesystem::temp_directory_path() /
             ("tervalo_render_" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    return d;
  }();
  return dir;
}

class TestArchive {
 public:
  TestArchive() {
    static int serial = 0;
    path_ = (tempDir() / ("gfx" + std::to_string(++serial) + ".crs")).string();
  }
  ~TestArchive() { std::filesystem::remove(path_); }
  // The picture as entry.png, with its animation definitions as entry.txt when given.
  TestArchive& image(const std::string& entry, const Image& img, const std::string& def = "") {
    writer_.add(entry + ".png", img.encode());
    if (!def.empty()) writer_.add(entry + ".txt", def);
    return *this;
  }
  // A row of 32 x 32 tiles in the given colours, one animation each.
  TestArchive& tiles(const std::string& entry, std::initializer_list<Rgba8> colours) {
    Image img(32 * static_cast<uint32_t>(colours.size()), 32);
    std::string def;
    uint32_t x = 0;
    for (Rgba8 c : colours) {
      img.rect(x, 0, 32, 32, c);
      def += "anim " + std::to_string(x) + " 0 32 32 1\n";
      x += 32;
    }
    return image(entry, img, def);
  }
  TestArchive& file(const std::string& entry, const std::string& bytes) {
    writer_.add(entry, bytes);
    return *this;
  }
  // Writes the archive; call after adding entries.
  TestArchive& write() {
    writer_.write(path_);
    return *this;
  }
  std::string res(const std::string& entry) const { return path_ + ":" + entry; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  ResfileWriter writer_;
};

// A picture in four coloured quarters: red, green / blue, white.
inline Image quarters(uint32_t w = 32, uint32_t h = 32) {
  Image img(w, h);
  img.rect(0, 0, w / 2, h / 2, kRed);
  img.rect(w / 2, 0, w / 2, h / 2, kGreen);
  img.rect(0, h / 2, w / 2, h / 2, kBlue);
  img.rect(w / 2, h / 2, w / 2, h / 2, kWhite);
  return img;
}

}  // namespace rendertest
