// Helpers for tests of the file readers: a private folder per test and raw byte I/O.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

inline std::string u32(uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
inline void writeBytes(const std::string& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }
inline std::string readBytes(const std::string& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct ScratchDirTest : ::testing::Test {
  std::filesystem::path dir;
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = std::filesystem::temp_directory_path() / (std::string("tervalo_") + info->test_suite_name() +
                                                    "_" + info->name() + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string path(const std::string& name) const { return (dir / name).string(); }
  // Writes `bytes` to `name` in the folder and returns its path.
  std::string put(const std::string& name, const std::string& bytes) const {
    writeBytes(path(name), bytes);
    return path(name);
  }
};
