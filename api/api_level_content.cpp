// The level's sky, objects, frame objects and characters, changed from
// scripts.
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "api/lua_funcs.h"
#include "base/log.h"
#include "render/sprite.h"
#include "script/script_requests.h"
#include "world/level.h"
#include "world/npc.h"

namespace LuaFuncs {

namespace {

// A yes/no argument: a boolean as itself, anything else as a number that
// is not 0.
bool argTruth(lua_State* L, int idx) {
  if (lua_isboolean(L, idx)) return lua_toboolean(L, idx) != 0;
  return lua_tonumber(L, idx) != 0;
}

// The optional collide and gravity arguments of the creating functions
// (nil counts as not given).
struct Creation {
  bool setCols = false;
  bool cols = true;
  bool noGrav = false;

  Creation(lua_State* L, int idx) {
    if (!lua_isnoneornil(L, idx)) {
      setCols = true;
      cols = argTruth(L, idx);
    }
    noGrav = !lua_isnoneornil(L, idx + 1) && !argTruth(L, idx + 1);
  }
  void apply(Object& o) const {
    if (setCols) o.colsOn = cols;
    if (noGrav) o.setGrav(0.0f, 0.0f);
  }
};

using AddFn = Object* (Level::*)(uint32_t, int, int, int, int, Sprite*);

int addObject(lua_State* L, const char* fn, AddFn add) {
  if (!needArgs(L, 6, fn)) return 0;
  Level* lvl = needLvl(L, fn);
  if (!lvl) return 0;
  const uint32_t id = argId(L, 1);
  const int32_t x = argInt(L, 2), y = argInt(L, 3), z = argInt(L, 4), hp = argInt(L, 5);
  const char* spriteName = lua_tostring(L, 6);
  const Creation opts(L, 7);
  Object* obj = nullptr;
  guarded(fn, [&] { obj = (lvl->*add)(id, x, y, z, hp, Sprite::get(spriteName)); });
  if (!obj) {
    Log::fail("LuaFuncs.%s: Nie udalo sie stworzyc obiektu\n", fn);
    return 0;
  }
  opts.apply(*obj);
  return 0;
}

// What addLvlNpc makes, kept by value so that it can wait in a request.
struct NpcSpec {
  std::optional<std::string> name, sprite, script;
  uint32_t id;
  int32_t x, y, z, hp;
  Creation opts;
};

std::optional<std::string> optStr(const char* s) {
  return s ? std::optional<std::string>(s) : std::nullopt;
}

const char* cStr(const std::optional<std::string>& s) { return s ? s->c_str() : nullptr; }

void spawnNpc(Level* lvl, const NpcSpec& s) {
  // The character takes over this reference; only a failed allocation of
  // the character itself would leave it unowned (and the image cached).
  Sprite* sprite = Sprite::get(cStr(s.sprite));
  std::unique_ptr<Npc> npc;
  try {
    npc =
        std::make_unique<Npc>(cStr(s.name), s.id, s.x, s.y, s.z, s.hp, sprite, lvl, cStr(s.script));
  } catch (const std::bad_alloc&) {
    Log::fail("LuaFuncs.%s: Nie udalo sie stworzyc npc\n", "lAddLvlNpc");
    return;
  }
  s.opts.apply(*npc);
  lvl->addNpc(std::move(npc), s.id);
}

}  // namespace

int lSetSkybox(lua_State* L) {
  if (!needArgs(L, 1, "lSetSkybox")) return 0;
  Level* lvl = regLvl(L);
  if (!lvl) return 0;
  const char* name = lua_tostring(L, 1);
  const bool forced = lua_gettop(L) >= 2 && argTruth(L, 2);
  guarded("lSetSkybox", [lvl, name, forced] {
    // The level takes a reference of its own when it shows the image.
    Sprite* sprite = Sprite::get(name);
    lvl->setSkybox(sprite, forced);
    Sprite::release(sprite);
  });
  return 0;
}

int lSetSkyboxForce(lua_State* L) {
  if (Level* lvl = regLvl(L)) lvl->skyboxForced = true;
  return 0;
}

int lSetSkyboxUnforce(lua_State* L) {
  if (Level* lvl = regLvl(L)) lvl->skyboxForced = false;
  return 0;
}

int lAddLvlObj(lua_State* L) { return addObject(L, "lAddLvlObj", &Level::addObj); }
int lAddLvlFrameObj(lua_State* L) { return addObject(L, "lAddLvlFrameObj", &Level::addFrameObj); }

// A free slot is filled at once, so the script can address the character
// right away. Replacing a character destroys it, and that one may be the
// caller or have a script further up the stack: then the whole creation
// waits until every script has returned.
int lAddLvlNpc(lua_State* L) {
  static const char* const kFn = "lAddLvlNpc";
  if (!needArgs(L, 7, kFn)) return 0;
  Level* lvl = needLvl(L, kFn);
  if (!lvl) return 0;
  const char* name = lua_tostring(L, 1);
  const uint32_t id = argId(L, 2);
  const int32_t x = argInt(L, 3), y = argInt(L, 4), z = argInt(L, 5), hp = argInt(L, 6);
  const char* sprite = lua_tostring(L, 7);
  const char* script = lua_gettop(L) >= 8 ? lua_tostring(L, 8) : nullptr;
  const Creation opts(L, 9);
  guarded(kFn, [&] {
    const NpcSpec spec{optStr(name), optStr(sprite), optStr(script), id, x, y, z, hp, opts};
    // A taken slot may hold the calling character; a character's script
    // still running its main chunk would nest one construction in another.
    if (lvl->npcAt(id) || Npc::building())
      ScriptRequests::instance().post(lvl, [lvl, spec] { spawnNpc(lvl, spec); });
    else
      spawnNpc(lvl, spec);
  });
  return 0;
}

// By id when the request runs: the id may name a character, the caller
// included.
int lDelLvlObj(lua_State* L) {
  static const char* const kFn = "lDelLvlObj";
  if (!needArgs(L, 1, kFn)) return 0;
  Level* lvl = needLvl(L, kFn);
  if (!lvl) return 0;
  const uint32_t id = argId(L, 1);
  guarded(kFn, [lvl, id] { lvl->requestDelObj(id); });
  return 0;
}

int lDelLvlFrameObj(lua_State* L) {
  static const char* const kFn = "lDelLvlFrameObj";
  if (!needArgs(L, 2, kFn)) return 0;
  Level* lvl = needLvl(L, kFn);
  if (!lvl) return 0;
  if (Object* obj = lvl->getFrameObj(argId(L, 1), argId(L, 2))) lvl->delFrameObj(obj);
  return 0;
}

int lDelLvlNpc(lua_State* L) {
  static const char* const kFn = "lDelLvlNpc";
  if (!needArgs(L, 1, kFn)) return 0;
  Level* lvl = needLvl(L, kFn);
  if (!lvl) return 0;
  const uint32_t slot = argId(L, 1);
  guarded(kFn, [lvl, slot] { lvl->requestDelNpc(slot); });
  return 0;
}

}  // namespace LuaFuncs
