// The level's characters: the table indexed by id beside the object list,
// and the changes scripts ask for, carried out once no script runs.
#include <cstring>
#include <new>

#include "base/log.h"
#include "script/script_requests.h"
#include "world/level.h"
#include "world/npc.h"

namespace {

// A script can name any slot; the table never grows past this, so a wild
// id cannot make the engine allocate gigabytes of empty slots.
constexpr uint64_t kMaxNpcSlots = 65536;

}  // namespace

Npc* Level::addNpc(std::unique_ptr<Npc> npc, uint32_t pos) {
  if (!npc) {
    Log::fail("Level.addObj: NULL npc");
    return nullptr;
  }
  if (!npc->lvl) npc->lvl = this;
  if (npc->id != pos && !npc->isPlayer)
    Log::info("Level.addNpc: Pozycja npc w liscie rozna od jego ID (pos: %u; ID: %u)\n", pos,
              npc->id);
  if (pos >= npcCap) {
    const uint64_t slots = uint64_t(pos) + 5;
    try {
      if (slots > kMaxNpcSlots) throw std::bad_alloc();
      npcs.resize(static_cast<size_t>(slots), nullptr);
    } catch (const std::bad_alloc&) {
      Log::fail("Level.addObj: Nie udalo sie powiekszyc tablicy obiektow");
      return nullptr;
    }
    npcCap = static_cast<uint32_t>(slots);
  }
  if (Npc* old = npcs[pos]) {
    if (old->isPlayer) {
      Log::fail("Level.addObj: Proba nadpisania gracza (%u)\n", pos);
      return nullptr;
    }
    Log::fail("Level.addObj: Zastepowanie npc (%u)\n", pos);
    npcs[pos] = nullptr;
    delObj(old);
  }
  Npc* raw = npc.get();
  if (!objs.add(std::move(npc))) return nullptr;
  npcs[pos] = raw;
  return raw;
}

std::unique_ptr<Npc> Level::takeNpc(Npc* npc) {
  if (!npc || !objs.contains(npc)) return nullptr;
  for (Npc*& slot : npcs)
    if (slot == npc) slot = nullptr;
  std::unique_ptr<Object> obj = objs.take(npc);
  return std::unique_ptr<Npc>(static_cast<Npc*>(obj.release()));
}

void Level::delNpc(Npc* npc) {
  if (!npc) return;
  if (npc->id < npcs.size() && npcs[npc->id] == npc) {
    npcs[npc->id] = nullptr;
  } else {
    for (Npc*& slot : npcs)
      if (slot == npc) {
        slot = nullptr;
        break;
      }
  }
  delObj(npc);
}

Npc* Level::npcAt(uint32_t slot) const { return slot < npcs.size() ? npcs[slot] : nullptr; }

Npc* Level::getNpcByName(const char* npcName) const {
  if (!npcName) return nullptr;
  for (Npc* npc : npcs)
    if (npc && npc->hasName && npc->name == npcName) return npc;
  return nullptr;
}

uint32_t Level::countNpcs() const {
  uint32_t n = 0;
  for (Npc* npc : npcs)
    if (npc) ++n;
  return n;
}

// --- changes asked for by running scripts -----------------------------------

void Level::requestChange(const std::string& key, std::function<void()> change) {
  if (changesQueued_ > 0 && lastChange_ == key) return;
  const bool posted = ScriptRequests::instance().post(this, [this, change] {
    // Cleared first: the new level's own scripts may ask for a change again.
    if (--changesQueued_ == 0) leaving_ = false;
    change();
  });
  if (!posted) return;
  ++changesQueued_;
  lastChange_ = key;
  leaving_ = true;
}

void Level::requestLoad(const std::string& levelName) {
  requestChange("L" + levelName, [this, levelName] { load(levelName); });
}

void Level::requestUnload() {
  requestChange("U", [this] { unload(); });
}

void Level::requestDelNpc(uint32_t slot) {
  // The slot is looked up when the request runs: an earlier request may
  // have changed the table meanwhile.
  ScriptRequests::instance().post(this, [this, slot] {
    if (Npc* npc = npcAt(slot)) delNpc(npc);
  });
}

void Level::requestDelObj(uint32_t id) {
  // By id, looked up when the request runs, like the slot above.
  ScriptRequests::instance().post(this, [this, id] {
    if (Object* o = getObj(id)) delObj(o);
  });
}
