#include <SDL/SDL.h>

#include <vector>

#include "base/globals.h"
#include "base/log.h"
#include "game/dev_mode.h"
#include "game/game.h"
#include "gl/gl_fixture.h"

namespace {

class GameLoop : public GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    keys_.assign(512, 0);
    savedKeys_ = game::keys;
    game::keys = keys_.data();
    game::running = true;
    SDL_Event drop;
    while (SDL_PollEvent(&drop)) {
    }
    game.onPlayerKey = [this](int sym) { playerKeys.push_back(sym); };
  }
  void TearDown() override {
    game::keys = savedKeys_;
    game::running = true;
  }
  // sym 0 pushes a quit event instead of a key.
  // `altInEvent`: Left Alt only in the event's modifiers, already let go in
  // the keyboard state (a slow frame that gets the whole Alt+F4 at once).
  void push(int sym, bool leftAlt = false, bool altInEvent = false,
            bool leftCtrl = false) {
    keys_[308] = leftAlt ? 1 : 0;
    keys_[306] = leftCtrl ? 1 : 0;
    SDL_Event e{};
    if (altInEvent) e.key.keysym.mod = KMOD_LALT;
    e.type = sym ? SDL_KEYDOWN : SDL_QUIT;
    e.key.type = e.type;
    e.key.state = SDL_PRESSED;
    e.key.keysym.sym = static_cast<SDLKey>(sym);
    ASSERT_EQ(SDL_PushEvent(&e), 0);
  }

  Game game{"Jan  1 2026", "00:00:00"};
  std::vector<int> playerKeys;
  std::vector<uint8_t> keys_;
  const uint8_t* savedKeys_ = nullptr;
};

}  // namespace

TEST_F(GameLoop, LeftAltF4AndQuitEndTheLoopAfterTheCurrentFrame) {
  for (int how : {0, 1, 2}) {
    game::running = true;
    how == 0 ? push(0) : push(SDLK_F4, how == 1, how == 2);
    const uint64_t drawn = game.drawnFrames(), updated = game.updatedFrames();
    game.frame();
    EXPECT_FALSE(game::running);
    // The frame that saw the shortcut still ran to its end.
    EXPECT_EQ(game.drawnFrames(), drawn + 1);
    EXPECT_EQ(game.updatedFrames(), updated + 1);
  }
  EXPECT_TRUE(playerKeys.empty());
}

TEST_F(GameLoop, LeftAltWithOtherKeysDoesNothing) {
  for (int sym : {SDLK_F5, SDLK_a, SDLK_PRINT}) push(sym, true);
  game.frame();
  EXPECT_TRUE(game::running);
  EXPECT_FALSE(game.paused());
  EXPECT_TRUE(playerKeys.empty());
  // Without Left Alt the same keys do reach the player; F4 alone quits nothing.
  push(SDLK_F4);
  push(SDLK_a);
  game.frame();
  EXPECT_TRUE(game::running);
  EXPECT_EQ(playerKeys, (std::vector<int>{SDLK_F4, SDLK_a}));
}

TEST_F(GameLoop, PrintScreenFreezesUpdatesButNotDrawing) {
  push(SDLK_PRINT);
  game.frame();
  ASSERT_TRUE(game.paused());
  const uint64_t updated = game.updatedFrames(), drawn = game.drawnFrames();
  push(SDLK_a);  // reaches nobody while paused
  for (int i = 0; i < 3; ++i) game.frame();
  EXPECT_EQ(game.updatedFrames(), updated);
  EXPECT_EQ(game.drawnFrames(), drawn + 3);
  EXPECT_TRUE(playerKeys.empty());
  push(SDLK_PRINT);
  game.frame();
  EXPECT_FALSE(game.paused());
  EXPECT_EQ(game.updatedFrames(), updated + 1);
}

TEST_F(GameLoop, DevModeStepsOneFrameWhilePausedAndKeepsItsKeys) {
  // Without developer mode Left Ctrl+N is an ordinary key for the player.
  push(SDLK_n, false, false, true);
  game.frame();
  EXPECT_EQ(playerKeys, std::vector<int>{SDLK_n});
  playerKeys.clear();

  game.enableDevMode();
  push(SDLK_n, false, false, true);  // not paused: nothing to step, reaches nobody
  push(SDLK_d, false, false, true);
  game.frame();
  EXPECT_TRUE(game.devMode()->overlay());
  push(SDLK_PRINT);
  game.frame();
  const uint64_t updated = game.updatedFrames(), drawn = game.drawnFrames();
  push(SDLK_n, false, false, true);
  for (int i = 0; i < 3; ++i) game.frame();
  EXPECT_EQ(game.updatedFrames(), updated + 1);
  push(SDLK_n, false, false, true);
  push(SDLK_n, false, false, true);
  for (int i = 0; i < 3; ++i) game.frame();
  EXPECT_EQ(game.updatedFrames(), updated + 3);
  EXPECT_EQ(game.drawnFrames(), drawn + 6);
  EXPECT_TRUE(game.paused());
  EXPECT_TRUE(playerKeys.empty());
  // Every frame was timed for the graph.
  const auto& last = game.devMode()->history()[(game.devMode()->historyStart() + 239) % 240];
  EXPECT_GT(last.drawMs + last.presentMs, 0.0f);
  push(SDLK_PRINT);
  game.frame();
}

TEST_F(GameLoop, FrameTimeFollowsThePacing) {
  // A capped frame of an empty world lasts about 16 ms; Right Shift lifts the cap.
  game.frame();
  EXPECT_GE(game::dt, 0.015f);
  EXPECT_LE(game::dt, 0.5f);
  keys_[303] = 1;
  game.frame();
  EXPECT_GE(game::dt, 0.00001f);
  EXPECT_LE(game::dt, 0.5f);
}

TEST(GameStats, StatisticsLineFormat) {
  EXPECT_EQ(Game::statsLine(60, 1000, 2001, 2002, 2003, 5, 9, 2, 3, 960, -4),
            "INFO: 59.82fps \t(60f/1002ms) \t16.68ms/f\nObjs: 5/9 \t Parts: 2\tNpcs: 3\nPlayer: x, y: 960, -4");
}
