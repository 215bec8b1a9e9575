// The members shared by the object families of the script API and the
// contract every one of them follows.
#include "api/api_object_family.h"
#include "world/npc.h"

namespace LuaFuncs {
namespace objapi {

namespace {

float argPos(lua_State* L, int idx) { return static_cast<float>(argInt(L, idx)); }

int setPos(lua_State* L, Object& o, int b) {
  o.x = argPos(L, b);
  o.y = argPos(L, b + 1);
  return 0;
}
int setX(lua_State* L, Object& o, int b) {
  o.x = argPos(L, b);
  return 0;
}
int setY(lua_State* L, Object& o, int b) {
  o.y = argPos(L, b);
  return 0;
}
int setSprite(lua_State* L, Object& o, int b) {
  // A name that gives no sprite leaves the object without one.
  o.setSprite(Sprite::get(lua_tostring(L, b)));
  return 0;
}
int setAnim(lua_State* L, Object& o, int b) {
  if (lua_isnumber(L, b))
    o.setAnim(argId(L, b));
  else
    o.setAnim(lua_tostring(L, b));
  return 0;
}
int setGrav(lua_State* L, Object& o, int b) {
  o.setGrav(argFloat(L, b), argFloat(L, b + 1));
  return 0;
}
int setAirRes(lua_State* L, Object& o, int b) {
  o.setAirRes(argFloat(L, b), argFloat(L, b + 1));
  return 0;
}
int setGndRes(lua_State* L, Object& o, int b) {
  o.setGndRes(argFloat(L, b), argFloat(L, b + 1));
  return 0;
}
int setSpd(lua_State* L, Object& o, int b) {
  o.spdX = argFloat(L, b);
  o.spdY = argFloat(L, b + 1);
  return 0;
}
int setSpdX(lua_State* L, Object& o, int b) {
  o.spdX = argFloat(L, b);
  return 0;
}
int setSpdY(lua_State* L, Object& o, int b) {
  o.spdY = argFloat(L, b);
  return 0;
}
int setColsOn(lua_State*, Object& o, int) {
  o.colsOn = true;
  return 0;
}
int setColsOff(lua_State*, Object& o, int) {
  o.colsOn = false;
  return 0;
}
int setImmobileOn(lua_State*, Object& o, int) {
  o.immobile = true;
  return 0;
}
int setImmobileOff(lua_State*, Object& o, int) {
  o.immobile = false;
  return 0;
}
int setHp(lua_State* L, Object& o, int b) {
  o.hp = argInt(L, b);
  return 0;
}

int getId(lua_State* L, Object& o, int) {
  pushUInt(L, o.id);
  return 1;
}
int getName(lua_State* L, Object& o, int) {
  // Only the character family registers this member.
  const Npc& npc = static_cast<const Npc&>(o);
  if (!npc.hasName) return 0;
  lua_pushlstring(L, npc.name.data(), npc.name.size());
  return 1;
}
int getPos(lua_State* L, Object& o, int) {
  pushInt(L, toPixel(o.x));
  pushInt(L, toPixel(o.y));
  return 2;
}
int getX(lua_State* L, Object& o, int) {
  pushInt(L, toPixel(o.x));
  return 1;
}
int getY(lua_State* L, Object& o, int) {
  pushInt(L, toPixel(o.y));
  return 1;
}
int getAnim(lua_State* L, Object& o, int) {
  pushUInt(L, o.animIdx);
  return 1;
}
int getSpd(lua_State* L, Object& o, int) {
  pushFloat(L, o.spdX);
  pushFloat(L, o.spdY);
  return 2;
}
int getSpdX(lua_State* L, Object& o, int) {
  pushFloat(L, o.spdX);
  return 1;
}
int getSpdY(lua_State* L, Object& o, int) {
  pushFloat(L, o.spdY);
  return 1;
}
int getHp(lua_State* L, Object& o, int) {
  pushInt(L, o.hp);
  return 1;
}

}  // namespace

const Member kMembers[kMemberCount] = {
    {"Pos", true, 2, Kind::Other, setPos},
    {"X", true, 1, Kind::Other, setX},
    {"Y", true, 1, Kind::Other, setY},
    {"Sprite", true, 1, Kind::Other, setSprite},
    {"Anim", true, 1, Kind::Other, setAnim},
    {"Grav", true, 2, Kind::Grav, setGrav},
    {"AirRes", true, 2, Kind::Other, setAirRes},
    {"GndRes", true, 2, Kind::Other, setGndRes},
    {"Spd", true, 2, Kind::Other, setSpd},
    {"SpdX", true, 1, Kind::Other, setSpdX},
    {"SpdY", true, 1, Kind::Other, setSpdY},
    {"ColsOn", true, 0, Kind::Other, setColsOn},
    {"ColsOff", true, 0, Kind::Other, setColsOff},
    {"ImmobileOn", true, 0, Kind::Other, setImmobileOn},
    {"ImmobileOff", true, 0, Kind::Other, setImmobileOff},
    {"Hp", true, 1, Kind::Other, setHp},
    {"Id", false, 0, Kind::Id, getId},
    {"Name", false, 0, Kind::Name, getName},
    {"Pos", false, 0, Kind::Other, getPos},
    {"X", false, 0, Kind::Other, getX},
    {"Y", false, 0, Kind::Other, getY},
    {"Anim", false, 0, Kind::Other, getAnim},
    {"Spd", false, 0, Kind::Other, getSpd},
    {"SpdX", false, 0, Kind::Other, getSpdX},
    {"SpdY", false, 0, Kind::Other, getSpdY},
    {"Hp", false, 0, Kind::Other, getHp},
};

int invoke(lua_State* L, const Family& fam, const Member& m, const char* fn) {
  const bool gravReset = fam.gravReset && m.kind == Kind::Grav;
  if (!needArgs(L, fam.lead + (gravReset ? 0 : m.values), fn)) return 0;
  Object* o = fam.find(L, fn, m.kind == Kind::Id);
  if (!o) return 0;
  if (gravReset && lua_gettop(L) < fam.lead + m.values) {
    o->grav = &Object::globalGrav;
    return 0;
  }
  return m.run(L, *o, fam.lead + 1);
}

std::vector<std::string> scriptNames(const Family& fam) {
  std::vector<std::string> out;
  out.reserve(kMemberCount);
  for (const Member& m : kMembers)
    out.push_back(std::string(m.setter ? "set" : "get") + fam.part + m.name);
  return out;
}

}  // namespace objapi
}  // namespace LuaFuncs
