// The character family: a character of the level by its slot in the
// character table ("setNpcPos", "getNpcName", ...).
#include "api/api_object_family.h"
#include "world/level.h"
#include "world/npc.h"

namespace LuaFuncs {

namespace {

Object* findNpc(lua_State* L, const char* fn, bool quiet) {
  Level* lvl = needLvl(L, fn);
  if (!lvl) return nullptr;
  Npc* npc = lvl->npcAt(argId(L, 1));
  if (!npc && !quiet) failNullNpc(fn);
  return npc;
}

struct NpcFamily {
  static const objapi::Family family;
};
const objapi::Family NpcFamily::family{"Npc", 1, true, false, findNpc};

}  // namespace

const std::vector<Func>& npcFuncs() { return objapi::funcsOf<NpcFamily>(); }

}  // namespace LuaFuncs
