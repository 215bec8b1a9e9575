#include "script/lua.h"

#include <algorithm>
#include <cstring>

#include "base/log.h"
#include "script/periodic.h"

// The state and its running guard. A Core whose owner let go while a call
// was on the stack lives on in the graveyard until that call unwinds.
struct Lua::Core {
  lua_State* L = nullptr;
  int depth = 0;  // protected calls of this state in flight
  Fate fate = Fate::Owned;

  Core() = default;
  Core(const Core&) = delete;
  Core& operator=(const Core&) = delete;
  ~Core() {
    if (!L) return;
    // Finalizers run by lua_close must not reach the host objects, which
    // may already be half torn down.
    forgetHost();
    lua_close(L);
  }

  void forgetHost() {
    for (const char* key : {kRegLvl, kRegNpc}) {
      lua_pushstring(L, key);
      lua_rawget(L, LUA_REGISTRYINDEX);
      const bool present = !lua_isnil(L, -1);
      lua_pop(L, 1);
      if (!present) continue;
      lua_pushstring(L, key);
      lua_pushnil(L);
      lua_rawset(L, LUA_REGISTRYINDEX);
    }
  }
};

namespace {

int g_activeCalls = 0;
uint64_t g_callSerial = 0;

void reportTop(lua_State* L) {
  if (const char* msg = lua_tostring(L, -1)) Log::fail("Lua.update: Error: %s\n", msg);
}

int openLibs(lua_State* L) {
  luaL_openlibs(L);
  return 0;
}

// Table accesses that may run a script's metamethods (a "strict" _G that
// raises on unknown names, say) must not raise outside a protected call:
// Lua would abort the process. These run inside lua_pcall instead.
int getGlobalProtected(lua_State* L) {
  lua_gettable(L, LUA_GLOBALSINDEX);
  return 1;
}
int setGlobalProtected(lua_State* L) {
  lua_settable(L, LUA_GLOBALSINDEX);
  return 0;
}
int setRegistryProtected(lua_State* L) {
  lua_settable(L, LUA_REGISTRYINDEX);
  return 0;
}

bool hasMetatable(lua_State* L, int index) {
  if (!lua_getmetatable(L, index)) return false;
  lua_pop(L, 1);
  return true;
}

}  // namespace

std::vector<std::unique_ptr<Lua::Core>>& Lua::graveyard() {
  static std::vector<std::unique_ptr<Core>> cores;
  return cores;
}

Lua::Lua() {
  init();
  update();
}

Lua::~Lua() { release(Fate::Destroyed); }

void Lua::release(Fate fate) {
  if (!core_) return;
  if (core_->depth == 0) {
    core_.reset();
    return;
  }
  core_->forgetHost();
  core_->fate = fate;
  graveyard().push_back(std::move(core_));
}

void Lua::init() {
  release(Fate::Reset);
  status_ = 0;
  loaded_ = false;
  auto core = std::make_unique<Core>();
  core->L = luaL_newstate();
  if (!core->L || lua_cpcall(core->L, openLibs, nullptr) != 0) {
    Log::fail("Lua.Lua: Nie udalo sie uruchomic lua");
    return;
  }
  core_ = std::move(core);
}

lua_State* Lua::L() const { return core_ ? core_->L : nullptr; }

bool Lua::running() const { return core_ && core_->depth > 0; }

int Lua::activeCalls() { return g_activeCalls; }

uint64_t Lua::callSerial() { return g_callSerial; }

void Lua::update() {
  if (status_ == 0 || !core_) return;
  reportTop(core_->L);
  lua_settop(core_->L, 0);
  status_ = 0;
}

