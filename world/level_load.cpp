// Loading and unloading a level: the level file's commands, the characters
// of the npc list, the level's script files and its periodic function.
#include <chrono>
#include <cstdint>
#include <new>

#include "base/log.h"
#include "render/sprite.h"
#include "resources/database.h"
#include "resources/ini_file.h"
#include "resources/parser.h"
#include "script/script_requests.h"
#include "world/level.h"
#include "world/level_commands.h"
#include "world/npc.h"

namespace {

constexpr const char* kNpcList = "npc/list.ini";
constexpr const char* kLuaList = "lua/list.ini";
constexpr const char* kWordSeps = " \t";
// Ids of the npc list run 1..kListedNpcs.
constexpr int kListedNpcs = 99;

uint32_t elapsedMs(std::chrono::steady_clock::time_point since) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - since);
  return static_cast<uint32_t>(ms.count());
}

}  // namespace

Level& Level::instance() {
  static Level level;
  return level;
}

Level::Teardown::~Teardown() {
  ScriptRequests::instance().cancel(owner);
  owner->releaseSkyboxes();
}

bool Level::runLine(const std::string& line) {
  Parser w(line, kWordSeps);
  const int n = w.count();
  if (n < 1) return true;
  // Unknown commands and lines with too few words are skipped.
  const LevelCommand* c = LevelCommand::find(w.show(0));
  if (!c || n < c->words) return true;
  switch (c->id) {
    case LevelCommand::kComment:
      break;
    case LevelCommand::kSprite:
      Sprite::load(w.show(1));
      break;
    case LevelCommand::kFrame: {
      const int layer = n >= 7 ? w.val(6) : 0;
      // A line of 8 words names only the horizontal factor; the vertical one
      // keeps its default.
      const float px = n >= 8 ? w.valf(7) : 1.0f;
      const float py = n >= 9 ? w.valf(8) : 1.0f;
      Frame* f = addFrame(static_cast<uint32_t>(frameMap.size()), w.show(1).c_str(),
                          Sprite::get(w.show(2)), Sprite::get(w.show(3)), w.val(4), w.val(5),
                          layer, px, py);
      if (!loadFrame(f, nullptr)) {
        Log::fail("Level.load: Nie udalo sie wczytac ramki (load)");
        return false;
      }
      break;
    }
    case LevelCommand::kObj:
      addObj(static_cast<uint32_t>(w.val(1)), w.val(2), w.val(3), w.val(4), w.val(5),
             Sprite::get(w.show(6)));
      break;
    case LevelCommand::kScript: {
      ResBuffer text = levelReader_->load(w.show(1));
      if (!text) {
        Log::fail("Level.load: Nie udalo sie wczytac skryptu");
        return false;
      }
      lua.runString(text.c_str(), w.show(1).c_str());
      break;
    }
    case LevelCommand::kCall:
      lua.call(w.show(1).c_str());
      break;
  }
  return true;
}

bool Level::load(const char* newName) {
  // Copied first: the argument may be this level's own name.
  const std::string wanted = newName ? newName : name;
  ++loads;
  if (!frames.empty()) {
    unload();
    lua.init();
  }
  name = wanted;
  lua.setName(name);
  const auto started = std::chrono::steady_clock::now();

  const std::string archive = archivePath();
  try {
    levelReader_ = std::make_unique<Resfile>();
  } catch (const std::bad_alloc&) {
    Log::fail("Level.load: Nie udalo sie zajac pamieci na czytnik archiwum");
    return false;
  }
  reader = levelReader_.get();
  levelReader_->open(archive);
  lua.installApi();
  lua.setReg(Lua::kRegFilename, archive.c_str());
  lua.setReg(Lua::kRegLvl, static_cast<void*>(this));
  lua.setReg(Lua::kRegNpc, nullptr);

  ResBuffer text = levelReader_->load(name + ".txt");
  if (!text) {
    Log::fail("Level.load: Nie udalo sie wczytac informacji o poziomie");
    return false;
  }
  Parser lines(text.c_str(), "\r\n");
  for (int i = 0; i < lines.count(); ++i)
    if (!runLine(lines.show(i))) return false;

  sortFrames();
  if (frames.empty() || frameMap.empty()) {
    Log::fail("Level.load: Nie udalo sie wczytac ramek (%d, %d)\n", static_cast<int>(frames.size()),
              static_cast<int>(frameMap.size()));
    return false;
  }

  if (!loadNpcs(name.c_str()))
    Log::fail("Level.load: Nie udalo sie wczytac npc'ow (\"%s\")\n", name.c_str());

  IniFile& ini = IniFile::instance();
  if (ini.open(kLuaList)) {
    const std::string file = ini.get(name, "file");
    // An empty or missing "always" means the level has no periodic
    // function, rather than a failed call every 16 ms.
    alwaysFn = ini.get(name, "always");
    if (file.size() > 4) lua.openFile("lua/" + file);
  }

  if (!frames.empty() && frames.front() && frames.front()->skybox)
    setSkybox(frames.front()->skybox, false);

  Log::ok("Level.load: Poziom \"%s\" wczytany w %ums\n", name.c_str(), elapsedMs(started));
  return true;
}

