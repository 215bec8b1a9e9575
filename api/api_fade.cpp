// Whole-screen fades started from scripts.
#include "api/lua_funcs.h"
#include "render/fade.h"
#include "render/sprite.h"

namespace LuaFuncs {

namespace {

// An opacity argument, read as the dialog's "fade" lines read theirs.
uint8_t argOpacity(lua_State* L, int idx) { return fadeOpacity(argInt(L, idx)); }

template <void (*Start)(Sprite*, uint8_t, uint8_t)>
int startFade(lua_State* L, const char* fn) {
  if (!needArgs(L, 3, fn)) return 0;
  // A name that gives no picture makes an empty entry, which the fade
  // list drops at its next draw.
  const char* name = lua_tostring(L, 1);
  const uint8_t from = argOpacity(L, 2);
  const uint8_t to = argOpacity(L, 3);
  Sprite* sprite = nullptr;
  const bool ok = guarded(fn, [&] {
    sprite = Sprite::get(name);
    Start(sprite, from, to);
  });
  // The entry was not stored: its reference has no owner.
  if (!ok) Sprite::release(sprite);
  return 0;
}

}  // namespace

int lSetFade(lua_State* L) { return startFade<&setFade>(L, "lSetFade"); }
int lAddFade(lua_State* L) { return startFade<&addFade>(L, "lAddFade"); }

}  // namespace LuaFuncs
