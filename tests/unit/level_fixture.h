// A game directory of its own for level tests: a fresh temporary directory
// that becomes the working directory (levels read "npc/", "lua/" and their
// archives relative to it), with helpers to write archives and files there.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "base/globals.h"
#include "resources/database.h"
#include "resources/ini_file.h"
#include "resources/resfile_writer.h"
#include "script/script_requests.h"

namespace leveltest {

namespace fs = std::filesystem;

struct GameDir : ::testing::Test {
  fs::path old = fs::current_path();
  fs::path dir;
  float oldDt = game::dt;

  void SetUp() override {
    static int serial = 0;
    dir = fs::temp_directory_path() /
          ("tervalo_lvl_" + std::to_string(::getpid()) + "_" + std::to_string(++serial));
    fs::create_directories(dir / "data/lvl");
    fs::create_directories(dir / "npc");
    fs::create_directories(dir / "lua");
    fs::current_path(dir);
    Database::instance().clear();
    IniFile::instance().close();
  }
  void TearDown() override {
    ScriptRequests::instance().drain();
    IniFile::instance().close();
    Database::instance().clear();
    game::dt = oldDt;
    fs::current_path(old);
    fs::remove_all(dir);
  }

  // Writes a text file relative to the game directory.
  static void file(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path().empty() ? fs::path(".")
                                                                : fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }
  // Writes an archive of (entry, bytes) pairs.
  static void archive(const std::string& path,
                      const std::vector<std::pair<std::string, std::string>>& entries) {
    ResfileWriter w;
    for (const auto& [name, bytes] : entries) w.add(name, bytes);
    ASSERT_TRUE(w.write(path));
  }
  // A block file: 300 cells, the bottom row solid.
  static std::string blocks(uint8_t v = 1) {
    std::string b(300, '\0');
    for (int c = 0; c < 20; ++c) b[280 + c] = static_cast<char>(v);
    return b;
  }
};

}  // namespace leveltest
