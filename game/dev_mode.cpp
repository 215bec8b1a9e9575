#include "game/dev_mode.h"

#include <SDL/SDL.h>
#include <sys/stat.h>

#include <chrono>
#include <vector>

#include "base/globals.h"
#include "base/log.h"
#include "dialog/dialog.h"
#include "render/camera.h"
#include "render/sprite.h"
#include "resources/database.h"
#include "resources/ini_file.h"
#include "resources/resfile.h"
#include "script/script_requests.h"
#include "world/level.h"
#include "world/npc.h"
#include "world/player.h"

namespace {

constexpr const char* kNpcList = "npc/list.ini";
constexpr int kListedNpcs = 99;

// What a reload must give back when it fails, or keep when it succeeds.
struct Kept {
  std::map<std::string, int32_t> vals;
  std::map<std::string, std::string> strs;
  float camX, camY, camTx, camTy, camSpd;
  bool camShade;
  Vec2f grav, airRes, gndRes;

  Kept() {
    const Database& db = Database::instance();
    vals = db.vals();
    strs = db.strs();
    const Camera& cam = Camera::instance();
    camX = cam.x, camY = cam.y, camTx = cam.tx, camTy = cam.ty, camSpd = cam.spd;
    camShade = cam.shade;
    grav = Object::globalGrav, airRes = Object::globalAirRes, gndRes = Object::globalGndRes;
  }
  void restoreCamera() const {
    Camera& cam = Camera::instance();
    cam.x = camX, cam.y = camY, cam.tx = camTx, cam.ty = camTy, cam.spd = camSpd;
    cam.shade = camShade;
  }
  void restoreAll() const {
    Database& db = Database::instance();
    db.clear();
    for (const auto& v : vals) db.setVal(v.first, v.second);
    for (const auto& s : strs) db.setStr(s.first, s.second);
    Object::globalGrav = grav, Object::globalAirRes = airRes, Object::globalGndRes = gndRes;
    restoreCamera();
  }
};

// Reports a load-time error still pending in `lua`; true when the host
// reported any error since it was made.
bool scriptFailed(Lua& lua) {
  lua.update();
  return lua.errorsReported() > 0;
}

// Whether the freshly loaded level and its characters ran their scripts
// without an error.
bool scriptsClean(Level& lvl) {
  bool clean = !scriptFailed(lvl.lua);
  for (Npc* npc : lvl.npcs)
    if (npc && !npc->isPlayer && scriptFailed(npc->lua)) clean = false;
  return clean;
}

uint32_t msSince(std::chrono::steady_clock::time_point t) {
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t)
          .count());
}

}  // namespace

DevMode::DevMode() = default;
DevMode::~DevMode() { Sprite::release(font_); }

void DevMode::start(const std::string& root) {
  // The game writes its save and screenshots itself: no reload for those.
  if (!watch_.start(root, {"save", "screenshots"}))
    Log::info("Dev.start: Brak obserwacji plikow, przeladowanie tylko klawiszem (Ctrl+R)");
  noteNewImages();
  infoLevel_ = Level::instance().name;
  infoLines_ = fileInfoLines(infoLevel_);
  Log::info("Dev.start: Tryb deweloperski: Ctrl+R przeladowanie, Ctrl+D nakladka, Ctrl+N klatka");
}

DevMode::Stamp DevMode::stampOf(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return {0, 0};
  return {int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, int64_t(st.st_size)};
}

std::string DevMode::sourceOf(const std::string& spriteName) {
  const size_t colon = spriteName.find(':');
  return colon == std::string::npos ? spriteName : spriteName.substr(0, colon);
}

void DevMode::noteNewImages() {
  if (Sprite::cacheSize() == seenImages_) return;
  for (const std::string& name : Sprite::cachedNames()) {
    const std::string src = sourceOf(name);
    if (!stamps_.count(src)) stamps_[src] = stampOf(src);
  }
  seenImages_ = Sprite::cacheSize();
}

bool DevMode::beforeFrame(uint32_t nowMs) {
  for (const std::string& file : watch_.poll()) {
    changedFiles_.insert(file);
    changedAt_ = nowMs ? nowMs : 1;
  }
  noteNewImages();
  // Another level was entered (a dialog's goto, a script): note its lines.
  if (Level::instance().name != infoLevel_) {
    infoLevel_ = Level::instance().name;
    infoLines_ = fileInfoLines(infoLevel_);
  }
  const bool settled = changedAt_ != 0 && nowMs - changedAt_ >= kSettleMs;
  if (!keyReload_ && !settled) return false;
  reload();
  return true;
}

