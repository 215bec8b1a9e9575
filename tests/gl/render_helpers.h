// Archives of test pictures for the rendering tests: each test builds its
// own archive (a fresh file name, so no reader keeps an old one open).
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>

#include "resources/resfile_writer.h"
#include "unit/png_maker.h"

namespace rendertest {

using pngtest::Image;
using pngtest::Rgba8;

constexpr Rgba8 kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255}, kBlue{0, 0, 255, 255},
    kWhite{255, 255, 255, 255}, kClear{0, 0, 0, 0};

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
  TestArchive& image(const std::string& entry, const Image& img) {
    writer_.add(entry + ".png", img.encode());
    return *this;
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

 private:
  std::string path_;
  ResfileWriter writer_;
};

// A 32 x 32 picture in four coloured quarters: red, green / blue, white.
inline Image quarters() {
  Image img(32, 32);
  img.rect(0, 0, 16, 16, kRed);
  img.rect(16, 0, 16, 16, kGreen);
  img.rect(0, 16, 16, 16, kBlue);
  img.rect(16, 16, 16, 16, kWhite);
  return img;
}

}  // namespace rendertest
