// The object functions of the script API are one set of members (setPos,
// setSprite, getSpd, ...) applied to different targets: the calling
// character ("self"), a character by slot, a level object by id, a frame
// object by frame and id. A family supplies its name part, its leading
// arguments and how it finds its target; the members and the common
// contract (argument count, target lookup, failures) are shared here, and
// every (family, member) pair becomes its own lua_CFunction.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "api/lua_funcs.h"
#include "world/object.h"

namespace LuaFuncs {
namespace objapi {

enum class Kind {
  Other,
  Id,    // prints nothing when the target is missing
  Name,  // characters only
  Grav,  // the level-object family may reset it to the level-wide value
};

struct Member {
  const char* name;  // "Pos", "SpdX", ...
  bool setter;
  int values;  // arguments after the leading ones
  Kind kind;
  // Applies the setter or pushes the results; `base` is the stack index of
  // the first value argument. Returns the number of results.
  int (*run)(lua_State* L, Object& o, int base);
};

// Registration order within a family.
constexpr size_t kMemberCount = 26;
extern const Member kMembers[kMemberCount];

struct Family {
  const char* part;  // between "set"/"get" and the member: "", "Npc", "Obj", "FrameObj"
  int lead;          // leading arguments (slot, id, frame id + id)
  bool hasName;      // registers getName
  bool gravReset;    // setGrav with fewer values points back at globalGrav
  // The target, or null after printing the family's failure (nothing is
  // printed for a missing target when `quiet`).
  Object* (*find)(lua_State* L, const char* fn, bool quiet);
};

// The common contract, then the member.
int invoke(lua_State* L, const Family& fam, const Member& m, const char* fn);

// Script and engine names of a family's members, in member order.
std::vector<std::string> scriptNames(const Family& fam);

template <class Fam>
const std::vector<std::string>& scriptNamesOf() {
  static const std::vector<std::string> names = scriptNames(Fam::family);
  return names;
}

template <class Fam>
const std::vector<std::string>& engineNamesOf() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> out;
    for (const std::string& s : scriptNamesOf<Fam>()) out.push_back(engineName(s.c_str()));
    return out;
  }();
  return names;
}

template <class Fam, size_t M>
int entry(lua_State* L) {
  return invoke(L, Fam::family, kMembers[M], engineNamesOf<Fam>()[M].c_str());
}

template <class Fam, size_t... I>
std::vector<Func> makeFuncs(std::index_sequence<I...>) {
  const std::vector<Func> all = {Func{scriptNamesOf<Fam>()[I].c_str(), &entry<Fam, I>}...};
  std::vector<Func> out;
  for (size_t i = 0; i < all.size(); ++i)
    if (kMembers[i].kind != Kind::Name || Fam::family.hasName) out.push_back(all[i]);
  return out;
}

// The registration rows of a family, in member order.
template <class Fam>
const std::vector<Func>& funcsOf() {
  static const std::vector<Func> funcs = makeFuncs<Fam>(std::make_index_sequence<kMemberCount>());
  return funcs;
}

}  // namespace objapi
}  // namespace LuaFuncs
