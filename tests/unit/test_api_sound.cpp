// Sound for scripts: the sound rows of the script API in a level's and a
// character's state (and a weapon's), checked on what the mixer puts out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sound/sound.h"
#include "unit/api_fixture.h"
#include "unit/scratch_dir.h"
#include "unit/sound_files.h"
#include "unit/world_helpers.h"
#include "world/npc.h"
#include "world/weapon.h"

namespace {

using apitest::eval;
constexpr int kRate = 8000;
constexpr double kFull = 32767.0;

struct SoundApi : apitest::LevelApi {
  Sound& snd = Sound::instance();
  Npc* bob = nullptr;
  Log::Capture cap;

  void SetUp() override {
    LevelApi::SetUp();
    // Constant levels: 0.5 on disk, 0.25 in an archive (decoded from memory).
    soundtest::writeWav("fx.wav", soundtest::level(0.5f, kRate, 5), kRate);
    soundtest::writeWav("quiet.wav", soundtest::level(0.25f, kRate, 5), kRate);
    archive("data/snd.crs", {{"fx", readBytes("quiet.wav")}, {"m", readBytes("quiet.wav")}});
    file("text.txt", "RIFF....WAVE but nothing a decoder could read");
    bob = lvl.addNpc(std::make_unique<Npc>("bob", 1, 0, 0, 0, 5, nullptr, &lvl, nullptr), 1);
    restart();
    game::dt = 0.125f;  // exact in binary: glides land on round values
  }
  void TearDown() override {
    snd.shutdown();
    LevelApi::TearDown();
  }
  void restart() { ASSERT_TRUE(snd.init(audio::Device::detached(kRate))); }
  void updates(int n) {
    for (int i = 0; i < n; ++i) snd.update();
  }
  // Peaks of the left and right side over a tenth of a second of output,
  // as fractions of full scale.
  std::pair<double, double> peaks() {
    std::vector<int16_t> out(kRate / 10 * 2);
    snd.device->render(out.data(), out.size() / 2);
    int l = 0, r = 0;
    for (size_t i = 0; i < out.size(); i += 2) {
      l = std::max(l, std::abs(int(out[i])));
      r = std::max(r, std::abs(int(out[i + 1])));
    }
    return {l / kFull, r / kFull};
  }
};

#define EXPECT_PEAKS(want_l, want_r)                \
  do {                                              \
    const auto p = peaks();                         \
    EXPECT_NEAR(p.first, want_l, 0.01) << "left";   \
    EXPECT_NEAR(p.second, want_r, 0.01) << "right"; \
  } while (0)

}  // namespace

// Good and bad arguments give the same results and lines in both kinds of state.
TEST_F(SoundApi, ArgumentsAndFailuresInLevelAndCharacter) {
  using apitest::tooFew;
  const std::string cannotOpen = "FAIL: Sound.play: Nie udalo sie otworzyc pliku ";
  const apitest::Row rows[] = {
      {"return playSnd(-1, 'data/snd.crs:fx'), playSnd(5, 'fx.wav', 40, 0.5), playSnd(16, 'fx.wav')", "0 5 -1", {}},
      {"return select('#', playSnd(1)) + select('#', stopSnd()) + select('#', setSndVol(1)) + "
       "select('#', setSndPan(1)) + select('#', setSndPitch(1)) + select('#', playMusic()) + "
       "select('#', setMusicVol()) + select('#', setMusicPan()) + select('#', setMusicPitch())",
       "0",
       {tooFew("lPlaySnd"), tooFew("lStopSnd"), tooFew("lSetSndVol"), tooFew("lSetSndPan"), tooFew("lSetSndPitch"),
        tooFew("lPlayMusic"), tooFew("lSetMusicVol"), tooFew("lSetMusicPan"), tooFew("lSetMusicPitch")}},
      {"return select('#', playSnd(1, {})) + select('#', playMusic(nil))",
       "0",
       {"FAIL: LuaFuncs.lPlaySnd: Argument 2 nie jest tekstem",
        "FAIL: LuaFuncs.lPlayMusic: Argument 1 nie jest tekstem"}},
      {"return playSnd(1, 'missing.wav'), playSnd(1, 'text.txt'), playSnd(1, 'data/snd.crs:none')",
       "-1 -1 -1",
       {cannotOpen + "\"missing.wav\"", cannotOpen + "\"text.txt\"",
        "FAIL: Resfile.load: Nie znaleziono pliku \"none\"", cannotOpen + "\"data/snd.crs:none\""}},
      {"return setSndVol(9, 50), setSndPan(-1, 1), stopSnd(99)", "nil nil", {}},  // empty channels
      {"return select('#', playMusic('text.txt'))",
       "0",
       {"FAIL: Sound.playMusic: Nie udalo sie otworzyc pliku \"text.txt\""}},
      // All sixteen channels busy: a free one is asked for in vain.
      {"for i = 0, 15 do playSnd(-1, 'fx.wav') end return playSnd(-1, 'data/snd.crs:fx')",
       "-1",
       {"FAIL: Sound.play: Nie znaleziono wolnego kanalu"}},
  };
  for (Lua* state : {&lvlState, &bob->lua}) {
    for (const auto& row : rows) {
      restart();
      apitest::check(*state, row);
    }
  }
  restart();
  eval(bob->lua, "playSnd(5, 'fx.wav', 40, 0.5)");
  EXPECT_TRUE(snd.channels[5].volume == 0.4f && snd.channels[5].pan == 0.5f);
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

// Weapon scripts get the sound functions (and still none of the level's).
TEST_F(SoundApi, WeaponStates) {
  worldtest::Sheet pic{1, 8, 8};
  file("lua/gun.lua", "function shoot(x, y) ch = playSnd(-1, 'data/snd.crs:fx', x) end");
  Weapon gun("lua/gun.lua", "shoot", "shoot", &pic.s);
  gun.fire1(30, 0);
  EXPECT_EQ(eval(gun.lua, "return ch, setPos == nil"), "0 true");
  EXPECT_FLOAT_EQ(snd.channels[0].volume, 0.3f);
  EXPECT_TRUE(cap.lines().empty()) << cap.joined();
}
