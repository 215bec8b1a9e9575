// The command language of the dialog files: one line, split at blanks and
// tabs, word 0 naming the command.
#include <SDL/SDL.h>

#include <cstdio>
#include <cstring>
#include <limits>

#include "base/globals.h"
#include "base/log.h"
#include "dialog/dialog.h"
#include "dialog/dialog_commands.h"
#include "render/camera.h"
#include "render/fade.h"
#include "resources/database.h"
#include "resources/ini_file.h"
#include "resources/parser.h"
#include "sound/sound.h"
#include "world/level.h"
#include "world/npc.h"
#include "world/player.h"

namespace {

// The text of the line from word `i` on ("" when it has fewer words).
std::string restFrom(const std::string& cmdLine, const Parser& p, int i) {
  return p.count() > i ? cmdLine.substr(p.start(i)) : std::string();
}

// n - 1 without overflowing: the line before line n.
int32_t before(int32_t n) { return n > std::numeric_limits<int32_t>::min() ? n - 1 : n; }

// Integer arithmetic of the save's values wraps instead of overflowing.
int32_t wrapAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
int32_t wrapSub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

std::string intText(int32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%d", v);
  return buf;
}

}  // namespace

void Dialog::moveNpcHere(Npc* npc, int x, int y) {
  npc->x = static_cast<float>(x);
  npc->y = static_cast<float>(y);
  npc->saveState();
}

void Dialog::cmdCondition(const Parser& p, bool chooseLine) {
  const std::string kind = p.show(1);
  Database& db = Database::instance();
  int cmp = 0;
  if (kind == "val") {
    const int32_t v = db.getVal(p.show(2));
    const int32_t n = p.val(3);
    cmp = v < n ? -1 : v > n ? 1 : 0;
  } else if (kind == "str") {
    const int c = std::strcmp(intText(db.getVal(p.show(2))).c_str(), p.show(3).c_str());
    cmp = c < 0 ? -1 : c > 0 ? 1 : 0;
  } else {
    return;
  }
  int32_t targetNo;
  if (p.count() <= 5)
    targetNo = p.val(cmp == 0 ? 4 : 5);
  else
    targetNo = p.val(cmp < 0 ? 4 : cmp == 0 ? 5 : 6);
  if (chooseLine) {
    line = before(targetNo);
  } else {
    block = targetNo;
    line = -1;
  }
  resume = true;
}

void Dialog::cmdChoice(const Parser& p) {
  if (mode != 3) {
    mode = 3;
    optView = 0;
    options.clear();
    opt = line;
  }
  options.push_back(line);
  if (p.count() >= 3) text.addStr(optionText(p.getStr().substr(p.start(2)), line == opt));
}

bool Dialog::cmdPos(const Parser& p) {
  const int n = p.count();
  if (n <= 3) {
    if (!player) return false;
    player->x = p.val(1);
    player->y = p.val(2);
    player->z = 0;
    if (Npc* c = player->npc.get()) {
      c->x = static_cast<float>(player->x);
      c->y = static_cast<float>(player->y);
    }
    return false;
  }
  if (n == 4) {
    if (lvl)
      if (Npc* c = lvl->getNpcByName(p.show(1).c_str())) moveNpcHere(c, p.val(2), p.val(3));
    return false;
  }
  const std::string level = p.show(1), name = p.show(2);
  const int x = p.val(3), y = p.val(4);
  if (lvl && lvl->name == level) {
    if (Npc* c = lvl->getNpcByName(name.c_str())) moveNpcHere(c, x, y);
    return false;
  }
  // The character lives in another level: edit the info line that level
  // will read back when it is entered.
  Database& db = Database::instance();
  const std::string key = level + "_" + name;
  Parser info(db.getStr(key), " \t");
  bool closed = false;
  if (info.count() < 2) {
    const std::string file = "npc/" + name;
    IniFile& ini = IniFile::instance();
    ini.close();
    closed = true;
    if (!ini.open(file))
      Log::fail("Dialog.parse: Nie udalo sie otworzyc npc \"%s\":\"%s\"\n", level.c_str(),
                file.c_str());
    else
      info.setStr(ini.get("npc", level));
    if (info.count() < 2)
      Log::fail("Dialog.parse: Nie udalo sie wczytac info o npc \"%s\":\"%s\"\n", file.c_str(),
                level.c_str());
  }
  if (info.count() >= 2) {
    // A short line gets the missing words behind its last one, so the
    // position lands as words 4 and 5 instead of being dropped.
    while (info.count() < 6) info.ins(info.count() - 1, "0");
    info.swap(4, intText(x));
    info.swap(5, intText(y));
    db.setStr(key, info.getStr());
  }
  if (closed) {
    // The rest of the block still has to come from the dialog's own file.
    IniFile& ini = IniFile::instance();
    ini.close();
    if (!ini.open(npcFile)) {
      Log::fail("Dialog.parse: Nie udalo sie ponownie otworzyc pliku \"%s\"\n", npcFile.c_str());
      return true;
    }
  }
  return false;
}

