#include "dialog/dialog.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "base/globals.h"
#include "base/log.h"
#include "dialog/dialog_sprites.h"
#include "resources/ini_file.h"
#include "resources/parser.h"
#include "world/level.h"
#include "world/npc.h"
#include "world/player.h"

namespace {

constexpr const char* kFont = "data/gfx.crs:font_00a";

int truncPixel(float v) {
  if (v != v) return 0;
  if (v <= -2147483648.0f) return std::numeric_limits<int>::min();
  if (v >= 2147483647.0f) return std::numeric_limits<int>::max();
  return static_cast<int>(v);
}

uint8_t alphaByte(float a) {
  if (!(a > 0.0f)) return 0;
  return a >= 255.0f ? 255 : static_cast<uint8_t>(a);
}

// The words after the block number of a "wyb" line ("" with fewer than 3).
std::string optionWords(const std::string& cmdLine) {
  Parser p(cmdLine, " \t");
  return p.count() >= 3 ? cmdLine.substr(p.start(2)) : std::string();
}

template <class List>
void updateActors(List& list) {
  for (auto it = list.begin(); it != list.end();) {
    it->update();
    it = it->gone() ? list.erase(it) : std::next(it);
  }
}

}  // namespace

Dialog::Dialog() = default;

std::string Dialog::optionText(const std::string& words, bool highlighted) {
  return (highlighted ? "[" : " ") + words + (highlighted ? "]\n" : " \n");
}
Dialog::~Dialog() = default;

Dialog& Dialog::instance() {
  static Dialog d;
  return d;
}

void Dialog::connect(Player& p) {
  Player::DialogHooks& h = p.dialogHooks;
  h.running = [this] { return mode != 0; };
  h.opt = [this] { return opt; };
  h.start = [this] { start(); };
  h.advance = [this] { advance(); };
  h.select = [this](int i) { select(i); };
  h.reset = [this](Player& owner, Level* level) {
    reset();
    player = &owner;
    lvl = level;
  };
}

void Dialog::boxSize(int& w, int& h) {
  w = h = 0;
  const Sprite* bg = dialog_sprites::background;
  if (const Sprite::Anim* a = bg ? bg->getAnim(0) : nullptr) {
    w = static_cast<int>(a->w);
    h = static_cast<int>(a->h);
  }
}

void Dialog::reset() {
  options.clear();
  emots.clear();
  texts.clear();
  pics.clear();
  // The markers point at characters of the level being left.
  pointers.clear();
  player = nullptr;
  lvl = nullptr;
  target = nullptr;
}

void Dialog::setNpcName(const char* name) {
  npcFile.clear();
  hasNpcFile = false;
  if (!name) return;
  try {
    npcFile = std::string("npc/") + name;
    hasNpcFile = true;
  } catch (const std::bad_alloc&) {
    Log::fail("Dialog.setNpcName: Nie udalo sie zajac pamieci na nazwe npc");
  }
}

void Dialog::start() {
  if (!hasNpcFile) return;
  mode = 2;
  block = 1;
  line = 0;
  wait = 0;
  maxLines = 100;
  opt = 0;
  resume = true;
  textVisible = false;
  bgFrame = 0;
  bgFrameTime = 0;
  text.setStr("");
  if (!text.font) {
    int w = 0, h = 0;
    boxSize(w, h);
    text.x = 16;
    text.y = static_cast<float>(496 - h);
    text.z = -999;
    text.camX = text.camY = 0;
    text.width = w - 32;
    text.height = h - 32;
    text.setSprite(Sprite::get(kFont));
  }
}

