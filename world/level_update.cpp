// One game frame of the level's simulation.
#include <string>

#include "core/globals.h"
#include "script/script_requests.h"
#include "world/level.h"

void Level::update() {
  if (!alwaysFn.empty()) {
    // A copy: the name must outlive the calls even if a script manages to
    // replace it meanwhile.
    const std::string fn = alwaysFn;
    lua.callPeriodic(alwaysTime, game::dt, fn.c_str());
  }
  updateWorld();
  // Particles and bullets leave their lists by themselves once their kinds
  // keep a lifetime; until then the lists stay empty.
  parts.each([](Object& o) { o.step(); });
  bullets.each([](Object& o) { o.step(); });
  // Every script has returned: now the level may be reloaded, unloaded or
  // lose the characters whose scripts asked for it.
  ScriptRequests::instance().drain();
}
