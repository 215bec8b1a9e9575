// Sound: the mixer over synthetic buffers, the channel and music rules of
// the service on a detached device, and SDL's disk driver read back.
#include <SDL/SDL.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "core/globals.h"
#include "core/log.h"
#include "sound/sound.h"
#include "unit/scratch_dir.h"

namespace {

using audio::BufferDecoder;
using audio::Voice;

// Mixes `frames` frames of one voice at `outRate`.
std::vector<int16_t> mixOne(Voice& v, size_t frames, int outRate) {
  std::vector<int16_t> out(frames * 2, 1234);
  Voice* list[] = {&v};
  audio::mix(list, 1, out.data(), frames, outRate);
  return out;
}

void writeWav(const std::string& path, const std::vector<float>& mono, int rate) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr);
  sf_writef_float(f, mono.data(), static_cast<sf_count_t>(mono.size()));
  sf_close(f);
}

std::vector<float> tone(float hz, float amp, int rate, float seconds) {
  std::vector<float> s(static_cast<size_t>(rate * seconds));
  for (size_t i = 0; i < s.size(); ++i)
    s[i] = amp * std::sin(2.0f * float(M_PI) * hz * float(i) / float(rate));
  return s;
}

// Sets an environment variable for one scope.
struct EnvVar {
  std::string name, old;
  bool had;
  EnvVar(const char* n, const char* value) : name(n), had(std::getenv(n) != nullptr) {
    if (had) old = std::getenv(n);
    setenv(n, value, 1);
  }
  ~EnvVar() { had ? setenv(name.c_str(), old.c_str(), 1) : unsetenv(name.c_str()); }
};

}  // namespace

TEST(SoundMixer, VolumePanAndClipping) {
  // Constant 0.5 at volume 0.5 panned hard left: a quarter on the left only.
  Voice v(BufferDecoder::mono(std::vector<float>(100, 0.5f), 8000));
  v.playing = true;
  v.volume = 0.5f;
  v.pan = -1.0f;
  auto out = mixOne(v, 10, 8000);
  EXPECT_NEAR(out[0], 0.25 * 32767, 1);
  EXPECT_EQ(out[1], 0);
  // Centre: both sides full; half right: the left side at half.
  v.volume = 1.0f;
  v.pan = 0.0f;
  out = mixOne(v, 1, 8000);
  EXPECT_NEAR(out[0], 0.5 * 32767, 1);
  EXPECT_NEAR(out[1], 0.5 * 32767, 1);
  v.pan = 0.5f;
  out = mixOne(v, 1, 8000);
  EXPECT_NEAR(out[0], 0.25 * 32767, 1);
  EXPECT_NEAR(out[1], 0.5 * 32767, 1);

  // Voices add up and clip at full scale, never wrap; a volume above 1 and
  // a NaN pan or pitch are held to what the mixer can play.
  Voice a(BufferDecoder::mono(std::vector<float>(10, 0.8f), 8000));
  Voice b(BufferDecoder::mono(std::vector<float>(10, 0.8f), 8000));
  a.playing = b.playing = true;
  a.volume = 7.0f;
  b.pan = b.pitch = std::nanf("");
  Voice* both[] = {&a, &b, nullptr};
  std::vector<int16_t> mixed(4);
  audio::mix(both, 3, mixed.data(), 2, 8000);
  EXPECT_EQ(mixed[0], 32767);             // 0.8 + 0.8, clipped
  EXPECT_NEAR(mixed[3], 0.8 * 32767, 1);  // NaN pan: hard left
}