bool Dialog::cmdGoto(const Parser& p) {
  mode = p.val(4);
  block = p.val(5);
  line = 0;
  resume = true;
  if (player) {
    player->x = p.val(2);
    player->y = p.val(3);
    player->z = 0;
    if (Npc* c = player->npc.get()) {
      c->x = static_cast<float>(player->x);
      c->y = static_cast<float>(player->y);
    }
  }
  setFade(Sprite::get("data/gfx.crs:fade_00"), 255, 255);
  if (Sprite::glReady()) {
    // A black picture stays up while the level loads.
    drawFade();
    Camera::instance().endFrame();
  }
  if (lvl) lvl->load(p.show(1));
  const std::string name = p.count() >= 7 ? p.show(6) : std::string();
  setNpcName(name.c_str());
  // setPlayer resets this dialog and hands it the player and level again.
  if (Player* owner = player) owner->setPlayer();
  if (mode == 0) setFade(Sprite::get("data/gfx.crs:fade_01"), 255, 0);
  // Loading time must not count as the next frame's length.
  game::frameStart = SDL_GetTicks();
  return true;
}

void Dialog::cmdActor(const std::string& cmd, const Parser& p) {
  const int32_t id = p.val(1);
  if (cmd == "pic") {
    pics.emplace_back(id, p.val(2), p.val(3), Sprite::get(p.show(4)), float(p.val(5)));
  } else if (cmd == "emot") {
    if (!lvl) return;
    if (p.count() <= 5) {
      const auto slot = static_cast<uint32_t>(p.val(2));
      Npc* n = slot < lvl->npcCap ? lvl->npcAt(slot) : nullptr;
      emots.emplace_back(id, n, 0, 0, Sprite::get(p.show(3)), float(p.val(4)), lvl, slot);
    } else {
      emots.emplace_back(id, nullptr, p.val(2), p.val(3), Sprite::get(p.show(4)),
                         float(p.val(5)));
    }
  } else if (cmd == "text") {
    texts.emplace_back(id, restFrom(p.getStr(), p, 6).c_str(), p.val(2), p.val(3),
                       Sprite::get(p.show(4)), float(p.val(5)), 320, 32, 0.0f, 0.0f);
  }
}

void Dialog::cmdSound(const std::string& cmd, const Parser& p) {
  if (p.count() < 2) return;
  // Optional words are read only when present (a missing one would print
  // the parser's failure).
  const int32_t volume = p.count() >= 3 ? p.val(2) : 100;
  Sound& sound = Sound::instance();
  if (cmd == "music") {
    sound.playMusic(p.show(1), volume, 0.0f);
    return;
  }
  float pan = p.count() >= 4 ? p.valf(3) : 0.0f;
  if (pan != pan) pan = 0.0f;
  sound.play(-1, p.show(1), volume, pan);
}

