// Mixing cost per second of 44.1 kHz stereo output: 16 voices at the
// device's own rate (no resampling work beyond a step of 1), 16 voices
// pitched and resampled from 22.05 kHz, against one voice as the baseline.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "sound/audio_stream.h"

namespace {

constexpr int kOut = 44100;

std::vector<float> tone(int rate) {
  std::vector<float> s(static_cast<size_t>(rate) * 2);  // two seconds
  for (size_t i = 0; i < s.size(); ++i) s[i] = 0.3f * std::sin(0.05f * float(i));
  return s;
}

void mixSecond(benchmark::State& state, int voices, int srcRate, float pitch) {
  std::vector<std::unique_ptr<audio::Voice>> owned;
  std::vector<audio::Voice*> list;
  for (int i = 0; i < voices; ++i) {
    owned.push_back(
        std::make_unique<audio::Voice>(audio::BufferDecoder::mono(tone(srcRate), srcRate)));
    owned.back()->playing = owned.back()->repeat = true;
    owned.back()->pitch = pitch;
    owned.back()->pan = -1.0f + 2.0f * i / voices;
    list.push_back(owned.back().get());
  }
  std::vector<int16_t> out(1024 * 2);
  for (auto _ : state) {
    // One second of output in the device's callback-sized pieces.
    for (int done = 0; done < kOut; done += 1024)
      audio::mix(list.data(), list.size(), out.data(), 1024, kOut);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetLabel("per second of audio");
}

void BM_Mix1Voice(benchmark::State& s) { mixSecond(s, 1, kOut, 1.0f); }
void BM_Mix16Voices(benchmark::State& s) { mixSecond(s, 16, kOut, 1.0f); }
void BM_Mix16VoicesResampled(benchmark::State& s) { mixSecond(s, 16, 22050, 1.37f); }

}  // namespace

BENCHMARK(BM_Mix1Voice)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mix16Voices)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mix16VoicesResampled)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