Lua::Fate Lua::protectedCall(int nargs, int nresults, int& rc) {
  Core* core = core_.get();
  ++core->depth;
  ++g_activeCalls;
  ++g_callSerial;
  rc = lua_pcall(core->L, nargs, nresults, 0);
  --core->depth;
  --g_activeCalls;
  if (core->fate == Fate::Owned) return Fate::Owned;

  // The host let go of this state while it ran: nobody will call update()
  // on it any more, so its error is reported here, and the outermost call
  // closes it.
  Fate fate = core->fate;
  if (rc != 0) reportTop(core->L);
  if (core->depth == 0) {
    auto& cores = graveyard();
    cores.erase(std::remove_if(cores.begin(), cores.end(),
                               [core](const std::unique_ptr<Core>& c) { return c.get() == core; }),
                cores.end());
  }
  return fate;
}

int Lua::pushArgs() {
  lua_State* L = core_->L;
  const size_t nums = numArgs_.size(), strs = strArgs_.size();
  const size_t total = nums + strs;
  if (total == 0) return 0;
  if (total > static_cast<size_t>(LUAI_MAXCSTACK) || !lua_checkstack(L, static_cast<int>(total) + 1)) {
    Log::fail("Lua.call: Za duzo argumentow (%zu)\n", total);
    numArgs_.clear();
    strArgs_.clear();
    return -1;
  }
  size_t n = 0, s = 0;
  while (n < nums || s < strs) {
    if (s == strs || (n < nums && numArgs_[n].seq < strArgs_[s].seq)) {
      lua_pushnumber(L, numArgs_[n++].value);
    } else {
      const StrArg& arg = strArgs_[s++];
      if (arg.isNull)
        lua_pushnil(L);
      else
        lua_pushlstring(L, arg.text.data(), arg.text.size());
    }
  }
  numArgs_.clear();
  strArgs_.clear();
  return static_cast<int>(total);
}

bool Lua::openFile(const char* path) {
  if (!path) {
    Log::fail("Lua.openFile: Brak nazwy pliku");
    return false;
  }
  if (!core_) return false;
  update();
  const int base = lua_gettop(core_->L);
  status_ = luaL_loadfile(core_->L, path);
  if (status_ != 0) {
    update();
    return false;
  }
  int rc = 0;
  if (protectedCall(0, 0, rc) != Fate::Owned) return true;
  finishChunk(rc, base);
  return true;
}

bool Lua::checkSyntax(const std::string& text, const std::string& chunkName, std::string& error) {
  std::unique_ptr<lua_State, void (*)(lua_State*)> L(luaL_newstate(), lua_close);
  if (!L) {
    error = "no memory for a Lua state";
    return false;
  }
  // runString compiles up to the first zero byte: so does the check.
  const std::string chunk = "=" + chunkName;
  if (luaL_loadbuffer(L.get(), text.c_str(), std::strlen(text.c_str()), chunk.c_str()) == 0)
    return true;
  const char* msg = lua_tostring(L.get(), -1);
  error = msg ? msg : "unknown error";
  return false;
}

bool Lua::runString(const char* text) {
  if (!text || !core_) return false;
  update();
  lua_State* L = core_->L;
  const int base = lua_gettop(L);
  status_ = luaL_loadbuffer(L, text, std::strlen(text), "line");
  if (status_ != 0) {
    update();
    return false;
  }
  const int nargs = pushArgs();
  if (nargs < 0) {
    lua_settop(L, base);
    return false;
  }
  int rc = 0;
  if (protectedCall(nargs, 0, rc) != Fate::Owned) return true;
  finishChunk(rc, base);
  return true;
}

void Lua::finishChunk(int rc, int base) {
  // A chunk that failed while running is reported at once. Left pending,
  // its error would silently stop the owner's periodic function (which is
  // skipped while an error waits) until some later call printed it.
  if (rc != 0) reportTop(core_->L);
  lua_settop(core_->L, base);
  status_ = 0;
  loaded_ = true;
}

