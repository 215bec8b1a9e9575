#include <vector>

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
    GlTest::TearDown();
  }
  // A key pressed, with Left Ctrl held or not.
  void push(int sym, bool leftCtrl = false) {
    keys_[306] = leftCtrl ? 1 : 0;
    SDL_Event e{};
    e.type = e.key.type = SDL_KEYDOWN;
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

// Print Screen freezes updates but not drawing; in developer mode Left
// Ctrl+N then steps one frame.
TEST_F(GameLoop, PauseAndDevModeSteps) {
  push(SDLK_PRINT);
  game.frame();
  ASSERT_TRUE(game.paused());
  uint64_t updated = game.updatedFrames(), drawn = game.drawnFrames();
  push(SDLK_a);  // reaches nobody while paused
  for (int i = 0; i < 3; ++i) game.frame();
  EXPECT_EQ(game.updatedFrames(), updated);
  EXPECT_EQ(game.drawnFrames(), drawn + 3);
  EXPECT_TRUE(playerKeys.empty());
  push(SDLK_PRINT);
  game.frame();
  EXPECT_FALSE(game.paused());
  EXPECT_EQ(game.updatedFrames(), updated + 1);

  // Without developer mode Left Ctrl+N is an ordinary key for the player.
  push(SDLK_n, true);
  game.frame();
  EXPECT_EQ(playerKeys, std::vector<int>{SDLK_n});
  playerKeys.clear();

  game.enableDevMode();
  push(SDLK_n, true);  // not paused: nothing to step, reaches nobody
  push(SDLK_d, true);
  game.frame();
  EXPECT_TRUE(game.devMode()->overlay());
  push(SDLK_PRINT);
  game.frame();
  updated = game.updatedFrames(), drawn = game.drawnFrames();
  push(SDLK_n, true);
  for (int i = 0; i < 3; ++i) game.frame();
  EXPECT_EQ(game.updatedFrames(), updated + 1);
  push(SDLK_n, true);
  push(SDLK_n, true);
  for (int i = 0; i < 3; ++i) game.frame();
  EXPECT_EQ(game.updatedFrames(), updated + 3);
  EXPECT_EQ(game.drawnFrames(), drawn + 6);
  EXPECT_TRUE(game.paused());
  EXPECT_TRUE(playerKeys.empty());
  push(SDLK_PRINT);
  game.frame();
}

TEST(GameStats, StatisticsLineFormat) {
  EXPECT_EQ(Game::statsLine(60, 1000, 2001, 2002, 2003, 5, 9, 2, 3, 960, -4),
            "INFO: 59.82fps \t(60f/1002ms) \t16.68ms/f\nObjs: 5/9 \t Parts: 2\tNpcs: 3\nPlayer: x, y: 960, -4");
}
