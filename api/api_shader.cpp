// The camera's post-processing programs, seen from scripts: choosing the
// programs of the three slots and setting their arguments.
#include "api/lua_funcs.h"
#include "render/shader.h"
#include "render/sprite.h"

namespace LuaFuncs {

namespace {

// The first `n` arguments as strings, or false after the failure line.
bool strArgs(lua_State* L, int n, const char* fn, const char** out) {
  if (!needArgs(L, n, fn)) return false;
  for (int i = 0; i < n; ++i)
    if (!(out[i] = argStr(L, i + 1, fn))) return false;
  return true;
}

template <void (CameraShader::*Set)(const char*)>
int setSlot(lua_State* L, const char* fn) {
  const char* name = nullptr;
  if (strArgs(L, 1, fn, &name)) guarded(fn, [name] { (CameraShader::instance().*Set)(name); });
  return 0;
}

}  // namespace

int lSetCamShaderVert(lua_State* L) {
  return setSlot<&CameraShader::setVert>(L, "lSetCamShaderVert");
}

int lSetCamShaderFrag(lua_State* L) {
  return setSlot<&CameraShader::setFrag>(L, "lSetCamShaderFrag");
}

int lSetCamShaderPost(lua_State* L) {
  return setSlot<&CameraShader::setPost>(L, "lSetCamShaderPost");
}

int lDelCamShaderArg(lua_State* L) {
  static const char* const kFn = "lDelCamShaderArg";
  const char* s[2];
  if (strArgs(L, 2, kFn, s)) guarded(kFn, [s] { CameraShader::instance().delArg(s[0], s[1]); });
  return 0;
}

int lSetCamShaderArgFloat(lua_State* L) {
  static const char* const kFn = "lSetCamShaderArgFloat";
  const char* s[2];
  if (!needArgs(L, 3, kFn) || !strArgs(L, 2, kFn, s)) return 0;
  const float value = argFloat(L, 3);
  guarded(kFn, [s, value] { CameraShader::instance().setArgFloat(s[0], s[1], value); });
  return 0;
}

int lSetCamShaderArgImg(lua_State* L) {
  static const char* const kFn = "lSetCamShaderArgImg";
  const char* s[3];
  if (!strArgs(L, 3, kFn, s)) return 0;
  guarded(kFn, [s] { CameraShader::instance().setArgImg(s[0], s[1], Sprite::get(s[2])); });
  return 0;
}

const std::vector<Func>& camShaderFuncs() {
  static const std::vector<Func> funcs = {
      {"setCamShaderVert", lSetCamShaderVert},
      {"setCamShaderFrag", lSetCamShaderFrag},
      {"setCamShaderPost", lSetCamShaderPost},
      {"delCamShaderArg", lDelCamShaderArg},
      {"setCamShaderArgFloat", lSetCamShaderArgFloat},
      {"setCamShaderArgImg", lSetCamShaderArgImg},
  };
  return funcs;
}

}  // namespace LuaFuncs
