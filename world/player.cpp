#include "world/player.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>

#include "base/log.h"
#include "render/sprite.h"
#include "world/level.h"
#include "world/npc.h"
#include "world/weapon.h"

namespace {

// The bindings file: a count, then one pair (first, second binding) per
// action, all little-endian u32.
constexpr size_t kCountBytes = 4;
constexpr size_t kPairBytes = 8;
constexpr size_t kFileBytes = kCountBytes + kPairBytes * Player::kActionCount;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

uint32_t readU32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void writeU32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// Slot 0 when it is free (or the table has none), else the first free one,
// else one past the end, which grows the table.
uint32_t playerSlot(const Level& lvl) {
  if (lvl.npcCap == 0 || !lvl.npcAt(0)) return 0;
  for (uint32_t i = 1; i < lvl.npcCap; ++i)
    if (!lvl.npcAt(i)) return i;
  return lvl.npcCap;
}

}  // namespace

// --- the character ---------------------------------------------------------

void PlayerCharacter::set(Level* lvl, uint32_t slot, Npc* npc) {
  lvl_ = lvl;
  slot_ = slot;
  npc_ = npc;
}

Npc* PlayerCharacter::get() const {
  if (!npc_) return nullptr;
  // A destroyed character has left its slot (its destructor clears it, an
  // unload empties the table); only a live entry is safe to look at.
  if (!lvl_ || lvl_->npcAt(slot_) != npc_ || !npc_->isPlayer) npc_ = nullptr;
  return npc_;
}

// --- set-up ----------------------------------------------------------------

Player& Player::instance() {
  static Player player;
  return player;
}

void Player::addPlayer(Level* level, int px, int py, int pz, int php, const char* sprite) {
  if (!level) {
    Log::fail("Player.addPlayer: NULL lvl");
    return;
  }
  if (!sprite) {
    Log::fail("Player.addPlayer: NULL sprite");
    return;
  }
  try {
    spriteName = sprite;
  } catch (const std::bad_alloc&) {
    Log::fail("Player.addPlayer: Nie udalo sie zajac pamieci na nazwe sprite");
    return;
  }
  hasSpriteName = true;
  lvl = level;
  x = px;
  y = py;
  z = pz;
  hp = php;
  setPlayer();
}

void Player::setPlayer() {
  if (!lvl || !hasSpriteName) return;
  // A character made earlier and still in the world would otherwise stay
  // behind as a second player's character that nobody controls.
  if (Npc* old = npc.get())
    if (old->lvl) old->lvl->delNpc(old);
  npc.clear();

  std::unique_ptr<Npc> made;
  try {
    made = std::make_unique<Npc>(nullptr, 0, x, y, z, hp, Sprite::get(spriteName), lvl, nullptr);
  } catch (const std::bad_alloc&) {
    Log::fail("Player.setPlayer: Nie udalo sie stworzyc postaci gracza");
    return;
  }
  made->isPlayer = true;
  const uint32_t slot = playerSlot(*lvl);
  if (Npc* stored = lvl->addNpc(std::move(made), slot)) {
    npc.set(lvl, slot, stored);
    // A new character (another level) keeps the weapon in hand.
    if (wepIdx < weps.size()) stored->wep = weps[wepIdx];
  }
  if (dialogHooks.reset) dialogHooks.reset(*this, lvl);
}

bool Player::adoptCharacter(std::unique_ptr<Npc> character) {
  if (!lvl || !character) return false;
  npc.clear();
  character->isPlayer = true;
  character->lvl = lvl;
  const uint32_t slot = playerSlot(*lvl);
  Npc* stored = lvl->addNpc(std::move(character), slot);
  if (stored) npc.set(lvl, slot, stored);
  if (dialogHooks.reset) dialogHooks.reset(*this, lvl);
  return stored != nullptr;
}

// --- key bindings ------------------------------------------------------------

bool Player::loadCtrls(const char* name) {
  if (!name) {
    Log::fail("Player.loadCtrls: NULL name");
    return false;
  }
  FilePtr f(std::fopen(name, "rb"));
  if (!f) {
    Log::fail("Player.loadCtrls: Nie udalo sie otworzyc pliku");
    return false;
  }
  // Everything that can matter fits in kFileBytes; a longer file (a count
  // above 11 with its extra pairs) has nothing more for us.
  unsigned char buf[kFileBytes];
  const size_t got = std::fread(buf, 1, sizeof buf, f.get());
  if (got < kCountBytes) {
    Log::fail("Player.loadCtrls: Nie udalo sie wczytac liczby akcji");
    return false;
  }
  const uint32_t n = std::min<uint32_t>(readU32(buf), kActionCount);
  // Only whole pairs: an action never gets half of its bindings.
  const uint32_t pairs =
      std::min<uint32_t>(n, static_cast<uint32_t>((got - kCountBytes) / kPairBytes));
  for (uint32_t i = 0; i < pairs; ++i) {
    keysA[i] = readU32(buf + kCountBytes + kPairBytes * i);
    keysB[i] = readU32(buf + kCountBytes + kPairBytes * i + 4);
  }
  if (pairs < n) {
    Log::fail("Player.loadCtrls: Plik niepelny (wczytano %u z %u akcji)\n", pairs, n);
    return false;
  }
  return true;
}

