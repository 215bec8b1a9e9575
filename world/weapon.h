// Scripted weapons: a picture, a script state of its own and the names of
// the two script functions behind the player's two weapon keys. The weapon
// list file names them; the program-wide table keeps them by name for the
// whole run.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "script/lua.h"

class Level;
class Npc;
class Sprite;

class Weapon {
 public:
  // Takes over one cache reference of `sprite` (may be null). Only with all
  // four given are the function names kept and the script file run;
  // otherwise the weapon has no uses.
  Weapon(const char* script, const char* func, const char* specFunc, Sprite* sprite);
  ~Weapon();
  Weapon(const Weapon&) = delete;
  Weapon& operator=(const Weapon&) = delete;

  // Reads a weapon list: "archive:entry" from an archive, anything without
  // a colon from disk. Each line of at least five words not starting with
  // "--" is: name, sprite, script file, use function, special-use function.
  static bool load(const char* name);
  // Parses a list already in memory (what load does after reading).
  static void loadText(const char* text);
  // The weapon of that name, or null (with a FAIL line).
  static Weapon* get(const char* name);
  // Number of weapons in the table.
  static size_t count();
  // The engine functions every weapon's script state gets (and nothing
  // else of the script API), in registration order.
  struct ScriptFunc {
    const char* name;
    lua_CFunction fn;
  };
  static const std::vector<ScriptFunc>& scriptFuncs();

  // Destroys every weapon, replaced ones included: only for when no
  // character and no player holds one (tests, tools). A weapon replaced by
  // a later list line is otherwise kept alive, unused, for its holders.
  static void clear();

  // Engine functions from above the world that weapon scripts get besides
  // their own (the sound functions): set once by the program's top, like
  // the script API of levels and characters (Lua::setApiInstaller).
  static void setApiInstaller(Lua::ApiInstaller fn);

  void setFunc(const char* name);
  void setSpecFunc(const char* name);

  // The uses: queue (x, y) and call the function; nothing without it.
  // `user` is the character using the weapon (may be null); the weapon's
  // own script functions spawn into its level, or the program's level.
  void fire1(int x, int y, Npc* user = nullptr);
  void fire2(int x, int y, Npc* user = nullptr);
  // The picture (animation 0, frame 0) at (x, y); nothing without one.
  void draw(int x, int y) const;

  Sprite* sprite;
  std::string func;  // empty = none
  std::string specFunc;
  bool hasFunc = false, hasSpecFunc = false;
  Lua lua;

 private:
  void fire(const std::string& fn, bool has, int x, int y, Npc* user);
};
