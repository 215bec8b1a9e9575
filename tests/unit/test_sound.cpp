// Sound: the mixer, the channels and music of the sound system, and the
// sound rows of the script API in a level's and a character's state, checked
// on what the mixer puts out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/globals.h"
#include "base/log.h"
#include "sound/sound.h"
#include "unit/api_fixture.h"
#include "unit/scratch_dir.h"
#include "unit/sound_files.h"
#include "world/npc.h"

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

using soundtest::tone;
using soundtest::writeWav;

// Peaks of the left and right side of interleaved stereo, as fractions of full scale.
std::pair<double, double> peaksOf(const int16_t* s, size_t frames) {
  int l = 0, r = 0;
  for (size_t i = 0; i < frames; ++i) {
    l = std::max(l, std::abs(int(s[2 * i])));
    r = std::max(r, std::abs(int(s[2 * i + 1])));
  }
  return {l / 32767.0, r / 32767.0};
}

using apitest::eval;
constexpr int kRate = 8000;

struct SoundApi : apitest::LevelApi {
  Sound& snd = Sound::instance();
  Npc* bob = nullptr;
  Log::Capture cap;
  const std::string longFx = "long.wav", shortFx = "short.wav", music1 = "m1.wav";

  void SetUp() override {
    LevelApi::SetUp();
    // Constant levels: 0.5 on disk, 0.25 in an archive (decoded from memory).
    soundtest::writeWav("fx.wav", soundtest::level(0.5f, kRate, 5), kRate);
    soundtest::writeWav("quiet.wav", soundtest::level(0.25f, kRate, 5), kRate);
    archive("data/snd.crs", {{"fx", readBytes("quiet.wav")}, {"m", readBytes("quiet.wav")}});
    file("text.txt", "RIFF....WAVE but nothing a decoder could read");
    for (const auto& [name, seconds] : {std::pair<std::string, float>{longFx, 5}, {shortFx, 0.05f}, {music1, 0.5f}})
      writeWav(name, tone(440, 0.5f, kRate, seconds), kRate);
    bob = lvl.addNpc(std::make_unique<Npc>("bob", 1, 0, 0, 0, 5, nullptr, &lvl, nullptr), 1);
    restart();
    game::dt = 0.125f;  // exact in binary: glides land on round values
  }
  void TearDown() override {
    snd.shutdown();
    LevelApi::TearDown();
  }
  void restart() { ASSERT_TRUE(snd.init(audio::Device::detached(kRate))); }
  // Lets the device play `seconds` of audio.
  void render(float seconds) {
    std::vector<int16_t> out(static_cast<size_t>(seconds * kRate) * 2);
    snd.device->render(out.data(), out.size() / 2);
  }
  void updates(int n) {
    for (int i = 0; i < n; ++i) snd.update();
  }
  // Peaks of the left and right side over a tenth of a second of output,
  // as fractions of full scale.
  std::pair<double, double> peaks() {
    std::vector<int16_t> out(kRate / 10 * 2);
    snd.device->render(out.data(), out.size() / 2);
    return peaksOf(out.data(), out.size() / 2);
  }
};

#define EXPECT_PEAKS(want_l, want_r)                \
  do {                                              \
    const auto p = peaks();                         \
    EXPECT_NEAR(p.first, want_l, 0.01) << "left";   \
    EXPECT_NEAR(p.second, want_r, 0.01) << "right"; \
  } while (0)

}  // namespace

TEST(SoundMixer, VolumePanClippingPitchEndsAndGlides) {
  // Constant 0.5 as {volume, pan, left, right}: hard left puts a quarter on
  // the left only; centre gives both sides full; half right halves the left.
  Voice v(BufferDecoder::mono(std::vector<float>(100, 0.5f), 8000));
  v.playing = true;
  const float cases[][4] = {{0.5f, -1, 0.25f, 0}, {1, 0, 0.5f, 0.5f}, {1, 0.5f, 0.25f, 0.5f}};
  for (const auto& c : cases) {
    v.volume = c[0];
    v.pan = c[1];
    auto out = mixOne(v, 1, 8000);
    EXPECT_NEAR(out[0], c[2] * 32767, 1) << c[1];
    EXPECT_NEAR(out[1], c[3] * 32767, 1) << c[1];
  }

  // Voices add up and clip at full scale, never wrap; a volume above 1 and
  // a NaN pan or pitch are held to what the mixer can play.
  const std::vector<float> loud(10, 0.8f);
  Voice a(BufferDecoder::mono(loud, 8000)), b(BufferDecoder::mono(loud, 8000));
  a.playing = b.playing = true;
  a.volume = 7.0f;
  b.pan = b.pitch = std::nanf("");
  Voice* both[] = {&a, &b, nullptr};
  std::vector<int16_t> mixed(4);
  audio::mix(both, 3, mixed.data(), 2, 8000);
  EXPECT_EQ(mixed[0], 32767);             // 0.8 + 0.8, clipped
  EXPECT_NEAR(mixed[3], 0.8 * 32767, 1);  // NaN pan: hard left

  // A ramp 0, 0.1, 0.2, ... at 8 kHz played into 16 kHz: every second
  // output frame lies halfway between two source frames.
  Voice ramp(BufferDecoder::mono({0, 0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f}, 8000));
  ramp.playing = true;
  auto out = mixOne(ramp, 6, 16000);
  for (int i = 0; i < 6; ++i) {
    EXPECT_NEAR(out[i * 2], i * 0.05 * 32767, 2) << i;
    EXPECT_NEAR(out[i * 2 + 1], i * 0.05 * 32767, 2) << i;
  }

  // Pitch 2 into 16 kHz takes every source frame; the end stops the voice
  // and leaves silence behind it.
  ramp.rewind();
  ramp.pitch = 2.0f;
  out = mixOne(ramp, 12, 16000);
  for (int i = 0; i < 8; ++i) EXPECT_NEAR(out[i * 2], i * 0.1 * 32767, 2) << i;
  EXPECT_TRUE(out[8 * 2] == 0 && !ramp.playing && ramp.ended());

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

  // Settings glide a step at a time; within a step of the target the value stays put.
  const float glides[][4] = {{0, 1, 0.3f, 0.3f}, {1, 0, 0.3f, 0.7f}, {0.9f, 1, 0.3f, 0.9f}, {-0.5f, -0.25f, 0.25f, -0.5f}};
  for (const auto& c : glides) {
    float v = c[0];
    Sound::glide(v, c[1], c[2]);
    EXPECT_FLOAT_EQ(v, c[3]) << c[0] << " -> " << c[1];
  }
}

