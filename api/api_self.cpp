// The self family: the character whose script is calling ("setPos",
// "getHp", ...). The level's own state has no character.
#include "api/api_object_family.h"
#include "world/npc.h"

namespace LuaFuncs {

namespace {

Object* findSelf(lua_State* L, const char* fn, bool quiet) {
  Npc* npc = regNpc(L);
  if (!npc && !quiet) failNullNpc(fn);
  return npc;
}

struct Self {
  static const objapi::Family family;
};
const objapi::Family Self::family{"", 0, false, false, findSelf};

}  // namespace

const std::vector<Func>& selfFuncs() { return objapi::funcsOf<Self>(); }

}  // namespace LuaFuncs
