// Loading and unloading levels, their characters and their frames from
// scripts. Whatever would destroy a running script state or character (a
// level load, an unload, reloading the characters) is posted to run after
// the level's update; frames hold no scripts and change at once.
#include <cstdint>
#include <string>

#include "api/lua_funcs.h"
#include "base/log.h"
#include "render/sprite.h"
#include "script/script_requests.h"
#include "world/frame.h"
#include "world/level.h"

namespace LuaFuncs {

namespace {

// Grid positions whose pixel edges, (f + 1) * size included, fit in an int.
bool gridFits(int32_t f, int size) {
  const int64_t limit = INT32_MAX / size - 1;
  return f >= -limit && f <= limit;
}

}  // namespace

int lLoadLvl(lua_State* L) {
  static const char* const kFn = "lLoadLvl";
  if (!needArgs(L, 1, kFn)) return 0;
  Level* lvl = needLvl(L, kFn);
  if (!lvl) return 0;
  const char* name = argStr(L, 1, kFn);
  if (!name) return 0;
  guarded(kFn, [lvl, name] { lvl->requestLoad(name); });
  return 0;
}

int lUnloadLvl(lua_State* L) {
  static const char* const kFn = "lUnloadLvl";
  Level* lvl = needLvl(L, kFn);
  if (lvl) guarded(kFn, [lvl] { lvl->requestUnload(); });
  return 0;
}

int lLoadNpcs(lua_State* L) {
  static const char* const kFn = "lLoadNpcs";
  if (!needArgs(L, 1, kFn)) return 0;
  Level* lvl = needLvl(L, kFn);
  if (!lvl) return 0;
  const char* name = argStr(L, 1, kFn);
  if (!name) return 0;
  // Every character goes first, the caller included.
  guarded(kFn, [lvl, name] {
    ScriptRequests::instance().post(lvl, [lvl, list = std::string(name)] {
      if (!lvl->loadNpcs(list.c_str()))
        Log::fail("LuaFuncs.%s: Nie udalo sie wczytac npc'ow\n", kFn);
    });
  });
  return 0;
}

int lLoadFrame(lua_State* L) {
  static const char* const kFn = "lLoadFrame";
  if (!needArgs(L, 6, kFn)) return 0;
  Level* lvl = needLvl(L, kFn);
  if (!lvl) return 0;
  const uint32_t id = argId(L, 1);
  const char* name = lua_tostring(L, 2);
  const char* blockName = lua_tostring(L, 3);
  const char* skyName = lua_tostring(L, 4);
  const int32_t fx = argInt(L, 5);
  const int32_t fy = argInt(L, 6);
  const int32_t layer = lua_gettop(L) >= 7 ? argInt(L, 7) : 0;
  const float px = lua_gettop(L) >= 8 ? argFloat(L, 8) : 1.0f;
  const float py = lua_gettop(L) >= 9 ? argFloat(L, 9) : 1.0f;
  bool loaded = false;
  // A frame whose pixels lie beyond what the level's coordinates can
  // address is refused like one whose blocks cannot be read.
  if (gridFits(fx, Frame::kWidth) && gridFits(fy, Frame::kHeight)) {
    guarded(kFn, [&] {
      Frame* frame = lvl->addFrame(id, name, Sprite::get(blockName), Sprite::get(skyName), fx, fy,
                                   layer, px, py);
      loaded = lvl->loadFrame(frame, name);
    });
  }
  if (!loaded) Log::fail("LuaFuncs.lLoadFrame: Nie udalo sie wczytac ramki");
  return 0;
}

// The first frame with the id in map order; frame objects run no scripts,
// so the frame can go at once.
int lUnloadFrame(lua_State* L) {
  static const char* const kFn = "lUnloadFrame";
  if (!needArgs(L, 1, kFn)) return 0;
  Level* lvl = needLvl(L, kFn);
  if (!lvl) return 0;
  const uint32_t id = argId(L, 1);
  Frame* found = nullptr;
  for (const auto& entry : lvl->frameMap)
    if (entry.second && entry.second->id == id) {
      found = entry.second;
      break;
    }
  if (found) lvl->delFrame(found);
  return 0;
}

}  // namespace LuaFuncs
