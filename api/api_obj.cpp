// The level-object family: the first object of the level's list with the
// given id ("setObjPos", "getObjHp", ...). "setObjGrav" with the id alone
// hands the object back to the level-wide gravity.
#include "api/api_object_family.h"
#include "world/level.h"

namespace LuaFuncs {

namespace {

Object* findObj(lua_State* L, const char* fn, bool quiet) {
  Level* lvl = needLvl(L, fn);
  if (!lvl) return nullptr;
  Object* o = lvl->getObj(argId(L, 1));
  if (!o && !quiet) failNullObj(fn);
  return o;
}

struct ObjFamily {
  static const objapi::Family family;
};
const objapi::Family ObjFamily::family{"Obj", 1, false, true, findObj};

}  // namespace

const std::vector<Func>& objFuncs() { return objapi::funcsOf<ObjFamily>(); }

}  // namespace LuaFuncs
