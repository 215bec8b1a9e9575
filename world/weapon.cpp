#include "world/weapon.h"

#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "base/log.h"
#include "render/sprite.h"
#include "resources/parser.h"
#include "resources/resfile.h"
#include "world/bullet.h"
#include "world/level.h"
#include "world/npc.h"

namespace {

constexpr int kWords = 5;  // name, sprite, script, use, special use

struct Table {
  std::map<std::string, std::unique_ptr<Weapon>> byName;
  // Replaced and cleared weapons: characters and the player may still point
  // at them, so they live on (unused) until the program ends.
  std::vector<std::unique_ptr<Weapon>> retired;
};

Table& table() {
  static Table t;
  return t;
}

// Whole file in text mode: as many characters as the file is long (a
// device that never ends is read as what its length says, not forever).
bool readFile(const char* path, std::string& out) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path, "r"), &std::fclose);
  if (!f) return false;
  if (std::fseek(f.get(), 0, SEEK_END) != 0) return false;
  const long len = std::ftell(f.get());
  if (len < 0) return false;
  std::rewind(f.get());
  try {
    out.assign(static_cast<size_t>(len), '\0');
  } catch (const std::bad_alloc&) {
    return false;
  }
  // Text mode may hand over fewer characters than the length.
  out.resize(std::fread(&out[0], 1, out.size(), f.get()));
  return !std::ferror(f.get());
}

// --- what a weapon's script may do ---------------------------------------
// A weapon's state has none of the level and character functions: only
// these, which spawn into the level of the current use.

struct Use {
  Level* lvl = nullptr;
  Npc* user = nullptr;
};
Use g_use;

int numArg(lua_State* L, int i, int fallback) {
  return lua_isnumber(L, i) ? static_cast<int>(lua_tonumber(L, i)) : fallback;
}
float floatArg(lua_State* L, int i) {
  return lua_isnumber(L, i) ? static_cast<float>(lua_tonumber(L, i)) : 0.0f;
}

// addBullet(x, y, angle, speed, life, damage, hits, sprite)
int lAddBullet(lua_State* L) {
  if (lua_gettop(L) < 8 || !lua_isstring(L, 8)) {
    Log::fail("Weapon.lAddBullet: Za malo argumentow");
    return 0;
  }
  if (!g_use.lvl) return 0;
  addBullet(*g_use.lvl, numArg(L, 1, 0), numArg(L, 2, 0), 0, floatArg(L, 3), floatArg(L, 4),
            floatArg(L, 5), numArg(L, 6, 0), numArg(L, 7, 1), Sprite::get(lua_tostring(L, 8)),
            g_use.user);
  return 0;
}

// addParticle(x, y, z, angle, speed, life, damage, sprite)
int lAddParticle(lua_State* L) {
  if (lua_gettop(L) < 8 || !lua_isstring(L, 8)) {
    Log::fail("Weapon.lAddParticle: Za malo argumentow");
    return 0;
  }
  if (!g_use.lvl) return 0;
  g_use.lvl->addParticle(numArg(L, 1, 0), numArg(L, 2, 0), numArg(L, 3, 0), floatArg(L, 4),
                         floatArg(L, 5), floatArg(L, 6), numArg(L, 7, 0),
                         Sprite::get(lua_tostring(L, 8)));
  return 0;
}

// getUserDir() -> 0 facing left, 1 facing right; nothing without a user.
int lGetUserDir(lua_State* L) {
  if (!g_use.user) return 0;
  lua_pushnumber(L, g_use.user->dir);
  return 1;
}

Lua::ApiInstaller& apiInstaller() {
  static Lua::ApiInstaller fn = nullptr;
  return fn;
}

}  // namespace

const std::vector<Weapon::ScriptFunc>& Weapon::scriptFuncs() {
  static const std::vector<ScriptFunc> funcs = {
      {"addBullet", lAddBullet},
      {"addParticle", lAddParticle},
      {"getUserDir", lGetUserDir},
  };
  return funcs;
}

// --- one weapon ------------------------------------------------------------

void Weapon::setApiInstaller(Lua::ApiInstaller fn) { apiInstaller() = fn; }

