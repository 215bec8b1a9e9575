// The sprite cache, seen from scripts: preloading images before they are
// needed and dropping the ones nothing uses any more.
#include "api/lua_funcs.h"
#include "render/sprite.h"

namespace LuaFuncs {

int lLoadSprite(lua_State* L) {
  static const char* const kFn = "lLoadSprite";
  if (!needArgs(L, 1, kFn)) return 0;
  const char* name = argStr(L, 1, kFn);
  if (!name) return 0;
  guarded(kFn, [name] { Sprite::load(name); });
  return 0;
}

// Only sprites without users go: objects, frames, skies and fades keep
// plain pointers to theirs, so emptying the whole cache under them would
// leave every one of those pointing at freed images.
int lUnloadSprite(lua_State*) {
  guarded("lUnloadSprite", [] { Sprite::clearUnused(); });
  return 0;
}

}  // namespace LuaFuncs
