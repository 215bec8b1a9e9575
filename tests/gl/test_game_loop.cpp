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
  // sym 0 pushes a quit event instead of a key.
  // `altInEvent`: Left Alt only in the event's modifiers, already let go in
  // the keyboard state (a slow frame that gets the whole Alt+F4 at once).
  void push(int sym, bool leftAlt = false, bool altInEvent = false, bool leftCtrl = false) {
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

// Quit and Left Alt+F4 end the loop after the frame that saw them; Left Alt
// with other keys does nothing, and without it the keys reach the player.
TEST_F(GameLoop, KeysOfOneFrame) {
  struct Key {
    int sym;  // 0: a quit event
    bool leftAlt = false, altInEvent = false;
  };
  const struct {
    const char* name;
    std::vector<Key> keys;
    bool running;
    std::vector<int> toPlayer;
  } rows[] = {
      {"quit", {{0}}, false, {}},
      {"Left Alt+F4", {{SDLK_F4, true}}, false, {}},
      {"Alt+F4 let go by the time the frame reads it", {{SDLK_F4, false, true}}, false, {}},
      {"Left Alt with other keys", {{SDLK_F5, true}, {SDLK_a, true}, {SDLK_PRINT, true}}, true, {}},
      {"no Alt", {{SDLK_F4}, {SDLK_a}}, true, {SDLK_F4, SDLK_a}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    game::running = true;
    playerKeys.clear();
    for (const Key& k : row.keys) push(k.sym, k.leftAlt, k.altInEvent);
    const uint64_t drawn = game.drawnFrames(), updated = game.updatedFrames();
    game.frame();
    EXPECT_EQ(game::running, row.running);
    EXPECT_FALSE(game.paused());
    EXPECT_EQ(playerKeys, row.toPlayer);
    // The frame that saw the keys still ran to its end.
    EXPECT_EQ(game.drawnFrames(), drawn + 1);
    EXPECT_EQ(game.updatedFrames(), updated + 1);
    // A capped frame of an empty world lasts about 16 ms.
    EXPECT_GE(game::dt, 0.015f);
    EXPECT_LE(game::dt, 0.5f);
  }
  keys_[303] = 1;  // Right Shift lifts the cap
  game.frame();
  EXPECT_GE(game::dt, 0.00001f);
  EXPECT_LE(game::dt, 0.5f);
}

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
  updated = game.updatedFrames(), drawn = game.drawnFrames();
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

TEST(GameStats, StatisticsLineFormat) {
  EXPECT_EQ(Game::statsLine(60, 1000, 2001, 2002, 2003, 5, 9, 2, 3, 960, -4),
            "INFO: 59.82fps \t(60f/1002ms) \t16.68ms/f\nObjs: 5/9 \t Parts: 2\tNpcs: 3\nPlayer: x, y: 960, -4");
}
