// The person at the keyboard: where and how the player's character is
// created, the two sets of key bindings from "controls.bin", the character's
// movement from the held keys and the key presses that use weapons and
// drive conversations.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class Level;
class Npc;
class Weapon;

// The player's character as its level holds it. The level owns the
// character and may destroy it at any moment (unloading, a script deleting
// it, a slot replaced); this reference looks the character up in the
// level's table on every use, so a destroyed one reads as null instead of
// dangling.
class PlayerCharacter {
 public:
  void set(Level* lvl, uint32_t slot, Npc* npc);
  void clear() { npc_ = nullptr; }
  // The character, or null when there is none (any more).
  Npc* get() const;
  Npc* operator->() const { return get(); }
  explicit operator bool() const { return get() != nullptr; }
  uint32_t slot() const { return slot_; }

 private:
  Level* lvl_ = nullptr;
  uint32_t slot_ = 0;
  mutable Npc* npc_ = nullptr;
};

class Player {
 public:
  // Actions, indexes into keysA and keysB.
  enum Action : size_t {
    kLeft,
    kRight,
    kJump,
    kWeaponUse,
    kWeaponSpecial,
    kTalk,
    kNext,
    kOptionDown,
    kOptionUp,
    kOptionPageDown,
    kOptionPageUp,
    kActionCount
  };
  // Size of the SDL 1.2 key-state array (SDLK_LAST): bindings at or past
  // it are never held.
  static constexpr size_t kKeyCount = 323;

  static constexpr float kWalkSpeed = 100.0f;  // px/s
  static constexpr float kJumpSpeed = 200.0f;  // px/s, upwards

  // The program's player (start-up, the frame loop and the script API use
  // it). Tests may build players of their own.
  static Player& instance();

  // Stores where and how the character is made, then makes it (setPlayer).
  // A null level or sprite name changes nothing.
  void addPlayer(Level* level, int px, int py, int pz, int php, const char* sprite);
  // Makes the character anew in `lvl` at the start values, replacing one
  // that still exists; nothing without a level or a sprite name.
  void setPlayer();
  // Puts a character made earlier (taken out of a world that is being
  // replaced) into `lvl`, in the slot setPlayer would choose, as the
  // player's character, with everything it had (position, speed, hit
  // points, weapon); the conversation starts over as after setPlayer.
  // False (the character destroyed) when the level cannot store it.
  bool adoptCharacter(std::unique_ptr<Npc> character);

  // Reads the bindings; false when the file is missing or incomplete (the
  // actions it does not cover keep their bindings).
  bool loadCtrls(const char* name);
  // Writes all 11 pairs through a temporary file, so a failed write never
  // leaves a half-written bindings file behind.
  bool saveCtrls(const char* name) const;

  // One key press that reached the player.
  void onKey(int key);
  // Once per frame: movement from the held keys (`keys` has `count`
  // entries, one per SDL key symbol, non-zero while held).
  void control(const uint8_t* keys, size_t count = kKeyCount);

  // The point the camera centres on: the character's position truncated,
  // or the start position while there is no character.
  void viewPoint(int& px, int& py) const;
  // The character's contact flags for the debugging text: up, down (on the
  // ground), left, right as digits over "udlr"; dashes without a character.
  std::string contactLine() const;

  // What key presses ask of the conversation: the player's dialog fills
  // these in (it lives beside them as `dialog` once it exists); while
  // `running` is unset no conversation ever runs.
  struct DialogHooks {
    std::function<bool()> running;  // a conversation is running
    std::function<int()> opt;       // the highlighted option
    std::function<void()> start;    // the talk key
    std::function<void()> advance;  // the next key
    std::function<void(int)> select;
    // A new character was made: the conversation starts over with this
    // player and level.
    std::function<void(Player&, Level*)> reset;
  };
  // The uses of the carried weapon at the character's position; filled in
  // by the weapon system.
  struct WeaponHooks {
    std::function<void(Weapon&, int, int)> fire1, fire2;
  };

  int32_t x = 0, y = 0, z = 0;
  int32_t hp = 100;
  PlayerCharacter npc;
  std::string spriteName;
  bool hasSpriteName = false;
  Level* lvl = nullptr;
  DialogHooks dialogHooks;
  WeaponHooks weaponHooks;
  uint32_t wepIdx = 0;
  std::vector<Weapon*> weps;  // filled by the weapon system
  std::array<uint32_t, kActionCount> keysA{};
  std::array<uint32_t, kActionCount> keysB{};

 private:
  bool conversation() const { return dialogHooks.running && dialogHooks.running(); }
  bool matches(uint32_t key, Action a) const { return keysA[a] == key || keysB[a] == key; }
  void select(int delta);
};
