// The program-wide save database, seen from scripts.
#include "api/lua_funcs.h"
#include "resources/database.h"

namespace LuaFuncs {

namespace {

// The four functions that take a file name or a key first.
const char* firstStr(lua_State* L, int need, const char* fn) {
  if (!needArgs(L, need, fn)) return nullptr;
  return argStr(L, 1, fn);
}

}  // namespace

int lDbLoad(lua_State* L) {
  static const char* const kFn = "lDbLoad";
  const char* path = firstStr(L, 1, kFn);
  if (path) guarded(kFn, [path] { Database::instance().load(path); });
  return 0;
}

int lDbSave(lua_State* L) {
  static const char* const kFn = "lDbSave";
  const char* path = firstStr(L, 1, kFn);
  if (path) guarded(kFn, [path] { Database::instance().save(path); });
  return 0;
}

int lDbClear(lua_State*) {
  Database::instance().clear();
  return 0;
}

int lDbSetVal(lua_State* L) {
  static const char* const kFn = "lDbSetVal";
  const char* key = firstStr(L, 2, kFn);
  if (!key) return 0;
  const int32_t value = argInt(L, 2);
  guarded(kFn, [key, value] { Database::instance().setVal(key, value); });
  return 0;
}

int lDbSetStr(lua_State* L) {
  static const char* const kFn = "lDbSetStr";
  const char* key = firstStr(L, 2, kFn);
  if (!key) return 0;
  const char* text = argStr(L, 2, kFn);
  if (!text) return 0;
  guarded(kFn, [key, text] { Database::instance().setStr(key, text); });
  return 0;
}

int lDbGetVal(lua_State* L) {
  static const char* const kFn = "lDbGetVal";
  const char* key = firstStr(L, 1, kFn);
  if (!key) return 0;
  int32_t value = 0;
  if (!guarded(kFn, [key, &value] { value = Database::instance().getVal(key); })) return 0;
  pushInt(L, value);
  return 1;
}

int lDbGetStr(lua_State* L) {
  static const char* const kFn = "lDbGetStr";
  const char* key = firstStr(L, 1, kFn);
  if (!key) return 0;
  // Pushed straight from the table: no string copy is alive while Lua
  // allocates. Absent keys give the empty string.
  const char* value = "";
  size_t length = 0;
  if (!guarded(kFn, [key, &value, &length] {
        const auto& strs = Database::instance().strs();
        auto it = strs.find(key);
        if (it == strs.end()) return;
        value = it->second.data();
        length = it->second.size();
      }))
    return 0;
  lua_pushlstring(L, value, length);
  return 1;
}

}  // namespace LuaFuncs
