// One game frame of the level's simulation.
#include <string>

#include "base/globals.h"
#include "script/script_requests.h"
#include "world/bullet.h"
#include "world/level.h"
#include "world/particle.h"

void Level::update() {
  if (!alwaysFn.empty()) {
    // A copy: the name must outlive the calls even if a script manages to
    // replace it meanwhile.
    const std::string fn = alwaysFn;
    lua.callPeriodic(alwaysTime, game::dt, fn.c_str(), leaving());
  }
  // One stretch of the collision index for the objects, the particles and
  // the bullets (the last two only read the objects' boxes).
  objIndex_.open();
  updateWorld();
  // Each is dropped right after the step that ends it (the list defers the
  // destruction until its walk is over).
  parts.each([this](Object& o) {
    o.step();
    const auto* p = dynamic_cast<const Particle*>(&o);
    if (p && p->life <= 0.0f) parts.remove(&o);
  });
  bullets.each([this](Object& o) {
    o.step();
    const auto* b = dynamic_cast<const Bullet*>(&o);
    if (b && b->count < 1) bullets.remove(&o);
  });
  objIndex_.close();
  // Every script has returned: now the level may be reloaded, unloaded or
  // lose the characters whose scripts asked for it.
  ScriptRequests::instance().drain();
}
