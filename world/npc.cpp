#include "world/npc.h"

#include <cstdio>
#include <string>

#include "base/globals.h"
#include "resources/database.h"
#include "resources/parser.h"
#include "resources/resfile.h"
#include "world/level.h"
#include "world/weapon.h"

namespace {

constexpr const char* kScriptDir = "lua/";

}  // namespace

Npc::Npc(const char* npcName, uint32_t id_, int x_, int y_, int z_, int hp_, Sprite* sprite_,
         Level* lvl_, const char* scriptName)
    : Object(id_, x_, y_, z_, hp_, sprite_, lvl_, nullptr) {
  if (npcName) {
    name = npcName;
    hasName = true;
  }
  if (scriptName) script = std::string(kScriptDir) + scriptName;
  lua.setName(script);
  // The keys go in before the API and the script: the script's main chunk
  // may already call functions that read them.
  lua.setReg(Lua::kRegNpc, static_cast<void*>(this));
  lua.setReg(Lua::kRegLvl, static_cast<void*>(lvl));
  lua.installApi();
  if (!script.empty()) loadScript();
}

Npc::~Npc() {
  // However the character was removed (by slot, as an object by id, with
  // its whole list), its level's table must not keep pointing at it.
  if (lvl)
    for (Npc*& slot : lvl->npcs)
      if (slot == this) slot = nullptr;
}

int Npc::building_ = 0;

void Npc::loadScript() {
  struct Building {
    Building() { ++building_; }
    ~Building() { --building_; }
  } guard;
  Parser parts(script, ":");
  if (parts.count() >= 2) {
    // An archive entry; a missing one runs nothing (the reader says why).
    ResBuffer text = Resfile::instance().load(script);
    if (text) lua.runString(text.c_str(), script.c_str());
    return;
  }
  lua.openFile(script);
}

void Npc::step() {
  // The state (and this character with it) can only be gone when something
  // destroyed it from inside the call instead of posting the change.
  const bool* stop = lvl ? lvl->leaving() : nullptr;
  if (lua.callPeriodic(updateTime, game::dt, "update", stop) == Lua::kHostGone) return;
  // An update stopped for good leaves the character standing where it is.
  if (lua.stopped("update")) spdX = 0.0f;
  update();
  animate();
  if (!autoAnimOff) chooseAnim();
}

void Npc::chooseAnim() {
  const int sx = toPixel(spdX);
  const int sy = toPixel(spdY);
  if (sx < 0) dir = 0;
  if (sx > 0) dir = 1;
  const bool right = dir != 0;
  const char* animName;
  if (sy < 0)
    animName = right ? "jump_right" : "jump_left";
  else if (sy > 0)
    animName = right ? "fall_right" : "fall_left";
  else if (sx != 0)
    animName = right ? "move_right" : "move_left";
  else
    animName = right ? "stop_right" : "stop_left";
  setAnim(animName);
}

bool Npc::weaponPoint(int& wx, int& wy) const {
  if (!frame) return false;
  wx = toPixel(x - static_cast<float>(frame->offsetX) + static_cast<float>(frame->offsetX2));
  wy = toPixel(y - static_cast<float>(frame->offsetY) + static_cast<float>(frame->offsetY2));
  return true;
}

void Npc::render() {
  draw();
  int wx, wy;
  if (wep && weaponPoint(wx, wy)) wep->draw(wx, wy);
}

std::string Npc::infoLine() const {
  const bool hasGrav = grav && (grav->x != 0.0f || grav->y != 0.0f);
  // Without an image the word still has to be there, or every word behind
  // it would shift when the line is read back.
  std::string spriteName = Sprite::nameOf(sprite);
  if (spriteName.empty()) spriteName = kNoSprite;
  const std::string scriptName = script.compare(0, 4, kScriptDir) == 0 ? script.substr(4) : script;
  char buf[64];
  const int n =
      std::snprintf(buf, sizeof buf, "1 %d %d %d %d %d %d %d ", talkable ? 1 : 0, colsOn ? 1 : 0,
                    hasGrav ? 1 : 0, toPixel(x), toPixel(y), toPixel(z), static_cast<int>(hp));
  std::string line(buf, n > 0 ? static_cast<size_t>(n) : 0);
  line += spriteName;
  std::snprintf(buf, sizeof buf, " %d %d ", static_cast<int>(animIdx), static_cast<int>(alpha));
  line += buf;
  line += scriptName;
  return line;
}

void Npc::saveState() const {
  if (!lvl) return;
  const std::string key = lvl->name + "_" + (hasName ? name : std::string("noname"));
  Database::instance().setStr(key, infoLine());
}