TEST(SoundMixer, PitchResamplesAndEnds) {
  // A ramp 0, 0.1, 0.2, ... at 8 kHz played into 16 kHz: every second
  // output frame lies halfway between two source frames.
  std::vector<float> ramp;
  for (int i = 0; i < 8; ++i) ramp.push_back(i * 0.1f);
  Voice v(BufferDecoder::mono(ramp, 8000));
  v.playing = true;
  auto out = mixOne(v, 6, 16000);
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(out[i * 2], i * 0.05 * 32767, 2) << i;

  // Pitch 2 into 16 kHz takes every source frame; the end stops the voice
  // and leaves silence behind it.
  v.rewind();
  v.pitch = 2.0f;
  out = mixOne(v, 12, 16000);
  for (int i = 0; i < 8; ++i) EXPECT_NEAR(out[i * 2], i * 0.1 * 32767, 2) << i;
  EXPECT_EQ(out[8 * 2], 0);
  EXPECT_FALSE(v.playing);
  EXPECT_TRUE(v.ended());

  // Repeating goes round; long sources cross the decoder's chunks unbroken.
  std::vector<float> big(Voice::kChunkFrames * 3 + 5);
  for (size_t i = 0; i < big.size(); ++i) big[i] = float(i % 1000) / 1000.0f;
  Voice r(BufferDecoder::mono(big, 8000));
  r.playing = r.repeat = true;
  out = mixOne(r, big.size() + 10, 8000);
  for (size_t i = 0; i < big.size() + 10; ++i)
    ASSERT_NEAR(out[i * 2], big[i % big.size()] * 32767, 1) << i;
  EXPECT_TRUE(r.playing);

  // An empty source ends at once, repeat or not.
  Voice e(BufferDecoder::mono({}, 8000));
  e.playing = e.repeat = true;
  mixOne(e, 4, 8000);
  EXPECT_FALSE(e.playing);
}

TEST(SoundGlide, StepsAndSettlesShortOfTarget) {
  float v = 0.0f;
  Sound::glide(v, 1.0f, 0.3f);
  EXPECT_FLOAT_EQ(v, 0.3f);
  v = 1.0f;
  Sound::glide(v, 0.0f, 0.3f);
  EXPECT_FLOAT_EQ(v, 0.7f);
  // Within a step of the target the value stays put.
  v = 0.9f;
  Sound::glide(v, 1.0f, 0.3f);
  EXPECT_FLOAT_EQ(v, 0.9f);
  v = -0.5f;
  Sound::glide(v, -0.25f, 0.25f);
  EXPECT_FLOAT_EQ(v, -0.5f);
}

struct SoundTest : ScratchDirTest {
  std::string longFx, shortFx, music1, music2;
  void SetUp() override {
    ScratchDirTest::SetUp();
    longFx = path("long.wav");
    shortFx = path("short.wav");
    music1 = path("m1.wav");
    music2 = path("m2.wav");
    writeWav(longFx, tone(440, 0.5f, 8000, 5.0f), 8000);
    writeWav(shortFx, tone(880, 0.5f, 8000, 0.05f), 8000);
    writeWav(music1, tone(220, 0.5f, 8000, 0.5f), 8000);
    writeWav(music2, tone(330, 0.5f, 8000, 5.0f), 8000);
    ASSERT_TRUE(Sound::init(audio::Device::detached(8000)));
    game::dt = 0.125f;  // exact in binary: glides land on round values
  }
  void TearDown() override {
    Sound::shutdown();
    game::dt = 0.01f;
    ScratchDirTest::TearDown();
  }
  // Lets the device play `seconds` of audio.
  void render(float seconds) {
    std::vector<int16_t> out(static_cast<size_t>(seconds * 8000) * 2);
    Sound::device->render(out.data(), out.size() / 2);
  }
  static void updates(int n) {
    for (int i = 0; i < n; ++i) Sound::update();
  }
};