int DevMode::refreshImages() {
  int refreshed = 0;
  std::set<std::string> sources;
  for (const std::string& name : Sprite::cachedNames()) {
    const std::string src = sourceOf(name);
    sources.insert(src);
    auto known = stamps_.find(src);
    const bool changed =
        changedFiles_.count(src) || (known != stamps_.end() && known->second != stampOf(src));
    if (changed && Sprite::refresh(name)) ++refreshed;
  }
  for (const std::string& src : sources) stamps_[src] = stampOf(src);
  seenImages_ = Sprite::cacheSize();
  if (refreshed) rebindAnimations();
  return refreshed;
}

void DevMode::rebindAnimations() {
  Level& lvl = Level::instance();
  auto rebind = [](Object& o) { o.rebindAnim(); };
  lvl.objs.each(rebind);
  lvl.parts.each(rebind);
  lvl.bullets.each(rebind);
  lvl.frames.each([&](Frame& f) {
    f.dirty = true;  // block quads carry the old image's coordinates
    f.objs.each(rebind);
    for (Object* p : f.parts)
      if (p) p->rebindAnim();
  });
  Dialog& d = Dialog::instance();
  for (auto& e : d.emots) e.rebindAnim();
  for (auto& p : d.pics) p.rebindAnim();
}

std::map<std::string, std::string> DevMode::fileInfoLines(const std::string& levelName) {
  std::map<std::string, std::string> lines;
  if (levelName.empty()) return lines;
  IniFile list;
  if (!list.open(kNpcList)) return lines;
  for (int i = 1; i <= kListedNpcs; ++i) {
    const std::string npcName = list.get(levelName, std::to_string(i));
    if (npcName.size() < 2) continue;
    IniFile file;
    if (file.open("npc/" + npcName)) lines[levelName + "_" + npcName] = file.get("npc", levelName);
  }
  return lines;
}

bool DevMode::reload() {
  keyReload_ = false;
  changedAt_ = 0;
  const auto started = std::chrono::steady_clock::now();
  Level& lvl = Level::instance();
  // Whatever scripts asked for before now happens first, as it would have.
  ScriptRequests::instance().drain();
  const std::string name = lvl.name;
  Log::info("Dev.reload: Przeladowanie poziomu \"%s\"", name.c_str());

  // Everything is read from the files again.
  Resfile::instance().close();
  IniFile::instance().close();
  const int images = refreshImages();
  if (name.empty()) {
    ++failedReloads_;
    Log::fail("Dev.reload: Brak wczytanego poziomu");
    return false;
  }

  const Kept kept;
  Player& player = Player::instance();
  Npc* playerNpc = player.npc.get();
  const uint32_t playerSlot = player.npc.slot();

  // The characters come back as they are now, except those whose line in
  // their own file was edited: the edited line wins.
  for (Npc* npc : lvl.npcs)
    if (npc && !npc->isPlayer) npc->saveState();
  std::map<std::string, std::string> lines = fileInfoLines(name);
  for (const auto& line : lines) {
    auto before = infoLines_.find(line.first);
    if (before != infoLines_.end() && before->second != line.second)
      Database::instance().setStr(line.first, line.second);
  }

  // The running world waits aside while the new one is built in its place
  // (so the new scripts see the one level they will live in).
  Level parked;
  parked.swapContents(lvl);
  const bool loaded = lvl.load(name);
  const bool clean = scriptsClean(lvl);
  if (!loaded || !clean) {
    ScriptRequests::instance().cancel(&lvl);
    lvl.swapContents(parked);  // `parked` now holds the broken build
    if (playerNpc) player.npc.set(&lvl, playerSlot, playerNpc);
    kept.restoreAll();
    ++failedReloads_;
    Log::fail("Dev.reload: Poziom \"%s\" nie przeladowany (%s); gra toczy sie dalej na poprzednim\n",
              name.c_str(), loaded ? "blad skryptu" : "blad wczytywania");
    game::frameStart = SDL_GetTicks();
    return false;
  }

  // The player's own character moves over with everything it had.
  if (playerNpc)
    player.adoptCharacter(parked.takeNpc(playerNpc));
  else if (player.dialogHooks.reset)
    player.dialogHooks.reset(player, &lvl);
  // A conversation in progress ends: its lines may have changed under it.
  Dialog& dialog = Dialog::instance();
  dialog.mode = 0;
  dialog.resume = false;
  dialog.textVisible = false;
  dialog.text.setStr("");
  infoLines_ = std::move(lines);
  infoLevel_ = name;
  kept.restoreCamera();
  ++reloads_;
  Log::ok("Dev.reload: Poziom \"%s\" przeladowany w %ums (grafiki: %d)\n", name.c_str(),
          msSince(started), images);
  // The time spent loading does not enter the next frame's time.
  game::frameStart = SDL_GetTicks();
  return true;
}

void DevMode::recordFrame(const FrameTime& t) {
  history_[next_] = t;
  next_ = (next_ + 1) % kHistory;
}