void Dialog::advance() {
  if (resume) return;
  text.setStr("");
  if (mode == 2) {
    block = block > std::numeric_limits<int32_t>::min() ? block - 1 : block;
    line = 0;
    resume = true;
    return;
  }
  if (mode != 3) return;
  mode = 2;
  if (options.empty()) {
    // A script switched to choosing without offering anything: go on as
    // the next key would.
    advance();
    return;
  }
  opt = std::clamp(opt, 0, static_cast<int32_t>(options.size()) - 1);
  const int32_t optLine = options[opt];
  IniFile& ini = IniFile::instance();
  char key[32];
  std::snprintf(key, sizeof key, "%d %d", block, optLine);
  std::string cmd = ini.get("dialog", key);
  Parser p(cmd, " \t");
  if (p.count() < 2 && optLine == 0) {
    std::snprintf(key, sizeof key, "%d", block);
    cmd = ini.get("dialog", key);
    p.setStr(cmd);
  }
  if (p.count() >= 2) {
    block = p.val(1);
    line = 0;
    resume = true;
  } else {
    advance();
  }
}

std::string Dialog::lineAt(int32_t b, int32_t ln) const {
  IniFile& ini = IniFile::instance();
  char key[32];
  std::snprintf(key, sizeof key, "%d %d", b, ln);
  std::string v = ini.get("dialog", key);
  if (v.empty() && ln <= 0) {
    std::snprintf(key, sizeof key, "%d", b);
    v = ini.get("dialog", key);
  }
  return v;
}

void Dialog::select(int index) {
  if (mode != 3 || resume || options.empty()) return;
  const auto count = static_cast<int64_t>(options.size());
  opt = static_cast<int32_t>(((index % count) + count) % count);
  text.setStr("");
  int w = 0, h = 0;
  boxSize(w, h);
  const int wrap = text.width;
  auto words = [&](size_t i) { return optionWords(lineAt(block, options[i])); };
  auto switchTo = [&](int view) {
    optView = view;
    select(opt);
  };

  if (optView == 0) {
    for (size_t i = 0; i < options.size(); ++i) {
      const std::string s = optionText(words(i), static_cast<int>(i) == opt);
      if (text.lineWidth(s.c_str()) > wrap) return switchTo(2);
      text.addStr(s);
    }
    // The box grows with the text; measure it from the box's own height.
    text.height = h - 32;
    text.layout();
    if (text.height > h) return switchTo(1);
  } else if (optView == 1) {
    for (int d = -1; d <= 1; ++d) {
      const auto i = static_cast<size_t>(((opt + d) % count + count) % count);
      const std::string s = optionText(words(i), d == 0);
      if (text.lineWidth(s.c_str()) >= wrap - 39) return switchTo(2);
      text.addStr(s);
    }
  } else {
    char head[48];
    std::snprintf(head, sizeof head, "[%d/%u]\n", opt + 1, static_cast<unsigned>(count));
    text.addStr(head);
    text.addStr(words(static_cast<size_t>(opt)));
  }
}

bool Dialog::npcAlive(const Npc* npc, uint32_t slot) const {
  return npc && lvl && lvl->npcAt(slot) == npc;
}

void Dialog::updateSearch() {
  target = nullptr;
  if (!lvl) return;
  if (lvl->npcCap == 0) {
    setNpcName(nullptr);
    return;
  }
  float limit = kTalkRange;
  uint32_t targetSlot = 0;
  for (uint32_t s = 0; s < lvl->npcCap && s < lvl->npcs.size(); ++s) {
    Npc* n = lvl->npcs[s];
    if (!n || n->isPlayer || !n->talkable) continue;
    const double dx = double(truncPixel(n->x)) - speakerX;
    const double dy = double(truncPixel(n->y)) - speakerY;
    const auto dist = static_cast<float>(std::sqrt(dx * dx + dy * dy));
    if (dist <= limit) {
      target = n;
      targetSlot = s;
      limit = dist;
    }
  }
  if (!target) {
    setNpcName(nullptr);
    return;
  }
  if (pointers.empty() || pointers.back().npc != target) {
    Pointer p;
    p.npc = target;
    p.slot = targetSlot;
    pointers.push_back(p);
  }
  setNpcName(target->hasName ? target->name.c_str() : "");
}

void Dialog::update() {
  updateActors(emots);
  updateActors(texts);
  updateActors(pics);
  if (!player) return;
  int px = 0, py = 0;
  player->viewPoint(px, py);
  speakerX = px;
  speakerY = py;

  if (mode == 0) return updateSearch();
  if (mode == 2 && block < 1) {
    mode = 0;
    return;
  }
  if (mode != 2 && mode != 3) return;
  if (wait > 0) {
    wait -= game::dt;
    return;
  }
  parse();
}

