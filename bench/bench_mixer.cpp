// Mixing cost per second of 44.1 kHz stereo output: 16 voices at the
// device's own rate (no resampling work beyond a step of 1), 16 voices
// pitched and resampled from 22.05 kHz, against one voice as the baseline.
// The service figures run the whole sound service the way the game does
// (files decoded while they play, an update every 23 ms of output): all 16
// effect channels busy plus two music tracks cross-fading, against the
// service playing one effect.
#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/globals.h"
#include "sound/audio_stream.h"
#include "sound/sound.h"

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

// A mono 16-bit WAV of a tone, 22.05 kHz like the demo's sounds.
std::string wav(const char* name, float hz, float seconds) {
  const std::string path = "/tmp/tervalo_bench_" + std::to_string(::getpid()) + "_" + name + ".wav";
  SF_INFO info{0, 22050, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0};
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  std::vector<float> s(static_cast<size_t>(22050 * seconds));
  for (size_t i = 0; i < s.size(); ++i) s[i] = 0.4f * std::sin(2.0f * float(M_PI) * hz * float(i) / 22050.0f);
  sf_writef_float(f, s.data(), static_cast<sf_count_t>(s.size()));
  sf_close(f);
  return path;
}

void serviceSecond(benchmark::State& state, int effects, bool music) {
  const std::string fx = wav("fx", 330, 3), m1 = wav("m1", 220, 10), m2 = wav("m2", 262, 10);
  Sound snd;
  snd.init(audio::Device::detached(kOut));
  std::vector<int16_t> out(1024 * 2);
  game::dt = 1024.0f / kOut;
  bool second = false;
  for (auto _ : state) {
    // Effects that played out start again; every second the music changes,
    // so two tracks cross-fade all through it.
    for (int i = 0; i < effects; ++i)
      if (Sound::isFree(snd.channels[static_cast<size_t>(i)])) snd.play(i, fx, 60, -1.0f + 2.0f * i / 16);
    if (music) snd.playMusic((second = !second) ? m1 : m2, 80, 0.0f);
    for (int done = 0; done < kOut; done += 1024) {
      snd.device->render(out.data(), 1024);
      snd.update();
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetLabel("per second of audio");
  for (const auto& p : {fx, m1, m2}) std::remove(p.c_str());
}

void BM_Mix1Voice(benchmark::State& s) { mixSecond(s, 1, kOut, 1.0f); }
void BM_Service1Effect(benchmark::State& s) { serviceSecond(s, 1, false); }
void BM_Service16EffectsMusicCrossFade(benchmark::State& s) { serviceSecond(s, 16, true); }
void BM_Mix16Voices(benchmark::State& s) { mixSecond(s, 16, kOut, 1.0f); }
void BM_Mix16VoicesResampled(benchmark::State& s) { mixSecond(s, 16, 22050, 1.37f); }

}  // namespace

BENCHMARK(BM_Mix1Voice)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mix16Voices)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mix16VoicesResampled)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Service1Effect)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Service16EffectsMusicCrossFade)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