// Channels are freed once their sound is over; a channel held at silence
// comes back on setVolume before that. Music played to its end starts again;
// a music file that fails leaves the playing track the current one.
TEST_F(SoundApi, ChannelsFreedMusicRepeatsAndBadFilesSkipped) {
  EXPECT_EQ(snd.play(-1, longFx, 100, 0), 0);  // the first free channel
  snd.play(-1, shortFx, 80, 0.5f);
  snd.play(4, longFx, 100, 0);
  for (int bad : {-1, 16, 99}) snd.setVolume(bad, 10, true);  // out of range: nothing, and silently
  EXPECT_EQ(snd.device->streamCount(), 3u);
  render(0.1f);
  EXPECT_TRUE(snd.channels[1].stream);
  snd.setVolume(4, 0, true);
  snd.update();
  EXPECT_TRUE(!snd.channels[1].stream && snd.channels[0].stream);
  ASSERT_FALSE(snd.channels[4].stream->isPlaying());
  snd.setVolume(4, 60, true);
  snd.update();
  ASSERT_TRUE(snd.channels[4].stream && snd.channels[4].stream->isPlaying());
  EXPECT_NEAR(snd.channels[4].stream->volume(), 0.6f, 1e-4);

  // A file that cannot be read frees the channel it was for, old sound and all.
  snd.play(5, longFx, 100, 0);
  snd.play(5, "missing.wav", 100, 0);
  EXPECT_FALSE(snd.channels[5].stream);
  snd.setVolume(5, 50, false);
  EXPECT_TRUE(cap.has("FAIL: Sound.play: Nie udalo sie otworzyc pliku \"missing.wav\""));

  // Music alone is at its volume at once and starts at the next update.
  snd.playMusic(music1, 100, 0);
  EXPECT_FLOAT_EQ(snd.music.front().volume, 1.0f);
  audio::Stream* first = snd.music.front().stream.get();
  for (float seconds : {0.0f, 0.6f}) {
    render(seconds);
    EXPECT_FALSE(first->isPlaying()) << seconds;
    snd.update();
    EXPECT_TRUE(first->isPlaying()) << seconds;
  }
  snd.playMusic("text.txt", 100, 0);
  EXPECT_TRUE(cap.has("FAIL: Sound.playMusic: Nie udalo sie otworzyc pliku \"text.txt\""));
  snd.setMusicVolume(10, true);  // no stream in front: ignored
  snd.update();
  EXPECT_TRUE(snd.music.size() == 1 && snd.music.front().volume == 1.0f);
}

// What is heard: an effect starts at its volume, glides to silence over two
// seconds and is freed; music starts at the next update, cross-fades in a
// second and answers its setters.
TEST_F(SoundApi, MixedOutputStartsGlidesAndStops) {
  for (Lua* state : {&lvlState, &bob->lua}) {
    SCOPED_TRACE(state == &lvlState ? "level" : "character");
    restart();
    EXPECT_PEAKS(0, 0);
    EXPECT_EQ(eval(*state, "return playSnd(3, 'fx.wav')"), "3");
    EXPECT_PEAKS(0.5, 0.5);
    eval(*state, "setSndVol(3, 0) setSndPan(3, -1, true) setSndPitch(3, 2)");
    updates(8);  // a second: half the volume, the pitch has arrived
    EXPECT_PEAKS(0.25, 0);
    EXPECT_NEAR(snd.channels[3].stream->pitchShift(), 2.0f, 0.13f);
    updates(8);  // silent: stopped, and freed by the next update
    EXPECT_PEAKS(0, 0);
    updates(1);
    EXPECT_FALSE(snd.channels[3].stream);
    eval(*state, "setSndVol(3, 100, 1)");  // a freed channel stays silent
    EXPECT_PEAKS(0, 0);
    eval(*state, "playSnd(4, 'fx.wav') stopSnd(4)");
    EXPECT_PEAKS(0, 0);

    eval(*state, "playMusic('data/snd.crs:m')");
    EXPECT_PEAKS(0, 0);  // starts at the next update
    updates(1);
    EXPECT_PEAKS(0.25, 0.25);
    eval(*state, "playMusic('fx.wav', 80)");
    updates(4);  // half way: 0.25 x 0.5 + 0.5 x 0.5
    EXPECT_PEAKS(0.375, 0.375);
    updates(4);
    EXPECT_EQ(snd.music.size(), 1u);
    EXPECT_PEAKS(0.5 * 0.75, 0.5 * 0.75);  // settled within a step of 80 %
    eval(*state, "setMusicVol(50, true) setMusicPan(1, 1) setMusicPitch(0.5)");
    updates(1);
    EXPECT_PEAKS(0, 0.25);
    EXPECT_NEAR(snd.music.front().stream->pitchShift(), 0.875f, 1e-4);
  }
}
