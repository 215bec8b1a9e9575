// The program: start-up in a fixed order (each failure with its exit code),
// the paced single-threaded frame loop and shutdown.
#pragma once

#include <SDL/SDL.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "resources/game_settings.h"

class DevMode;
class Text;

class Game {
 public:
  // Exit codes of the program.
  enum ExitCode : int {
    kOk = 0,
    kNoScreen = 100,
    kNoSound = 101,
    kNoDialogSprites = 102,
    kNoLevel = 200,
  };

  Game(const char* buildDate, const char* buildTime, GameSettings settings = GameSettings());
  ~Game();
  Game(const Game&) = delete;
  Game& operator=(const Game&) = delete;

  // Start-up, the loop while game::running, shutdown. Returns the exit code.
  int run();

  // Start-up steps in order; 0 when the game may run, else the exit code.
  // An early exit skips shutdown (nothing is released or saved).
  int startUp();
  // One frame of the loop, pacing included.
  void frame();
  // Everything after the loop; returns 0.
  int shutdown();

  // Drains SDL's event queue through handleEvent.
  void pollEvents();
  void handleEvent(const SDL_Event& event);

  const GameSettings& settings() const { return settings_; }
  // Developer mode: live reload, the overlay and the frame step (off
  // unless the command line asks for it). Call before run().
  void enableDevMode();
  DevMode* devMode() const { return dev_.get(); }

  bool paused() const { return paused_; }
  // Frames whose world update ran, and frames drawn (tests watch pausing).
  uint64_t updatedFrames() const { return updatedFrames_; }
  uint64_t drawnFrames() const { return drawnFrames_; }
  // The debugging texts (null before start-up step 13).
  const Text* statsText() const { return statsText_.get(); }
  const Text* keysText() const { return keysText_.get(); }

  // The font test string the statistics text shows until the first
  // statistics interval ends.
  static const char* const kFontTest;

  // Key presses that reach the player (not paused, not a Left Alt shortcut);
  // the player's own key handler unless a test replaces it.
  std::function<void(int sym)> onPlayerKey;

  // Builds the statistics text of one interval.
  static std::string statsLine(uint32_t frames, uint32_t statsStart, uint32_t a, uint32_t b,
                               uint32_t c, uint32_t objs, uint32_t allObjs, uint32_t parts,
                               uint32_t npcs, int px, int py);

 private:
  void update();
  void placeCamera();
  void draw();
  void present();
  void updateStats();
  void pace();
  void trimAfterLevelChange();

  std::string buildDate_, buildTime_;
  GameSettings settings_;
  bool paused_ = false;
  // Frames Left Ctrl+N asked to run while paused (developer mode).
  int stepFrames_ = 0;
  std::unique_ptr<DevMode> dev_;
  uint32_t statsStart_ = 0;
  uint32_t frames_ = 0;
  uint64_t updatedFrames_ = 0;
  uint64_t drawnFrames_ = 0;
  uint64_t levelLoads_ = 0;  // Level::loads when the heap was last trimmed
  // Frames by their length in ms (the last slot: that long or longer),
  // written to the file named by TERVALO_FRAME_LOG at the end (soak runs).
  std::vector<uint64_t> frameMs_ = std::vector<uint64_t>(501, 0);
  void writeFrameLog() const;
  bool started_ = false;
  std::unique_ptr<Text> statsText_;
  std::unique_ptr<Text> keysText_;
};

// The entry point's body: reads the command line (game/options.h), moves
// into the game folder and runs the game there.
int runGame(int argc, const char* const* argv, const char* buildDate, const char* buildTime);