bool Level::loadNpcs(const char* listName) {
  if (!listName) {
    Log::fail("Level.loadNpcs: NULL name");
    return false;
  }
  const std::string list = listName;
  // The player's character stays: the player keeps referring to it.
  for (Npc* npc : std::vector<Npc*>(npcs))
    if (npc && !npc->isPlayer) delNpc(npc);

  IniFile& ini = IniFile::instance();
  if (!ini.open(kNpcList)) {
    Log::fail("Level.loadNpcs: Nie udalo sie wczytac listy npc'ow");
    return false;
  }
  Database& db = Database::instance();
  for (int i = 1; i <= kListedNpcs; ++i) {
    const std::string npcName = ini.get(list, std::to_string(i));
    if (npcName.size() < 2) continue;
    const std::string key = list + "_" + npcName;
    std::string info = db.getStr(key);
    Parser words(info, kWordSeps);
    if (words.count() < Npc::kInfoWords) {
      const std::string file = "npc/" + npcName;
      if (ini.open(file)) {
        info = ini.get("npc", list);
        db.setStr(key, info);
        words.setStr(info);
      } else {
        Log::fail(
            "Level.loadNpcs: Nie udalo sie wczytac z pliku informacji o npc\n\t(\"%s\", %u)\n",
            file.c_str(), static_cast<unsigned>(i));
      }
      if (!ini.open(kNpcList)) {
        Log::fail("Level.loadNpcs: Nie udalo sie wczytac listy npc'ow (for)");
        return false;
      }
    }
    if (words.count() < Npc::kInfoWords || words.show(0) == "0") continue;

    std::unique_ptr<Npc> npc;
    try {
      const std::string scriptName = words.count() >= 12 ? words.show(11) : std::string();
      npc = std::make_unique<Npc>(npcName.c_str(), static_cast<uint32_t>(i), words.val(4),
                                  words.val(5), words.val(6), words.val(7),
                                  words.show(8) == Npc::kNoSprite ? nullptr
                                                                   : Sprite::get(words.show(8)),
                                  this,
                                  words.count() >= 12 ? scriptName.c_str() : nullptr);
    } catch (const std::bad_alloc&) {
      Log::fail("Level.loadNpcs: Nie udalo sie stworzyc npc");
      continue;
    }
    npc->talkable = words.show(1) == "1";
    npc->colsOn = words.show(2) != "0";
    if (words.show(3) == "0") npc->setGrav(0.0f, 0.0f);
    // A short line keeps the defaults of the words it lacks.
    if (words.count() > 9) npc->setAnim(static_cast<uint32_t>(words.val(9)));
    if (words.count() > 10) npc->alpha = static_cast<uint8_t>(words.val(10));
    npc->autoAnimOff = true;
    addNpc(std::move(npc), static_cast<uint32_t>(i));
  }
  return true;
}

void Level::unload() {
  left = top = right = bottom = width = height = 0;
  for (Npc* npc : npcs)
    if (npc && !npc->isPlayer) npc->saveState();
  clearWorld();
  releaseSkyboxes();
  skybox = nullptr;
  skyboxForced = false;
  name.clear();
  alwaysFn.clear();
  npcs.clear();
  npcs.shrink_to_fit();
  npcCap = 0;
}
