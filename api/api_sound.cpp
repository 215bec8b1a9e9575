// Sound for scripts: effects on the sixteen numbered channels and music
// that cross-fades between tracks, played by the program's sound service.
// They need no level or character, so weapon states get them too.
#include "api/lua_funcs.h"
#include "sound/sound.h"

namespace LuaFuncs {

namespace {

// Optional arguments: a number when given, the default when absent.
int32_t optInt(lua_State* L, int idx, int32_t fallback) {
  return lua_gettop(L) >= idx ? argInt(L, idx) : fallback;
}
float optFloat(lua_State* L, int idx, float fallback) {
  return lua_gettop(L) >= idx ? argFloat(L, idx) : fallback;
}
// The "immediate" switch: given and true, or a non-zero number.
bool optFlag(lua_State* L, int idx) {
  if (lua_gettop(L) < idx) return false;
  if (lua_isboolean(L, idx)) return lua_toboolean(L, idx) != 0;
  return lua_tonumber(L, idx) != 0;
}

// Setters of one channel: channel, value, immediate.
template <class Value, Value (*Read)(lua_State*, int), void (Sound::*Set)(int, Value, bool)>
int channelSetter(lua_State* L, const char* fn) {
  if (!needArgs(L, 2, fn)) return 0;
  (Sound::instance().*Set)(argInt(L, 1), Read(L, 2), optFlag(L, 3));
  return 0;
}

// Setters of the current music track: value, immediate.
template <class Value, Value (*Read)(lua_State*, int), void (Sound::*Set)(Value, bool)>
int musicSetter(lua_State* L, const char* fn) {
  if (!needArgs(L, 1, fn)) return 0;
  (Sound::instance().*Set)(Read(L, 1), optFlag(L, 2));
  return 0;
}

// playSnd(channel, file [, volume [, pan]]) -> channel used, or -1
int lPlaySnd(lua_State* L) {
  constexpr const char* kFn = "lPlaySnd";
  if (!needArgs(L, 2, kFn)) return 0;
  const char* file = argStr(L, 2, kFn);
  if (!file) return 0;
  const int32_t channel = argInt(L, 1), volume = optInt(L, 3, 100);
  const float pan = optFloat(L, 4, 0.0f);
  int used = -1;
  guarded(kFn, [&] { used = Sound::instance().play(channel, file, volume, pan); });
  pushInt(L, used);
  return 1;
}

// stopSnd(channel)
int lStopSnd(lua_State* L) {
  if (!needArgs(L, 1, "lStopSnd")) return 0;
  Sound::instance().stop(argInt(L, 1));
  return 0;
}

int lSetSndVol(lua_State* L) {
  return channelSetter<int32_t, &argInt, &Sound::setVolume>(L, "lSetSndVol");
}
int lSetSndPan(lua_State* L) {
  return channelSetter<float, &argFloat, &Sound::setPan>(L, "lSetSndPan");
}
int lSetSndPitch(lua_State* L) {
  return channelSetter<float, &argFloat, &Sound::setPitch>(L, "lSetSndPitch");
}

// playMusic(file [, volume [, pan]])
int lPlayMusic(lua_State* L) {
  constexpr const char* kFn = "lPlayMusic";
  if (!needArgs(L, 1, kFn)) return 0;
  const char* file = argStr(L, 1, kFn);
  if (!file) return 0;
  const int32_t volume = optInt(L, 2, 100);
  const float pan = optFloat(L, 3, 0.0f);
  guarded(kFn, [&] { Sound::instance().playMusic(file, volume, pan); });
  return 0;
}

int lSetMusicVol(lua_State* L) {
  return musicSetter<int32_t, &argInt, &Sound::setMusicVolume>(L, "lSetMusicVol");
}
int lSetMusicPan(lua_State* L) {
  return musicSetter<float, &argFloat, &Sound::setMusicPan>(L, "lSetMusicPan");
}
int lSetMusicPitch(lua_State* L) {
  return musicSetter<float, &argFloat, &Sound::setMusicPitch>(L, "lSetMusicPitch");
}

}  // namespace

const std::vector<Func>& soundFuncs() {
  static const std::vector<Func> funcs = {
      {"playSnd", lPlaySnd},         {"stopSnd", lStopSnd},
      {"setSndVol", lSetSndVol},     {"setSndPan", lSetSndPan},
      {"setSndPitch", lSetSndPitch}, {"playMusic", lPlayMusic},
      {"setMusicVol", lSetMusicVol}, {"setMusicPan", lSetMusicPan},
      {"setMusicPitch", lSetMusicPitch},
  };
  return funcs;
}

void registerWeaponApi(Lua& lua) {
  for (const Func& f : soundFuncs()) lua.regFunc(f.fn, f.name);
}

}  // namespace LuaFuncs
