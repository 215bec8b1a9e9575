// The commands of a level file ("ARCHIVE:NAME.txt"): one a line, split at
// blanks and tabs, word 0 naming the command. The level loader runs them and
// the game checker reads them from this one table.
#pragma once

#include <string>
#include <vector>

struct LevelCommand {
  enum Id { kComment, kSprite, kFrame, kObj, kScript, kCall };
  Id id;
  const char* name;
  // Words a line needs, the command included; shorter lines are skipped.
  int words;
  // Words a line may have at most (later ones are not read); -1: any.
  int maxWords;
  // The words after the command as the guide writes them.
  const char* usage;

  static const std::vector<LevelCommand>& all();
  // The command named `word`, or null.
  static const LevelCommand* find(const std::string& word);
};