bool Lua::setField(int table, const char* key) {
  lua_State* L = core_->L;
  if (!hasMetatable(L, table)) {
    lua_setfield(L, table, key);
    return true;
  }
  // value is on top: make it (fn, key, value)
  lua_pushcfunction(L, table == LUA_GLOBALSINDEX ? setGlobalProtected : setRegistryProtected);
  lua_insert(L, -2);
  lua_pushstring(L, key);
  lua_insert(L, -2);
  ++g_callSerial;
  int rc = lua_pcall(L, 2, 0, 0);
  if (rc == 0) return true;
  status_ = rc;
  update();
  return false;
}

bool Lua::regFunc(lua_CFunction fn, const char* name) {
  if (!fn || !name) {
    Log::fail("Lua.regFunc: NULL");
    return false;
  }
  if (!core_) return false;
  lua_pushcclosure(core_->L, fn, 0);
  setField(LUA_GLOBALSINDEX, name);
  update();
  return true;
}

Lua::Fate Lua::callChecked(const char* name) {
  lua_State* L = core_->L;
  if (status_ != 0) {
    update();
    return Fate::Owned;
  }
  // Restoring the old top instead of emptying the stack keeps a nested call
  // (from inside an engine function of this state) off its caller's values.
  const int base = lua_gettop(L);
  if (!hasMetatable(L, LUA_GLOBALSINDEX)) {
    lua_getfield(L, LUA_GLOBALSINDEX, name);
  } else {
    lua_pushcfunction(L, getGlobalProtected);
    lua_pushstring(L, name);
    ++g_callSerial;
    if (lua_pcall(L, 1, 1, 0) != 0) {
      reportTop(L);
      lua_settop(L, base);
      return Fate::Owned;
    }
  }
  const int nargs = pushArgs();
  if (nargs < 0) {
    lua_settop(L, base);
    return Fate::Owned;
  }
  int rc = 0;
  Fate fate = protectedCall(nargs, LUA_MULTRET, rc);
  if (fate != Fate::Owned) return fate;
  if (rc != 0) reportTop(L);
  status_ = 0;
  lua_settop(L, base);
  return Fate::Owned;
}

bool Lua::call(const char* name) {
  if (!name || !core_) return false;
  callChecked(name);
  return true;
}

int Lua::callPeriodic(Periodic& clock, float dt, const char* name, const bool* stop) {
  if (!name || !core_ || !loaded_ || status_ != 0 || (stop && *stop)) return 0;
  Fate fate = Fate::Owned;
  int calls = clock.advance(dt, [&] {
    fate = callChecked(name);
    return fate == Fate::Owned && !(stop && *stop);
  });
  return fate == Fate::Destroyed ? kHostGone : calls;
}

bool Lua::addArg(int value) {
  if (!loaded_) return false;
  numArgs_.push_back({static_cast<int32_t>(queuedArgs()), value});
  return true;
}

bool Lua::addArg(const char* text) {
  if (!loaded_) return false;
  strArgs_.push_back({static_cast<int32_t>(queuedArgs()), text ? text : "", text == nullptr});
  return true;
}

void Lua::setReg(const char* key, int value) {
  if (!key || !core_) return;
  lua_pushnumber(core_->L, value);
  setField(LUA_REGISTRYINDEX, key);
}

void Lua::setReg(const char* key, const char* text) {
  if (!key || !core_) return;
  lua_pushstring(core_->L, text);
  setField(LUA_REGISTRYINDEX, key);
}

void Lua::setReg(const char* key, void* ptr) {
  if (!key || !core_) return;
  lua_pushlightuserdata(core_->L, ptr);
  setField(LUA_REGISTRYINDEX, key);
}

namespace {
Lua::ApiInstaller& apiInstaller() {
  static Lua::ApiInstaller fn = nullptr;
  return fn;
}
}  // namespace

void Lua::setApiInstaller(ApiInstaller fn) { apiInstaller() = fn; }

void Lua::installApi() {
  if (apiInstaller()) apiInstaller()(*this);
}
