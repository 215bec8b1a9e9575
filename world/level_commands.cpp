#include "world/level_commands.h"

const std::vector<LevelCommand>& LevelCommand::all() {
  static const std::vector<LevelCommand> table = {
      {kComment, "--", 1, -1, "TEXT..."},
      {kSprite, "sprite", 2, 2, "SPRITE"},
      {kFrame, "frame", 6, 9, "NAME BLOCKS SKY FX FY [LAYER [PARALLAX_X PARALLAX_Y]]"},
      {kObj, "obj", 7, 7, "ID X Y Z HP SPRITE"},
      {kScript, "script", 2, 2, "RESOURCE"},
      {kCall, "call", 2, 2, "FUNCTION"},
  };
  return table;
}

const LevelCommand* LevelCommand::find(const std::string& word) {
  for (const LevelCommand& c : all())
    if (word == c.name) return &c;
  return nullptr;
}
