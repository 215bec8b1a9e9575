// A non-player character: an object with a name, a script state of its own
// that runs its "update" function on the fixed 16 ms clock, an automatic
// choice of walking, jumping and falling animations, and a saved state that
// brings it back as it was when its level is entered again.
#pragma once

#include <cstdint>
#include <string>

#include "script/lua.h"
#include "script/periodic.h"
#include "world/object.h"

class Level;
class Weapon;

class Npc : public Object {
 public:
  // `npcName` and `scriptName` may be null. The script is "lua/" +
  // scriptName: an archive entry when it holds a colon, a file otherwise;
  // one that cannot be read leaves the character without a script clock.
  // Takes over the sprite reference like Object. The level must outlive
  // the character (it owns it).
  Npc(const char* npcName, uint32_t id, int x, int y, int z, int hp, Sprite* sprite, Level* lvl,
      const char* scriptName);
  ~Npc() override;

  // Script clock, physics, animation clock, then the automatic animation.
  void step() override;
  // The character, then the weapon it carries at the frame's second point.
  void render() override;

  // Writes the info line the level's npc loading reads back into the save
  // database, under "<level name>_<character name>".
  void saveState() const;
  // Words an info line needs to make a character.
  static constexpr int kInfoWords = 9;
  // The sprite word of the info line of a character without an image.
  static constexpr const char* kNoSprite = "-";
  // The info line saveState writes.
  std::string infoLine() const;
  // True while some character's script runs its main chunk (inside the
  // constructor). A character made by a script at such a time must wait
  // until that script has returned, or a script that makes characters with
  // the same script would nest without end.
  static bool building() { return building_ > 0; }

  // Where the carried weapon is drawn (false without a current frame).
  bool weaponPoint(int& wx, int& wy) const;

  std::string name;
  bool hasName = false;
  std::string script;  // "lua/" + script name; empty = none
  Lua lua;
  Periodic updateTime;
  bool isPlayer = false;
  bool talkable = false;
  uint32_t dir = 0;  // facing: 0 left, 1 right
  bool autoAnimOff = false;
  Weapon* wep = nullptr;

 private:
  void loadScript();
  void chooseAnim();
  static int building_;
};