void Dialog::parse() {
  if (!hasNpcFile || !resume) return;
  resume = false;
  if (!IniFile::instance().open(npcFile)) {
    Log::fail("Dialog.parse: Nie udalo sie otworzyc pliku \"%s\"\n", npcFile.c_str());
    return;
  }
  for (int steps = 0; line < maxLines; ++steps) {
    if (steps >= stepsPerUpdate) {
      // Jumps that keep coming back: carry on next frame.
      resume = true;
      return;
    }
    const std::string cmd = lineAt(block, line);
    if (!cmd.empty() && exec(cmd)) break;
    if (line == std::numeric_limits<int32_t>::max()) break;
    ++line;
  }
  if (mode == 3 && wait <= 0) select(0);
}

// --- drawing -------------------------------------------------------------------

void Dialog::drawPointers() {
  Sprite* ptr = dialog_sprites::pointer;
  const Sprite::Anim* a = ptr ? ptr->getAnim(0) : nullptr;
  const auto frames = a ? static_cast<uint32_t>(a->frames.size()) : 0u;
  for (auto it = pointers.begin(); it != pointers.end();) {
    Pointer& p = *it;
    if (!npcAlive(p.npc, p.slot)) {
      it = pointers.erase(it);
      continue;
    }
    const float step = kFadeSpeed * game::dt;
    p.alpha = (mode == 0 && p.npc == target) ? std::min(255.0f, p.alpha + step)
                                             : std::max(0.0f, p.alpha - step);
    p.frameTime += kBgFrameRate * game::dt;
    if (p.frameTime >= 1.0f) {
      const float whole = std::floor(p.frameTime);
      p.frameTime -= whole;
      p.frame = frames ? static_cast<uint32_t>((p.frame + std::fmod(whole, float(frames)))) % frames : 0;
    }
    const int h = p.npc->anim ? static_cast<int>(p.npc->anim->h) : 0;
    if (ptr)
      Sprite::draw(Sprite::batch(), ptr, float(truncPixel(p.npc->x)),
                   float(truncPixel(p.npc->y) - h), -998.0f, 0, p.frame, alphaByte(p.alpha), 1.0f,
                   1.0f, 0.0f, 1.0f, 1.0f);
    it = p.alpha <= 0 ? pointers.erase(it) : std::next(it);
  }
  if (ptr) Sprite::flush(ptr);
}

void Dialog::drawBox() {
  const float step = kFadeSpeed * game::dt;
  bgAlpha = (mode != 0 && textVisible) ? std::min(255.0f, bgAlpha + step)
                                       : std::max(0.0f, bgAlpha - step);
  Sprite* bg = dialog_sprites::background;
  const Sprite::Anim* a = bg ? bg->getAnim(0) : nullptr;
  const auto frames = a ? static_cast<int32_t>(a->frames.size()) : 0;
  bgFrameTime += kBgFrameRate * game::dt;
  while (bgFrameTime >= 1.0f) {
    bgFrameTime -= 1.0f;
    if (++bgFrame >= frames) bgFrame = 0;
  }
  if (bgAlpha == 0) return;
  if (bg && a) {
    const uint32_t anim = resume ? 0 : mode == 2 ? 1 : mode == 3 ? 2 : 0;
    Sprite::draw(Sprite::batch(), bg, 0.0f, float(480 - int(a->h)), -999.0f, anim,
                 static_cast<uint32_t>(bgFrame), alphaByte(bgAlpha), 0.0f, 0.0f, 0.0f, 1.0f, 1.0f);
    Sprite::flush(bg);
  }
  if (alphaByte(text.alpha) != alphaByte(bgAlpha)) {
    text.alpha = alphaByte(bgAlpha);
    text.dirty = true;
  }
  text.draw();
}

void Dialog::draw() {
  for (NpcEmot& e : emots) e.draw();
  for (NpcText& t : texts) t.draw();
  for (NpcPicture& p : pics) p.draw();
  drawPointers();
  drawBox();
}
