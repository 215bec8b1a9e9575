// The game folder's optional settings file "game.ini": its [game] section
// names the first level, the player's character and the save file. Every
// key is optional; a missing or wrong key keeps its default.
//
// A new setting is a field with its default below and one row in the key
// table of game_settings.cpp (name, field, allowed range).
#pragma once

#include <string>
#include <utility>
#include <vector>

class GameSettings {
 public:
  // The file's name inside the game folder.
  static constexpr const char* kFileName = "game.ini";
  // The one section the settings are read from.
  static constexpr const char* kSection = "game";

  // The first level (a resource name).
  std::string level = "data/lvl/miedzyczas.crs:lvl";
  // The player's sprite (a resource name) and start.
  std::string playerSprite = "data/gfx.crs:player";
  int playerX = 960;
  int playerY = 96;
  int playerHp = 100;
  // The save file, a path inside the game folder.
  std::string save = "save/sav01.bin";
  // Limits of every script call and state: the time one call may run and
  // the memory one state may hold (the script host's defaults).
  int scriptBudgetMs = 250;
  int scriptMemoryMb = 64;

  // One line of the file that was not taken; line 0 is the whole file.
  struct Problem {
    int line;
    std::string message;
  };

  // How a key's value is checked.
  enum class Kind {
    kName,  // any non-empty text (a resource name)
    kPath,  // a relative path that stays inside the game folder
    kInt,   // a whole number within [min, max]
  };
  struct Key {
    const char* name;
    Kind kind;
    std::string GameSettings::*text;  // kName, kPath
    int GameSettings::*number;        // kInt
    int min, max;
  };
  // Every key, in the order the guide lists them.
  static const std::vector<Key>& keys();

  // Reads the settings from `text` (the file's contents). Values that are
  // taken replace the defaults; everything else is described in the result
  // and keeps its default.
  std::vector<Problem> parse(const std::string& text);
  // The line the key `name` was last taken from by parse(); 0 when it was not.
  int lineOf(const std::string& name) const;

  // Reads `path` when it exists (nothing happens without it): a console
  // line for every problem and one for the file read. False only when the
  // file exists but cannot be read.
  bool load(const std::string& path);

 private:
  std::vector<std::pair<std::string, int>> keyLines_;
};
