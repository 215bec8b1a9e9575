// Sound files for the sound tests: tones and constant levels written as
// 16-bit WAV through libsndfile.
#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace soundtest {

inline void writeWav(const std::string& path, const std::vector<float>& mono, int rate) {
  SF_INFO info{0, rate, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0};
  std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> f(sf_open(path.c_str(), SFM_WRITE, &info), sf_close);
  ASSERT_NE(f, nullptr) << path;
  sf_writef_float(f.get(), mono.data(), static_cast<sf_count_t>(mono.size()));
}

inline std::vector<float> tone(float hz, float amp, int rate, float seconds) {
  std::vector<float> s(static_cast<size_t>(rate * seconds));
  for (size_t i = 0; i < s.size(); ++i)
    s[i] = amp * std::sin(2.0f * float(M_PI) * hz * float(i) / float(rate));
  return s;
}

// A constant level: its mixed output shows the volume and pan directly.
inline std::vector<float> level(float amp, int rate, float seconds) {
  return std::vector<float>(static_cast<size_t>(rate * seconds), amp);
}

}  // namespace soundtest