bool Player::saveCtrls(const char* name) const {
  if (!name) {
    Log::fail("Player.saveCtrls: NULL name");
    return false;
  }
  unsigned char buf[kFileBytes];
  writeU32(buf, kActionCount);
  for (size_t i = 0; i < kActionCount; ++i) {
    writeU32(buf + kCountBytes + kPairBytes * i, keysA[i]);
    writeU32(buf + kCountBytes + kPairBytes * i + 4, keysB[i]);
  }
  const std::string tmp = std::string(name) + ".tmp";
  FilePtr f(std::fopen(tmp.c_str(), "wb"));
  if (!f) {
    Log::fail("Player.saveCtrls: Nie udalo sie otworzyc pliku");
    return false;
  }
  bool written = std::fwrite(buf, 1, sizeof buf, f.get()) == sizeof buf;
  written = std::fclose(f.release()) == 0 && written;
  if (!written || std::rename(tmp.c_str(), name) != 0) {
    std::remove(tmp.c_str());
    Log::fail("Player.saveCtrls: Nie udalo sie zapisac pliku");
    return false;
  }
  return true;
}

// --- per frame -----------------------------------------------------------------

void Player::control(const uint8_t* keys, size_t count) {
  Npc* c = npc.get();
  if (!c || !keys || conversation()) return;
  // The bindings come from a file: one past the key-state array is never
  // held rather than read.
  auto held = [&](Action a) {
    for (uint32_t k : {keysA[a], keysB[a]})
      if (k < count && keys[k]) return true;
    return false;
  };
  if (held(kLeft))
    c->spdX = -kWalkSpeed;
  else if (held(kRight))
    c->spdX = kWalkSpeed;
  // onGround is from the last physics step: holding jump jumps again on
  // landing.
  if (held(kJump) && c->onGround) c->spdY = -kJumpSpeed;
}

void Player::onKey(int key) {
  Npc* c = npc.get();
  if (!c) return;
  const uint32_t k = static_cast<uint32_t>(key);
  if (!conversation()) {
    // Hooks, when set, take the uses over (tests watch them there).
    if (c->wep && matches(k, kWeaponUse)) {
      if (weaponHooks.fire1)
        weaponHooks.fire1(*c->wep, toPixel(c->x), toPixel(c->y));
      else
        c->wep->fire1(toPixel(c->x), toPixel(c->y), c);
    } else if (c->wep && matches(k, kWeaponSpecial)) {
      if (weaponHooks.fire2)
        weaponHooks.fire2(*c->wep, toPixel(c->x), toPixel(c->y));
      else
        c->wep->fire2(toPixel(c->x), toPixel(c->y), c);
    } else if (matches(k, kTalk)) {
      if (dialogHooks.start) dialogHooks.start();
    }
    return;
  }
  // The option keys answer to their first binding only.
  if (matches(k, kNext)) {
    if (dialogHooks.advance) dialogHooks.advance();
  } else if (keysA[kOptionDown] == k) {
    select(1);
  } else if (keysA[kOptionPageDown] == k) {
    select(10);
  } else if (keysA[kOptionUp] == k) {
    select(-1);
  } else if (keysA[kOptionPageUp] == k) {
    select(-10);
  }
}

void Player::select(int delta) {
  if (dialogHooks.select) dialogHooks.select((dialogHooks.opt ? dialogHooks.opt() : 0) + delta);
}

void Player::viewPoint(int& px, int& py) const {
  if (const Npc* c = npc.get()) {
    px = toPixel(c->x);
    py = toPixel(c->y);
  } else {
    px = x;
    py = y;
  }
}

std::string Player::contactLine() const {
  const Npc* c = npc.get();
  if (!c) return "--------";
  char buf[16];
  std::snprintf(buf, sizeof buf, "%d%d%d%d\nudlr", c->hitTop ? 1 : 0, c->onGround ? 1 : 0,
                c->hitLeft ? 1 : 0, c->hitRight ? 1 : 0);
  return buf;
}
