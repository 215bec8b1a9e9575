// Developer mode (`tervalo --dev`): live reload of the running level when
// its files change or on Left Ctrl+R, the debug overlay (Left Ctrl+D) and
// the frame-time history it graphs. Off unless asked for, so a shipped game
// never pays for it. The frame step (Left Ctrl+N while paused) lives in the
// frame loop itself (game.cpp).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "base/file_watch.h"

class Sprite;

class DevMode {
 public:
  // How long the game folder must stay quiet after a change before the
  // reload runs: editors and packers write a file in several steps.
  static constexpr uint32_t kSettleMs = 150;
  // Frames the frame-time graph remembers.
  static constexpr size_t kHistory = 240;

  struct FrameTime {
    float updateMs = 0, drawMs = 0, presentMs = 0;
  };

  DevMode();
  ~DevMode();
  DevMode(const DevMode&) = delete;
  DevMode& operator=(const DevMode&) = delete;

  // After start-up: notes the images' and characters' current versions and
  // starts watching the game folder (`root`, normally ".").
  void start(const std::string& root = ".");

  // Once per frame, before the world is updated: reads the folder's
  // changes and runs a reload that is due (asked for by the key, or the
  // folder quiet for kSettleMs after a change). `nowMs` is SDL ticks.
  // True when a reload ran.
  bool beforeFrame(uint32_t nowMs);
  void requestReload() { keyReload_ = true; }
  bool reloadPending() const { return keyReload_ || changedAt_ != 0; }

  // Reloads the current level with its scripts, characters and dialogs and
  // re-reads the images whose files changed. The new level is built while
  // the running one waits aside; when loading fails or a script of the new
  // level fails to compile or run, the running level comes back as it was
  // and the reason is printed. The player's character (position, speed,
  // hit points, weapon), the save database and the camera are kept.
  bool reload();

  // --- overlay ---------------------------------------------------------
  void toggleOverlay() { overlay_ = !overlay_; }
  bool overlay() const { return overlay_; }
  // Draws the overlay over the finished picture (before it is presented).
  void drawOverlay() const;

  // Frame times for the graph, oldest first from `historyStart()`.
  void recordFrame(const FrameTime& t);
  const std::array<FrameTime, kHistory>& history() const { return history_; }
  size_t historyStart() const { return next_; }

  uint32_t reloads() const { return reloads_; }
  uint32_t failedReloads() const { return failedReloads_; }

 private:
  // Version of a file: modification time (ns) and size; zeros when missing.
  using Stamp = std::pair<int64_t, int64_t>;
  static Stamp stampOf(const std::string& path);
  // The file an image is read from: its archive, or the file itself.
  static std::string sourceOf(const std::string& spriteName);

  void noteNewImages();
  // Re-reads the images whose files changed; the number re-read.
  int refreshImages();
  // Every holder of animation records looks them up again.
  static void rebindAnimations();
  // The characters' info lines of `levelName` as their files give them.
  static std::map<std::string, std::string> fileInfoLines(const std::string& levelName);

  FileWatch watch_;
  std::set<std::string> changedFiles_;
  uint32_t changedAt_ = 0;  // ticks of the last change not yet reloaded; 0 = none
  bool keyReload_ = false;
  bool overlay_ = false;
  std::map<std::string, Stamp> stamps_;  // image source -> version last read
  size_t seenImages_ = 0;
  // The characters' lines in their files when the current level was
  // entered or last reloaded: save key -> line.
  std::map<std::string, std::string> infoLines_;
  std::string infoLevel_;  // the level infoLines_ belongs to
  // The overlay's font, taken at its first use (null when the game has none).
  mutable Sprite* font_ = nullptr;
  mutable bool fontTried_ = false;
  std::array<FrameTime, kHistory> history_{};
  size_t next_ = 0;
  uint32_t reloads_ = 0, failedReloads_ = 0;
};