Weapon::Weapon(const char* script, const char* func_, const char* specFunc_, Sprite* sprite_)
    : sprite(sprite_) {
  if (!script || !func_ || !specFunc_ || !sprite_) return;
  setFunc(func_);
  setSpecFunc(specFunc_);
  lua.setName(script);
  for (const ScriptFunc& f : scriptFuncs()) lua.regFunc(f.fn, f.name);
  if (apiInstaller()) apiInstaller()(lua);
  lua.openFile(script);
}

Weapon::~Weapon() { Sprite::release(sprite); }

namespace {

// Both use functions report a failed copy under the special use's name.
void setFuncName(std::string& fn, bool& has, const char* name) {
  has = false;
  fn.clear();
  if (!name) return;
  try {
    fn = name;
    has = true;
  } catch (const std::bad_alloc&) {
    Log::fail("Weapon.setSpecFunc: Nie udalo sie zajac pamieci na nazwe funkcji");
  }
}

}  // namespace

void Weapon::setFunc(const char* name) { setFuncName(func, hasFunc, name); }

void Weapon::setSpecFunc(const char* name) { setFuncName(specFunc, hasSpecFunc, name); }

void Weapon::fire(const std::string& fn, bool has, int x, int y, Npc* user) {
  if (!has) return;
  const Use saved = g_use;
  g_use.user = user;
  g_use.lvl = user && user->lvl ? user->lvl : &Level::instance();
  // A copy: the name must outlive the call.
  const std::string name = fn;
  lua.addArg(x);
  lua.addArg(y);
  lua.call(name.c_str());
  g_use = saved;
}

void Weapon::fire1(int x, int y, Npc* user) { fire(func, hasFunc, x, y, user); }
void Weapon::fire2(int x, int y, Npc* user) { fire(specFunc, hasSpecFunc, x, y, user); }

void Weapon::draw(int x, int y) const {
  if (!sprite) return;
  Sprite::draw(Sprite::batch(), sprite, static_cast<float>(x), static_cast<float>(y), 0.0f, 0, 0,
               255, 1.0f, 1.0f, 0.0f, 1.0f, 1.0f);
}

// --- the table -----------------------------------------------------------------

bool Weapon::load(const char* name) {
  if (!name) {
    Log::fail("Weapon.load: NULL name");
    return false;
  }
  std::string text;
  bool read;
  if (std::string(name).find(':') == std::string::npos) {
    read = readFile(name, text);
  } else {
    ResBuffer buf = Resfile::instance().load(name);
    read = static_cast<bool>(buf);
    if (read) text.assign(buf.c_str());
  }
  if (!read) {
    Log::fail("Weapon.load: Nie udalo sie wczytac listy broni");
    return false;
  }
  loadText(text.c_str());
  return true;
}

void Weapon::loadText(const char* text) {
  if (!text) return;
  Table& t = table();
  const Parser lines(text, "\r\n");
  for (int i = 0; i < lines.count(); ++i) {
    const Parser words(lines.show(i), " \t");
    if (words.count() < kWords || words.show(0) == "--") continue;
    const std::string name = words.show(0);
    const std::string script = words.show(2);
    const std::string use = words.show(3);
    const std::string spec = words.show(4);
    std::unique_ptr<Weapon> w;
    try {
      w = std::make_unique<Weapon>(script.c_str(), use.c_str(), spec.c_str(),
                                   Sprite::get(words.show(1)));
      auto it = t.byName.find(name);
      if (it != t.byName.end()) {
        t.retired.push_back(std::move(it->second));
        it->second = std::move(w);
      } else {
        t.byName.emplace(name, std::move(w));
      }
    } catch (const std::bad_alloc&) {
      Log::fail("Weapon.load: Nie udalo sie stworzyc broni");
    }
  }
}

Weapon* Weapon::get(const char* name) {
  const Table& t = table();
  auto it = name ? t.byName.find(name) : t.byName.end();
  if (it == t.byName.end()) {
    Log::fail("Weapon.get: Nie znaleziono broni \"%s\"\n", name ? name : "(null)");
    return nullptr;
  }
  return it->second.get();
}

size_t Weapon::count() { return table().byName.size(); }

void Weapon::clear() {
  Table& t = table();
  t.byName.clear();
  t.retired.clear();
}