bool Dialog::exec(const std::string& cmdLine) {
  const Parser p(cmdLine, " \t");
  if (p.count() < 1) return false;
  const std::string cmd = p.show(0);
  // Unknown words do nothing.
  const DialogCommand* c = DialogCommand::find(cmd);
  if (!c) return false;
  Database& db = Database::instance();

  switch (c->id) {
    case DialogCommand::kSeta:
      mode = 0;
      resume = true;
      return true;
    case DialogCommand::kSetb:
      block = p.val(1);
      line = -1;
      resume = true;
      break;
    case DialogCommand::kSeti:
      line = before(p.val(1));
      resume = true;
      break;
    case DialogCommand::kW8:
      ++line;
      wait = p.valf(1);
      if (wait != wait) wait = 0;  // "nan" would never count down
      resume = true;
      return true;
    case DialogCommand::kStr:
      text.addStr(restFrom(cmdLine, p, 1));
      textVisible = true;
      break;
    case DialogCommand::kNl:
      text.addStr("\n");
      textVisible = true;
      break;
    case DialogCommand::kStrnl:
      text.addStr("\n" + restFrom(cmdLine, p, 1));
      textVisible = true;
      break;
    case DialogCommand::kClear:
      text.setStr("");
      break;
    case DialogCommand::kStrval:
      text.addStr(intText(db.getVal(p.show(1))));
      break;
    case DialogCommand::kStrstr:
      text.addStr(db.getStr(p.show(1)));
      break;
    case DialogCommand::kSave:
    case DialogCommand::kAdd:
    case DialogCommand::kSub: {
      const std::string kind = p.show(1), key = p.show(2);
      const bool save = c->id == DialogCommand::kSave, add = c->id == DialogCommand::kAdd;
      if (kind == "str") {
        db.setStr(key, add ? db.getStr(key) + p.show(3) : p.show(3));
      } else if (kind == "val") {
        const int32_t n = p.val(3), v = save ? 0 : db.getVal(key);
        db.setVal(key, save ? n : add ? wrapAdd(v, n) : wrapSub(v, n));
      }
      break;
    }
    case DialogCommand::kDbSave:
      db.save(p.show(1));
      break;
    case DialogCommand::kDbLoad:
      db.load(p.show(1));
      break;
    case DialogCommand::kDbClear:
      db.clear();
      break;
    case DialogCommand::kIf:
    case DialogCommand::kIfi:
      cmdCondition(p, c->id == DialogCommand::kIfi);
      break;
    case DialogCommand::kWyb:
      cmdChoice(p);
      break;
    case DialogCommand::kOpt:
      select(p.val(1));
      break;
    case DialogCommand::kHide:
    case DialogCommand::kShow:
      textVisible = c->id == DialogCommand::kShow;
      break;
    case DialogCommand::kLua:
      if (lvl) lvl->lua.runString(restFrom(cmdLine, p, 1).c_str(), npcFile.c_str());
      break;
    case DialogCommand::kFade:
    case DialogCommand::kAfade: {
      Sprite* s = Sprite::get(p.show(1));
      const uint8_t from = fadeOpacity(p.val(2)), to = fadeOpacity(p.val(3));
      if (c->id == DialogCommand::kFade)
        setFade(s, from, to);
      else
        addFade(s, from, to);
      break;
    }
    case DialogCommand::kPic:
    case DialogCommand::kEmot:
    case DialogCommand::kText:
      cmdActor(cmd, p);
      break;
    case DialogCommand::kKillemot:
    case DialogCommand::kKilltext:
    case DialogCommand::kKillpic: {
      const int32_t id = p.val(1);
      auto killFirst = [id](auto& list) {
        for (auto& a : list)
          if (a.id == id) return a.kill();
      };
      if (c->id == DialogCommand::kKillemot) killFirst(emots);
      if (c->id == DialogCommand::kKilltext) killFirst(texts);
      if (c->id == DialogCommand::kKillpic) killFirst(pics);
      break;
    }
    case DialogCommand::kNoEffect:
      break;
    case DialogCommand::kSnd:
    case DialogCommand::kMusic:
      cmdSound(cmd, p);
      break;
    case DialogCommand::kPos:
      return cmdPos(p);
    case DialogCommand::kGoto:
      return cmdGoto(p);
  }
  return false;
}