TEST_F(SoundTest, ChannelsAreNumberedAndFreed) {
  Log::Capture cap;
  Sound::play(0, longFx, 100, 0);
  Sound::play(1, longFx, 100, 0);
  Sound::play(-1, shortFx, 80, 0.5f);
  ASSERT_TRUE(Sound::channels[2].stream);
  EXPECT_FLOAT_EQ(Sound::channels[2].volume, 0.8f);
  EXPECT_FLOAT_EQ(Sound::channels[2].panTarget, 0.5f);

  // Out of range: nothing happens, nothing is said.
  Sound::play(16, longFx, 100, 0);
  Sound::play(1000, longFx, 100, 0);
  for (int bad : {-1, 16, 99}) {
    Sound::setVolume(bad, 10, true);
    Sound::setPan(bad, 1, true);
    Sound::setPitch(bad, 2, true);
  }
  EXPECT_TRUE(cap.lines().empty());
  EXPECT_EQ(Sound::device->streamCount(), 3u);

  // The short effect plays out; the next update frees its channel.
  render(0.1f);
  EXPECT_TRUE(Sound::channels[2].stream);
  Sound::update();
  EXPECT_FALSE(Sound::channels[2].stream);
  EXPECT_TRUE(Sound::channels[0].stream);

  // All sixteen busy: a free channel is asked for in vain.
  for (int i = 0; i < Sound::kChannels; ++i) Sound::play(i, longFx, 100, 0);
  Sound::play(-1, shortFx, 100, 0);
  EXPECT_TRUE(cap.has("FAIL: Sound.play: Nie znaleziono wolnego kanalu"));
  EXPECT_EQ(Sound::device->streamCount(), 16u);
}

TEST_F(SoundTest, EffectGlidesAndFadesOut) {
  Sound::play(3, longFx, 100, 0);
  Sound::setPan(3, -1.0f, false);
  Sound::setPitch(3, 2.0f, false);
  Sound::setVolume(3, 0, false);
  audio::Stream* s = Sound::channels[3].stream.get();
  updates(4);
  // 0.5 per second for volume, 1 per second for pan and pitch, handed on.
  EXPECT_NEAR(Sound::channels[3].volume, 0.75f, 1e-4);
  EXPECT_NEAR(Sound::channels[3].pan, -0.5f, 1e-4);
  EXPECT_NEAR(Sound::channels[3].pitch, 1.5f, 1e-4);
  EXPECT_NEAR(s->volume(), 0.75f, 1e-4);
  EXPECT_NEAR(s->pan(), -0.5f, 1e-4);
  EXPECT_NEAR(s->pitchShift(), 1.5f, 1e-4);
  // Two seconds to silence, then the channel is stopped and freed.
  updates(10);
  EXPECT_TRUE(Sound::channels[3].stream && Sound::channels[3].stream->isPlaying());
  updates(2);
  EXPECT_FALSE(Sound::channels[3].stream);

  // A channel stopped at silence comes back on setVolume, before it is freed.
  Sound::play(4, longFx, 100, 0);
  Sound::setVolume(4, 0, true);
  Sound::update();
  ASSERT_FALSE(Sound::channels[4].stream->isPlaying());
  Sound::setVolume(4, 60, true);
  Sound::update();
  ASSERT_TRUE(Sound::channels[4].stream);
  EXPECT_TRUE(Sound::channels[4].stream->isPlaying());
  EXPECT_NEAR(Sound::channels[4].stream->volume(), 0.6f, 1e-4);
}

TEST_F(SoundTest, MusicCrossFadesAndRepeats) {
  Sound::playMusic(music1, 100, 0);
  ASSERT_EQ(Sound::music.size(), 1u);
  EXPECT_FLOAT_EQ(Sound::music.front().volume, 1.0f);  // alone: at once
  audio::Stream* first = Sound::music.front().stream.get();
  EXPECT_FALSE(first->isPlaying());  // starts at the next update
  Sound::update();
  EXPECT_TRUE(first->isPlaying());
  // Played to its end, the track starts again from the top.
  render(0.6f);
  EXPECT_FALSE(first->isPlaying());
  Sound::update();
  EXPECT_TRUE(first->isPlaying());

  Sound::playMusic(music2, 80, 0.25f);
  ASSERT_EQ(Sound::music.size(), 2u);
  EXPECT_FLOAT_EQ(Sound::music.front().volume, 0.0f);
  updates(4);
  EXPECT_NEAR(Sound::music.front().volume, 0.5f, 1e-4);
  EXPECT_NEAR(Sound::music.back().volume, 0.5f, 1e-4);
  updates(4);
  ASSERT_EQ(Sound::music.size(), 1u);  // the old track faded away
  EXPECT_NE(Sound::music.front().stream.get(), first);
  updates(4);
  EXPECT_NEAR(Sound::music.front().volume, 0.8f, 0.125f);
  Sound::setMusicVolume(50, true);
  EXPECT_FLOAT_EQ(Sound::music.front().volume, 0.5f);
  Sound::setMusicPan(-1, true);
  Sound::setMusicPitch(0.5f, false);
  Sound::update();
  EXPECT_FLOAT_EQ(Sound::music.front().pan, -1.0f);
  EXPECT_NEAR(Sound::music.front().pitch, 0.875f, 1e-4);
}

