// Level and character states made by the unit tests get the script API,
// as they do in the game.
#include "api/lua_funcs.h"

static const bool kApiInstalled = (LuaFuncs::install(), true);
