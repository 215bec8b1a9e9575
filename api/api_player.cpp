// The player family: the player's character and the start values it is made
// with ("setPlayerPos", "getPlayerHp", ...). Most members are the shared
// object members aimed at the character; position, hp and sprite also
// change the start values and need no character, and the weapon functions
// are the player's own.
#include <string>

#include "api/api_object_family.h"
#include "base/log.h"
#include "world/npc.h"
#include "world/player.h"
#include "world/weapon.h"

namespace LuaFuncs {

namespace {

Object* findPlayer(lua_State* L, const char* fn, bool quiet) {
  // The level is not used, but a state without one is refused all the same.
  if (!needLvl(L, fn)) return nullptr;
  Npc* npc = Player::instance().npc.get();
  if (!npc && !quiet) failNullNpc(fn);
  return npc;
}

struct PlayerFamily {
  static const objapi::Family family;
};
const objapi::Family PlayerFamily::family{"Player", 0, true, false, findPlayer};

int lSetPlayerPos(lua_State* L) {
  if (!needArgs(L, 2, "lSetPlayerPos") || !needLvl(L, "lSetPlayerPos")) return 0;
  Player& p = Player::instance();
  p.x = argInt(L, 1);
  p.y = argInt(L, 2);
  p.z = 0;
  if (Npc* c = p.npc.get()) {
    c->x = static_cast<float>(p.x);
    c->y = static_cast<float>(p.y);
  }
  return 0;
}

int lSetPlayerX(lua_State* L) {
  if (!needArgs(L, 1, "lSetPlayerX") || !needLvl(L, "lSetPlayerX")) return 0;
  Player& p = Player::instance();
  p.x = argInt(L, 1);
  if (Npc* c = p.npc.get()) c->x = static_cast<float>(p.x);
  return 0;
}

int lSetPlayerY(lua_State* L) {
  if (!needArgs(L, 1, "lSetPlayerY") || !needLvl(L, "lSetPlayerY")) return 0;
  Player& p = Player::instance();
  p.y = argInt(L, 1);
  if (Npc* c = p.npc.get()) c->y = static_cast<float>(p.y);
  return 0;
}

int lSetPlayerSprite(lua_State* L) {
  if (!needArgs(L, 1, "lSetPlayerSprite") || !needLvl(L, "lSetPlayerSprite")) return 0;
  const char* name = argStr(L, 1, "lSetPlayerSprite");
  if (!name) return 0;
  Player& p = Player::instance();
  // Only the next character gets it; the current one keeps its sprite.
  guarded("lSetPlayerSprite", [&] {
    p.spriteName = name;
    p.hasSpriteName = true;
  });
  return 0;
}

int lSetPlayerHp(lua_State* L) {
  if (!needArgs(L, 1, "lSetPlayerHp")) return 0;
  Player& p = Player::instance();
  p.hp = argInt(L, 1);
  if (Npc* c = p.npc.get()) c->hp = p.hp;
  return 0;
}

int lSetPlayerWep(lua_State* L) {
  if (!needArgs(L, 1, "lSetPlayerWep")) return 0;
  Player& p = Player::instance();
  const uint32_t idx = argId(L, 1);
  Npc* c = p.npc.get();
  if (!c || idx >= p.weps.size() || !p.weps[idx]) return 0;
  p.wepIdx = idx;
  c->wep = p.weps[idx];
  return 0;
}

// Adds the weapon of that name from the weapon table to the player's list
// (once; a name not in the table adds nothing), so that setPlayerWep can
// then choose it.
int lLAddPlayerWep(lua_State* L) {
  if (!needArgs(L, 1, "lLAddPlayerWep") || !lua_isstring(L, 1)) return 0;
  Weapon* w = Weapon::get(lua_tostring(L, 1));
  if (!w) return 0;
  Player& p = Player::instance();
  for (const Weapon* have : p.weps)
    if (have == w) return 0;
  p.weps.push_back(w);
  return 0;
}

}  // namespace

const std::vector<Func>& playerFuncs() {
  static const std::vector<Func> funcs = [] {
    std::vector<Func> out;
    for (const Func& f : objapi::funcsOf<PlayerFamily>()) {
      const std::string name = f.name;
      if (name == "setPlayerPos") {
        out.push_back({f.name, lSetPlayerPos});
      } else if (name == "setPlayerX") {
        out.push_back({f.name, lSetPlayerX});
      } else if (name == "setPlayerY") {
        out.push_back({f.name, lSetPlayerY});
      } else if (name == "setPlayerSprite") {
        out.push_back({f.name, lSetPlayerSprite});
      } else if (name == "setPlayerHp") {
        out.push_back({f.name, lSetPlayerHp});
        out.push_back({"setPlayerWep", lSetPlayerWep});
        out.push_back({"lAddPlayerWep", lLAddPlayerWep});
      } else {
        out.push_back(f);
      }
    }
    return out;
  }();
  return funcs;
}

}  // namespace LuaFuncs
