// The camera seen from scripts. Setters take the point the view should be
// centred on; getters report the stored top-left corner, so getCamPos after
// setCamPos(400, 300) gives 80, 60.
#include <cmath>

#include "api/lua_funcs.h"
#include "render/camera.h"

namespace LuaFuncs {

namespace {

constexpr float kHalfW = Camera::kWidth / 2;
constexpr float kHalfH = Camera::kHeight / 2;

// The corner for a centre argument, computed in float so that extreme
// arguments cannot overflow an integer.
float cornerX(lua_State* L, int idx) { return static_cast<float>(argInt(L, idx)) - kHalfW; }
float cornerY(lua_State* L, int idx) { return static_cast<float>(argInt(L, idx)) - kHalfH; }

// A stored coordinate truncated for scripts; values no int can hold (a
// script may have set them) are held at the nearest end.
void pushTrunc(lua_State* L, float v) {
  if (std::isnan(v)) v = 0;
  if (v >= 2147483647.0f) return pushInt(L, 2147483647);
  if (v <= -2147483648.0f) return pushInt(L, -2147483647 - 1);
  pushInt(L, static_cast<int32_t>(v));
}

template <float Camera::*X, float Camera::*Y>
int setBoth(lua_State* L, const char* fn) {
  if (!needArgs(L, 2, fn)) return 0;
  Camera& cam = Camera::instance();
  cam.*X = cornerX(L, 1);
  cam.*Y = cornerY(L, 2);
  return 0;
}

template <float Camera::*Field, bool Vertical>
int setOne(lua_State* L, const char* fn) {
  if (!needArgs(L, 1, fn)) return 0;
  Camera::instance().*Field = Vertical ? cornerY(L, 1) : cornerX(L, 1);
  return 0;
}

template <float Camera::*X, float Camera::*Y>
int getBoth(lua_State* L) {
  const Camera& cam = Camera::instance();
  pushTrunc(L, cam.*X);
  pushTrunc(L, cam.*Y);
  return 2;
}

}  // namespace

int lSetCamPos(lua_State* L) { return setBoth<&Camera::x, &Camera::y>(L, "lSetCamPos"); }
int lSetCamX(lua_State* L) { return setOne<&Camera::x, false>(L, "lSetCamX"); }
int lSetCamY(lua_State* L) { return setOne<&Camera::y, true>(L, "lSetCamY"); }
int lSetCamTPos(lua_State* L) { return setBoth<&Camera::tx, &Camera::ty>(L, "lSetCamTPos"); }
int lSetCamTX(lua_State* L) { return setOne<&Camera::tx, false>(L, "lSetCamTX"); }
int lSetCamTY(lua_State* L) { return setOne<&Camera::ty, true>(L, "lSetCamTY"); }

int lSetCamSpd(lua_State* L) {
  if (!needArgs(L, 1, "lSetCamSpd")) return 0;
  Camera::instance().spd = argFloat(L, 1);
  return 0;
}

int lSetCamShadeOn(lua_State*) {
  Camera::instance().shade = true;
  return 0;
}

int lSetCamShadeOff(lua_State*) {
  Camera::instance().shade = false;
  return 0;
}

int lSetCamShadeToggle(lua_State*) {
  Camera::instance().shade = !Camera::instance().shade;
  return 0;
}

int lGetCamPos(lua_State* L) { return getBoth<&Camera::x, &Camera::y>(L); }
int lGetCamTPos(lua_State* L) { return getBoth<&Camera::tx, &Camera::ty>(L); }

int lGetCamSpd(lua_State* L) {
  pushFloat(L, Camera::instance().spd);
  return 1;
}

int lGetCamShade(lua_State* L) {
  pushInt(L, Camera::instance().shade ? 1 : 0);
  return 1;
}

}  // namespace LuaFuncs