TEST_F(SoundTest, BadFilesAreReportedAndSkipped) {
  writeBytes(path("junk.wav"), "RIFF1234WAVEnot really a sound file");
  Log::Capture cap;
  Sound::play(5, longFx, 100, 0);
  Sound::play(5, path("missing.wav"), 100, 0);
  EXPECT_TRUE(
      cap.has("FAIL: Sound.play: Nie udalo sie otworzyc pliku \"" + path("missing.wav") + "\""));
  EXPECT_FALSE(Sound::channels[5].stream);  // the old sound is gone too
  Sound::play(-1, path("junk.wav"), 100, 0);
  EXPECT_EQ(cap.count("Nie udalo sie otworzyc pliku"), 2u);
  Sound::setVolume(5, 50, false);
  Sound::update();
  EXPECT_EQ(Sound::device->streamCount(), 0u);

  // A music file that fails leaves the playing track the current one.
  Sound::playMusic(music2, 100, 0);
  Sound::update();
  Sound::playMusic(path("junk.wav"), 100, 0);
  EXPECT_TRUE(
      cap.has("FAIL: Sound.playMusic: Nie udalo sie otworzyc pliku \"" + path("junk.wav") + "\""));
  Sound::setMusicVolume(10, true);  // no stream in front: ignored
  Sound::update();
  ASSERT_EQ(Sound::music.size(), 1u);
  EXPECT_FLOAT_EQ(Sound::music.front().volume, 1.0f);
}

TEST(SoundDevice, NoDriverFailsInit) {
  EnvVar driver("SDL_AUDIODRIVER", "nonexistent");
  Log::Capture cap;
  EXPECT_FALSE(Sound::init());
  EXPECT_TRUE(cap.has("FAIL: Sound.init: Nie udalo sie uruchomic dzwieku"));
  EXPECT_FALSE(Sound::device);
  Sound::play(-1, "whatever.wav", 100, 0);  // without a device: nothing
  Sound::update();
}

struct SoundDisk : ScratchDirTest {};

TEST_F(SoundDisk, RoundTrip) {
  // A 440 Hz tone at 0.8, played at volume 50 panned left, is written by
  // SDL's disk driver: only the left side carries it, at 0.4.
  std::string wav = path("a440.wav"), raw = path("out.raw");
  writeWav(wav, tone(440, 0.8f, audio::Device::kRate, 1.0f), audio::Device::kRate);
  EnvVar driver("SDL_AUDIODRIVER", "disk"), file("SDL_DISKAUDIOFILE", raw.c_str()),
      delay("SDL_DISKAUDIODELAY", "2");
  ASSERT_TRUE(Sound::init());
  Sound::play(0, wav, 50, -1.0f);
  // Wait for a good half second of audio (the clock is the driver's).
  auto written = [&] { return std::filesystem::exists(raw) ? std::filesystem::file_size(raw) : 0; };
  for (int i = 0; i < 300 && written() < 44100 * 4 * 3 / 4; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  Sound::shutdown();
  std::string bytes = readBytes(raw);
  ASSERT_GE(bytes.size(), 44100u * 4 / 2);
  const auto* s = reinterpret_cast<const int16_t*>(bytes.data());
  int maxLeft = 0, maxRight = 0;
  for (size_t i = 0; i + 1 < bytes.size() / 2; i += 2) {
    maxLeft = std::max(maxLeft, std::abs(int(s[i])));
    maxRight = std::max(maxRight, std::abs(int(s[i + 1])));
  }
  EXPECT_NEAR(maxLeft, 0.4 * 32767, 0.01 * 32767);
  EXPECT_EQ(maxRight, 0);
}
