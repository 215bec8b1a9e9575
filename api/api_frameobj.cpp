// The frame-object family: an object of the first frame with the given
// frame id ("setFrameObjPos", "getFrameObjHp", ...).
#include "api/api_object_family.h"
#include "world/level.h"

namespace LuaFuncs {

namespace {

Object* findFrameObj(lua_State* L, const char* fn, bool quiet) {
  Level* lvl = needLvl(L, fn);
  if (!lvl) return nullptr;
  Object* o = lvl->getFrameObj(argId(L, 1), argId(L, 2));
  if (!o && !quiet) failNullObj(fn);
  return o;
}

struct FrameObjFamily {
  static const objapi::Family family;
};
const objapi::Family FrameObjFamily::family{"FrameObj", 2, false, false, findFrameObj};

}  // namespace

const std::vector<Func>& frameObjFuncs() { return objapi::funcsOf<FrameObjFamily>(); }

}  // namespace LuaFuncs
