#include "script/lua.h"

#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/log.h"
#include "script/periodic.h"

// The state and its running guard. A Core whose owner let go while a call
// was on the stack lives on in the graveyard until that call unwinds.
//
// The Core is also the state's allocator context and the watchdog's: the
// allocator counts the state's bytes and refuses growth past the cap while
// script code may run (`guarded`); the count hook measures the outermost
// guarded call.
namespace {
size_t g_openStates = 0;  // lua_State objects not closed yet
}  // namespace

// Its first cache line holds what every call reads and writes (a hundred
// characters' states are called one after the other each frame); the rest
// only when a state calls another periodic function than last time, and by
// the script API.
struct alignas(64) Lua::Core {
  lua_State* L = nullptr;
  int depth = 0;  // protected calls of this state in flight
  Fate fate = Fate::Owned;
  int guarded = 0;           // guarded calls in flight: the limits apply
  int budgetMs = 0;
  bool capHit = false;       // an allocation was refused in this call
  bool tripped = false;      // the watchdog stopped this call
  bool fastHook = false;     // the hook runs every instruction (tripped)

  // While no script has held the registry table (debug.getregistry hands
  // it out), only the engine writes it: this host (setReg, forgetHost) and
  // the API's setGlobalVal/setGlobalStr, which all mark `hostKnown` false.
  // Until then the host pointers are read once after each such write and
  // kept here, and the names of periodic functions are kept as interned
  // strings under integer keys of the registry (`keys`), so that a call
  // looks its function up without hashing the name again. Once a script has
  // the registry, every read goes to the registry by name, as a script may
  // change any key at any time.
  bool registryShared = false;
  bool hostKnown = false;
  uint8_t keyCount = 0;
  uint64_t startMs = 0;      // first hook of the call; 0 before it
  const char* fn = "";       // the outermost guarded function
  // A name's key: its registry index and the interned text (which the
  // registry keeps alive). `hot` is the last one used.
  struct Key {
    const char* text = nullptr;
    int ref = LUA_NOREF;
  };
  Key hot;
  static constexpr size_t kMaxKeys = 4;
  Key keys[kMaxKeys];
  void* lvl = nullptr;       // what the registry holds under kRegLvl / kRegNpc
  void* npc = nullptr;

  std::string name;          // what the state runs, for the limits' messages
  size_t used = 0;           // bytes held by the state
  size_t cap = 0;            // memory cap
  size_t afterGc = 0;        // bytes held after the hook's last collection

  Core() = default;
  Core(const Core&) = delete;
  Core& operator=(const Core&) = delete;
  ~Core() {
    if (!L) return;
    // Finalizers run by lua_close must not reach the host objects, which
    // may already be half torn down.
    forgetHost();
    lua_close(L);
    --g_openStates;
  }

  void forgetHost() {
    hostKnown = false;
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
int g_budgetMs = Lua::kDefaultBudgetMs;
size_t g_memoryCap = static_cast<size_t>(Lua::kDefaultMemoryMiB) << 20;

// Lua instructions between two looks at the clock.
constexpr int kHookCount = 1000;

uint64_t nowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  // Never 0, which means "not started".
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u + 1u;
}

Lua::Core* coreOf(lua_State* L);

// The state's allocator. Shrinking and freeing always succeed (Lua relies
// on it); growth past the cap fails only inside guarded calls, where Lua
// turns it into a catchable memory error. Outside them the engine itself
// pushes values unprotected, and a failure there would abort the process.
void* limitedAlloc(void* ud, void* ptr, size_t osize, size_t nsize) {
  auto* core = static_cast<Lua::Core*>(ud);
  if (nsize == 0) {
    std::free(ptr);
    core->used -= osize;
    return nullptr;
  }
  if (nsize > osize && core->guarded > 0 && (nsize - osize > core->cap || core->used + (nsize - osize) > core->cap)) {
    core->capHit = true;
    return nullptr;
  }
  void* p = std::realloc(ptr, nsize);
  if (!p) return nullptr;
  core->used = core->used - osize + nsize;
  return p;
}

void stopCall(lua_State* L, Lua::Core* core);

void pushTimeout(lua_State* L, const Lua::Core* core) {
  lua_pushfstring(L, "Skrypt %s, funkcja %s: przekroczony limit czasu (%d ms)", core->name.c_str(),
                  core->fn, core->budgetMs);
}

// Runs every kHookCount instructions of every thread of the state.
void watchdogHook(lua_State* L, lua_Debug*) {
  Lua::Core* core = coreOf(L);
  if (!core || core->guarded == 0) return;
  if (!core->tripped) {
    // Lua 5.1 collects only when the heap has doubled since the last
    // cycle: near the cap, collect now rather than fail on garbage.
    if (core->used > core->cap - core->cap / 4 && core->used - core->afterGc > core->cap / 8) {
      lua_gc(L, LUA_GCCOLLECT, 0);
      core->afterGc = core->used;
    }
    const uint64_t now = nowMs();
    if (core->startMs == 0) core->startMs = now;
    if (now - core->startMs < static_cast<uint64_t>(core->budgetMs)) return;
    core->tripped = true;
  }
  stopCall(L, core);
}

void reportTop(lua_State* L) {
  if (const char* msg = lua_tostring(L, -1)) Log::fail("Lua.update: Error: %s\n", msg);
}

int openLibs(lua_State* L) {
  luaL_openlibs(L);
  return 0;
}

// The Core of a state this host created; null for any other state.
Lua::Core* coreOf(lua_State* L) {
  void* ud = nullptr;
  if (lua_getallocf(L, &ud) != limitedAlloc) return nullptr;
  return static_cast<Lua::Core*>(ud);
}

// Once tripped, every instruction of the call raises again, so a script
// that catches the error with pcall cannot go on: the first instruction
// outside its pcall raises once more.
void stopCall(lua_State* L, Lua::Core* core) {
  if (!core->fastHook) {
    core->fastHook = true;
    lua_sethook(core->L, watchdogHook, LUA_MASKCOUNT, 1);
    if (L != core->L) lua_sethook(L, watchdogHook, LUA_MASKCOUNT, 1);
  }
  pushTimeout(L, core);
  lua_error(L);
}

// Marks the calls below as script code: the limits apply. The outermost
// one starts the watchdog's clock. A null core (a state this host did not
// make) guards nothing.
class Guard {
 public:
  Guard(Lua::Core* core, const char* fn) : core_(core) {
    if (!core_ || core_->guarded++ > 0) return;
    core_->fn = fn ? fn : "";
    core_->startMs = 0;
    core_->budgetMs = Lua::budgetMs();
    core_->tripped = false;
    core_->capHit = false;
    if (core_->fastHook) {
      core_->fastHook = false;
      lua_sethook(core_->L, watchdogHook, LUA_MASKCOUNT, kHookCount);
    }
  }
  ~Guard() {
    if (core_) --core_->guarded;
  }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;

 private:
  Lua::Core* core_;
};

// lua_pcall as script code: counted for callSerial and under the limits.
inline int guardedPcall(Lua::Core* core, int nargs, int nresults, const char* what) {
  ++g_callSerial;
  Guard guard(core, what);
  return lua_pcall(core->L, nargs, nresults, 0);
}

// After an outermost call failed: when a limit stopped it, the message on
// top names the limit, whatever the script made of the original error.
void nameLimit(Lua::Core* core) {
  lua_State* L = core->L;
  if (core->tripped) {
    lua_pop(L, 1);
    pushTimeout(L, core);
  } else if (core->capHit) {
    lua_pop(L, 1);
    // What the script left behind goes now, not at the next cycle.
    lua_gc(L, LUA_GCCOLLECT, 0);
    core->afterGc = core->used;
    lua_pushfstring(L, "Skrypt %s, funkcja %s: przekroczony limit pamieci (%d MiB)", core->name.c_str(),
                    core->fn, static_cast<int>(core->cap >> 20));
  }
}

bool startsBinary(const char* data, size_t size) { return size > 0 && data[0] == LUA_SIGNATURE[0]; }

// The refusal of a precompiled chunk: a FAIL line, and the same text as the
// load's error message.
// The message is interned at start-up (kept in the registry), so pushing
// it allocates nothing and cannot raise.
const char kRefusedMsg[] = "Odrzucono skompilowany kod Lua";

int refuseBinary(lua_State* L, const char* label) {
  Log::fail("Lua.load: Odrzucono skompilowany kod Lua: %s", label);
  lua_pushstring(L, kRefusedMsg);
  return LUA_ERRSYNTAX;
}

int loadText(lua_State* L, const char* data, size_t size, const char* chunkName, const char* label,
             bool* refused) {
  if (!label) label = chunkName ? chunkName : "?";
  if (startsBinary(data, size)) {
    if (refused) *refused = true;
    return refuseBinary(L, label);
  }
  Guard guard(coreOf(L), label);  // compiling raises nothing: the memory cap applies
  return luaL_loadbuffer(L, data, size, chunkName);
}

struct FileReader {
  FILE* f;
  bool extraLine;
  char buf[LUAL_BUFFERSIZE];
};

const char* readFilePiece(lua_State*, void* ud, size_t* size) {
  auto* r = static_cast<FileReader*>(ud);
  if (r->extraLine) {
    r->extraLine = false;
    *size = 1;
    return "\n";
  }
  if (std::feof(r->f)) return nullptr;
  *size = std::fread(r->buf, 1, sizeof r->buf, r->f);
  return *size > 0 ? r->buf : nullptr;
}

int fileError(lua_State* L, const char* what, int nameIndex, int err) {
  lua_pushfstring(L, "cannot %s %s: %s", what, lua_tostring(L, nameIndex) + 1, std::strerror(err));
  lua_remove(L, nameIndex);
  return LUA_ERRFILE;
}

// luaL_loadfile without precompiled chunks: the same chunk name ("@path"),
// the same messages, a first line starting with '#' skipped.
int loadFile(lua_State* L, const char* path, bool* refused) {
  lua_pushfstring(L, "@%s", path);
  const int nameIndex = lua_gettop(L);
  FileReader r;
  r.extraLine = false;
  r.f = std::fopen(path, "r");
  if (!r.f) return fileError(L, "open", nameIndex, errno);
  int c = std::getc(r.f);
  if (c == '#') {
    r.extraLine = true;
    while ((c = std::getc(r.f)) != EOF && c != '\n') {
    }
    if (c == '\n') c = std::getc(r.f);
  }
  if (c == LUA_SIGNATURE[0]) {
    std::fclose(r.f);
    lua_settop(L, nameIndex - 1);
    if (refused) *refused = true;
    return refuseBinary(L, path);
  }
  std::ungetc(c, r.f);
  int rc;
  {
    Guard guard(coreOf(L), path);
    rc = lua_load(L, readFilePiece, &r, lua_tostring(L, nameIndex));
  }
  const bool readFailed = std::ferror(r.f) != 0;
  const int err = errno;
  std::fclose(r.f);
  if (readFailed) {
    lua_settop(L, nameIndex);
    return fileError(L, "read", nameIndex, err);
  }
  lua_remove(L, nameIndex);
  return rc;
}

// --- the standard loaders, without precompiled chunks ----------------------
// Each returns like its standard namesake: the function, or nil and a
// message.

int loadResult(lua_State* L, int rc) {
  if (rc == 0) return 1;
  lua_pushnil(L);
  lua_insert(L, -2);
  return 2;
}

int safeLoadstring(lua_State* L) {
  size_t size = 0;
  const char* text = luaL_checklstring(L, 1, &size);
  const char* chunkName = luaL_optstring(L, 2, text);
  return loadResult(L, loadText(L, text, size, chunkName, chunkName, nullptr));
}

int safeLoad(lua_State* L) {
  // The pieces are gathered into one string first, then checked.
  luaL_checktype(L, 1, LUA_TFUNCTION);
  const char* chunkName = luaL_optstring(L, 2, "=(load)");
  lua_settop(L, 2);
  luaL_Buffer b;
  luaL_buffinit(L, &b);
  for (;;) {
    lua_pushvalue(L, 1);
    lua_call(L, 0, 1);
    if (lua_isnil(L, -1)) {
      lua_pop(L, 1);
      break;
    }
    if (!lua_isstring(L, -1)) return luaL_error(L, "reader function must return a string");
    luaL_addvalue(&b);
  }
  luaL_pushresult(&b);
  size_t size = 0;
  const char* text = lua_tolstring(L, -1, &size);
  return loadResult(L, loadText(L, text, size, chunkName, chunkName, nullptr));
}

int safeLoadfile(lua_State* L) { return loadResult(L, loadFile(L, luaL_checkstring(L, 1), nullptr)); }

int safeDofile(lua_State* L) {
  const char* path = luaL_checkstring(L, 1);
  const int n = lua_gettop(L);
  if (loadFile(L, path, nullptr) != 0) return lua_error(L);
  lua_call(L, 0, LUA_MULTRET);
  return lua_gettop(L) - n;
}

// package.loaders[2]: looks for the module along package.path (the package
// table is the upvalue) like the standard searcher, then loads the file
// without precompiled chunks.
int safeLuaSearcher(lua_State* L) {
  const char* name = luaL_checkstring(L, 1);
  name = luaL_gsub(L, name, ".", LUA_DIRSEP);
  lua_getfield(L, lua_upvalueindex(1), "path");
  const char* path = lua_tostring(L, -1);
  if (!path) return luaL_error(L, "'package.path' must be a string");
  lua_pushliteral(L, "");  // the "no file" list
  for (;;) {
    while (*path == *LUA_PATHSEP) ++path;
    if (*path == '\0') return 1;  // not found: the list is the answer
    const char* end = std::strchr(path, *LUA_PATHSEP);
    if (!end) end = path + std::strlen(path);
    lua_pushlstring(L, path, static_cast<size_t>(end - path));
    path = end;
    const char* file = luaL_gsub(L, lua_tostring(L, -1), LUA_PATH_MARK, name);
    lua_remove(L, -2);
    if (FILE* f = std::fopen(file, "r")) {
      std::fclose(f);
      if (loadFile(L, file, nullptr) != 0)
        return luaL_error(L, "error loading module '%s' from file '%s':\n\t%s", lua_tostring(L, 1), file,
                          lua_tostring(L, -1));
      return 1;
    }
    lua_pushfstring(L, "\n\tno file '%s'", file);
    lua_remove(L, -2);
    lua_concat(L, 2);
  }
}

// An error raised by the watchdog comes out of its hook, where Lua runs
// the error handler of an xpcall with hooks off: a handler that loops would
// never be stopped. Once the call is stopped, handlers are skipped.
int guardedHandler(lua_State* L) {
  Lua::Core* core = coreOf(L);
  if (core && core->tripped) return 1;  // the message as it is
  lua_pushvalue(L, lua_upvalueindex(1));
  lua_insert(L, 1);
  lua_call(L, lua_gettop(L) - 1, 1);
  return 1;
}

int safeXpcall(lua_State* L) {
  luaL_checkany(L, 2);
  lua_settop(L, 2);
  lua_pushcclosure(L, guardedHandler, 1);
  lua_insert(L, 1);
  const int status = lua_pcall(L, 0, LUA_MULTRET, 1);
  lua_pushboolean(L, status == 0);
  lua_replace(L, 1);
  return lua_gettop(L);
}

// Scripts keep the debug library, but not the hook: it is the watchdog's.
int keepHook(lua_State*) { return 0; }

// debug.getregistry as the standard one; from then on this state's host
// reads the registry by name on every access (Core::registryShared).
int shareRegistry(lua_State* L) {
  if (Lua::Core* core = coreOf(L)) {
    core->registryShared = true;
    core->hostKnown = false;
  }
  lua_pushvalue(L, LUA_REGISTRYINDEX);
  return 1;
}

// Replaces the standard loaders; run protected at start-up.
int installSafeLoaders(lua_State* L) {
  lua_pushstring(L, kRefusedMsg);
  lua_setfield(L, LUA_REGISTRYINDEX, kRefusedMsg);
  lua_register(L, "loadstring", safeLoadstring);
  lua_register(L, "load", safeLoad);
  lua_register(L, "loadfile", safeLoadfile);
  lua_register(L, "dofile", safeDofile);
  lua_register(L, "xpcall", safeXpcall);
  lua_getglobal(L, "debug");
  if (lua_istable(L, -1)) {
    lua_pushcfunction(L, keepHook);
    lua_setfield(L, -2, "sethook");
    lua_pushcfunction(L, shareRegistry);
    lua_setfield(L, -2, "getregistry");
  }
  lua_pop(L, 1);
  // Userdata finalizers would run script code at any allocation, outside
  // every guarded call.
  lua_pushnil(L);
  lua_setglobal(L, "newproxy");
  lua_getglobal(L, "package");
  if (lua_istable(L, -1)) {
    lua_getfield(L, -1, "loaders");
    if (lua_istable(L, -1)) {
      lua_pushvalue(L, -2);
      lua_pushcclosure(L, safeLuaSearcher, 1);
      lua_rawseti(L, -2, 2);
    }
  }
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

size_t Lua::openStates() { return g_openStates; }

std::vector<std::unique_ptr<Lua::Core>>& Lua::graveyard() {
  static std::vector<std::unique_ptr<Core>> cores;
  return cores;
}

Lua::Lua() = default;

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
  stopped_.clear();
  settings_.clear();
  made_ = false;
}

bool Lua::ready() {
  if (core_) return true;
  if (made_) return false;  // making it failed, and said so
  made_ = true;
  auto core = std::make_unique<Core>();
  core->name = name_;
  core->cap = g_memoryCap;
  core->L = lua_newstate(limitedAlloc, core.get());
  if (core->L) ++g_openStates;
  if (!core->L || lua_cpcall(core->L, openLibs, nullptr) != 0 ||
      lua_cpcall(core->L, installSafeLoaders, nullptr) != 0) {
    Log::fail("Lua.Lua: Nie udalo sie uruchomic lua");
    return false;
  }
  lua_sethook(core->L, watchdogHook, LUA_MASKCOUNT, kHookCount);
  core_ = std::move(core);
  // What the owner set meanwhile goes in, in the order it was set.
  const std::vector<Setting> settings = std::move(settings_);
  settings_.clear();
  for (const Setting& s : settings) {
    switch (s.kind) {
      case Setting::Kind::Function: regFunc(s.fn, s.name.c_str()); break;
      case Setting::Kind::Api: installApi(); break;
      default: putReg(s); break;
    }
  }
  return true;
}

void Lua::keep(Setting s) {
  if (made_) return;  // the state could not be made: nothing to keep for
  // Registry keys and globals are separate names; the API is one setting.
  auto space = [](const Setting& k) {
    return k.kind == Setting::Kind::Api ? 0 : k.kind == Setting::Kind::Function ? 1 : 2;
  };
  auto same = [&](const Setting& k) { return space(k) == space(s) && k.name == s.name; };
  auto it = std::find_if(settings_.begin(), settings_.end(), same);
  if (it != settings_.end()) settings_.erase(it);
  settings_.push_back(std::move(s));
}

void Lua::setBudgetMs(int ms) { g_budgetMs = ms > 0 ? ms : kDefaultBudgetMs; }
int Lua::budgetMs() { return g_budgetMs; }
void Lua::setMemoryCap(size_t bytes) {
  g_memoryCap = bytes > 0 ? bytes : static_cast<size_t>(kDefaultMemoryMiB) << 20;
}
size_t Lua::memoryCap() { return g_memoryCap; }

size_t Lua::memoryUsed() const { return core_ ? core_->used : 0; }

void Lua::setName(const std::string& name) {
  name_ = name;
  if (core_) core_->name = name;
}

bool Lua::stoppedSlow(const char* fn) const {
  return std::find(stopped_.begin(), stopped_.end(), fn) != stopped_.end();
}

namespace {

void* readHostPointer(lua_State* L, const char* key) {
  lua_getfield(L, LUA_REGISTRYINDEX, key);
  void* p = lua_islightuserdata(L, -1) ? lua_touserdata(L, -1) : nullptr;
  lua_pop(L, 1);
  return p;
}

// The registry key of the function name `name`, made on first use; LUA_NOREF
// when the registry is the scripts' too or the state has enough of them.
int keyRef(Lua::Core* core, const char* name) {
  if (core->registryShared) return LUA_NOREF;
  if (core->hot.text && std::strcmp(core->hot.text, name) == 0) return core->hot.ref;
  for (int i = 0; i < core->keyCount; ++i) {
    if (std::strcmp(core->keys[i].text, name) == 0) {
      core->hot = core->keys[i];
      return core->hot.ref;
    }
  }
  if (core->keyCount == Lua::Core::kMaxKeys) return LUA_NOREF;
  lua_State* L = core->L;
  lua_pushstring(L, name);
  const char* text = lua_tostring(L, -1);
  const int ref = luaL_ref(L, LUA_REGISTRYINDEX);
  core->hot = core->keys[core->keyCount++] = {text, ref};
  return ref;
}

// hostPointer's way when the copy is not known to be right.
__attribute__((noinline)) void* readHostPointers(lua_State* L, Lua::Core* core,
                                                 Lua::HostKey key) {
  const bool lvl = key == Lua::HostKey::Lvl;
  if (!core || core->registryShared) return readHostPointer(L, lvl ? Lua::kRegLvl : Lua::kRegNpc);
  // Nobody but the engine has had the registry: no metatable, nothing runs.
  core->lvl = readHostPointer(L, Lua::kRegLvl);
  core->npc = readHostPointer(L, Lua::kRegNpc);
  core->hostKnown = true;
  return lvl ? core->lvl : core->npc;
}

}  // namespace

void* Lua::hostPointer(lua_State* L, HostKey key) {
  // hostKnown is never set once a script has had the registry.
  Core* core = coreOf(L);
  if (core && core->hostKnown) return key == HostKey::Lvl ? core->lvl : core->npc;
  return readHostPointers(L, core, key);
}

void Lua::registryWritten(lua_State* L) {
  if (Core* core = coreOf(L)) core->hostKnown = false;
}

bool Lua::limitHit() const { return core_ && (core_->tripped || core_->capHit); }

int Lua::loadChunk(lua_State* L, const char* data, size_t size, const char* chunkName,
                   const char* label) {
  return loadText(L, data, size, chunkName, label, nullptr);
}

lua_State* Lua::L() { return ready() ? core_->L : nullptr; }

bool Lua::running() const { return core_ && core_->depth > 0; }

int Lua::activeCalls() { return g_activeCalls; }

uint64_t Lua::callSerial() { return g_callSerial; }

void Lua::swap(Lua& other) noexcept {
  core_.swap(other.core_);
  settings_.swap(other.settings_);
  std::swap(made_, other.made_);
  std::swap(status_, other.status_);
  std::swap(loaded_, other.loaded_);
  std::swap(errorsReported_, other.errorsReported_);
  numArgs_.swap(other.numArgs_);
  strArgs_.swap(other.strArgs_);
  name_.swap(other.name_);
  stopped_.swap(other.stopped_);
}

void Lua::update() {
  if (status_ == 0 || !core_) return;
  reportError();
  lua_settop(core_->L, 0);
  status_ = 0;
}

void Lua::reportError() {
  ++errorsReported_;
  reportTop(core_->L);
}

inline Lua::Fate Lua::protectedCall(int nargs, int nresults, int& rc, const char* what) {
  Core* core = core_.get();
  ++core->depth;
  ++g_activeCalls;
  rc = guardedPcall(core, nargs, nresults, what);
  --core->depth;
  --g_activeCalls;
  if (rc != 0 && core->guarded == 0) nameLimit(core);
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
  if (!ready()) return false;
  update();
  const int base = lua_gettop(core_->L);
  bool refused = false;
  status_ = loadFile(core_->L, path, &refused);
  if (status_ != 0) {
    if (refused) lua_pop(core_->L, 1), status_ = 0;  // its line is printed
    update();
    return false;
  }
  int rc = 0;
  if (protectedCall(0, 0, rc, path) != Fate::Owned) return true;
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
  // Precompiled chunks are refused before anything reads them.
  if (startsBinary(text.data(), text.size())) {
    error = std::string(kRefusedMsg) + ": " + chunkName;
    return false;
  }
  const std::string chunk = "=" + chunkName;
  if (luaL_loadbuffer(L.get(), text.c_str(), std::strlen(text.c_str()), chunk.c_str()) == 0)
    return true;
  const char* msg = lua_tostring(L.get(), -1);
  error = msg ? msg : "unknown error";
  return false;
}

bool Lua::runString(const char* text, const char* label) {
  if (!text || !ready()) return false;
  update();
  lua_State* L = core_->L;
  const int base = lua_gettop(L);
  if (!label) label = "line";
  bool refused = false;
  status_ = loadText(L, text, std::strlen(text), "line", label, &refused);
  if (status_ != 0) {
    if (refused) lua_settop(L, base), status_ = 0;  // its line is printed
    update();
    return false;
  }
  const int nargs = pushArgs();
  if (nargs < 0) {
    lua_settop(L, base);
    return false;
  }
  int rc = 0;
  if (protectedCall(nargs, 0, rc, label) != Fate::Owned) return true;
  finishChunk(rc, base);
  return true;
}

void Lua::finishChunk(int rc, int base) {
  // A chunk that failed while running is reported at once. Left pending,
  // its error would silently stop the owner's periodic function (which is
  // skipped while an error waits) until some later call printed it.
  if (rc != 0) reportError();
  lua_settop(core_->L, base);
  status_ = 0;
  loaded_ = true;
}

bool Lua::setField(int table, const char* key) {
  lua_State* L = core_->L;
  if (!hasMetatable(L, table)) {
    lua_setfield(L, table, key);
    if (table == LUA_REGISTRYINDEX) core_->hostKnown = false;
    return true;
  }
  // value is on top: make it (fn, key, value)
  lua_pushcfunction(L, table == LUA_GLOBALSINDEX ? setGlobalProtected : setRegistryProtected);
  lua_insert(L, -2);
  lua_pushstring(L, key);
  lua_insert(L, -2);
  const int rc = guardedPcall(core_.get(), 2, 0, key);
  core_->hostKnown = false;
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
  if (!core_) {
    if (made_) return false;
    Setting s(Setting::Kind::Function, name);
    s.fn = fn;
    keep(std::move(s));
    return true;
  }
  lua_pushcclosure(core_->L, fn, 0);
  setField(LUA_GLOBALSINDEX, name);
  update();
  return true;
}

Lua::Fate Lua::callChecked(const char* name, int key) {
  lua_State* L = core_->L;
  if (status_ != 0) {
    update();
    return Fate::Owned;
  }
  if (stopped(name)) return Fate::Owned;
  // Restoring the old top instead of emptying the stack keeps a nested call
  // (from inside an engine function of this state) off its caller's values.
  const int base = lua_gettop(L);
  // A global that is there is what any lookup gives; only a missing one
  // may go through a metatable of the globals (whose __index may raise).
  if (key != LUA_NOREF && !core_->registryShared)
    lua_rawgeti(L, LUA_REGISTRYINDEX, key);
  else
    lua_pushstring(L, name);
  lua_rawget(L, LUA_GLOBALSINDEX);
  if (lua_isnil(L, -1) && hasMetatable(L, LUA_GLOBALSINDEX)) {
    lua_pop(L, 1);
    lua_pushcfunction(L, getGlobalProtected);
    lua_pushstring(L, name);
    if (guardedPcall(core_.get(), 1, 1, name) != 0) {
      reportError();
      lua_settop(L, base);
      return Fate::Owned;
    }
  }
  const int nargs = hasArgs() ? pushArgs() : 0;
  if (nargs < 0) {
    lua_settop(L, base);
    return Fate::Owned;
  }
  int rc = 0;
  Fate fate = protectedCall(nargs, LUA_MULTRET, rc, name);
  if (fate != Fate::Owned) return fate;
  if (rc != 0) {
    reportError();
    // A function stopped by a limit would only be stopped again.
    if (limitHit()) stopped_.emplace_back(name);
  }
  status_ = 0;
  lua_settop(L, base);
  return Fate::Owned;
}

bool Lua::call(const char* name) {
  if (!name || !ready()) return false;
  callChecked(name);
  return true;
}

int Lua::callPeriodic(Periodic& clock, float dt, const char* name, const bool* stop) {
  if (!name || !core_ || !loaded_ || status_ != 0 || (stop && *stop) || stopped(name)) return 0;
  // The name's registry key stays valid while the state does: calls made
  // here end the loop as soon as they let go of it.
  const int key = keyRef(core_.get(), name);
  Fate fate = Fate::Owned;
  int calls = clock.advance(dt, [&] {
    fate = callChecked(name, key);
    return fate == Fate::Owned && !(stop && *stop) && !stopped(name);
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
  if (!key) return;
  Setting s(Setting::Kind::Number, key);
  s.number = value;
  putReg(std::move(s));
}

void Lua::setReg(const char* key, const char* text) {
  if (!key) return;
  Setting s(Setting::Kind::Text, key);
  s.text = text ? text : "";
  s.isNull = text == nullptr;
  putReg(std::move(s));
}

void Lua::setReg(const char* key, void* ptr) {
  if (!key) return;
  Setting s(Setting::Kind::Pointer, key);
  s.pointer = ptr;
  putReg(std::move(s));
}

void Lua::putReg(Setting s) {
  if (!core_) return keep(std::move(s));
  lua_State* L = core_->L;
  switch (s.kind) {
    case Setting::Kind::Number: lua_pushnumber(L, s.number); break;
    case Setting::Kind::Text:
      if (s.isNull)
        lua_pushnil(L);
      else
        lua_pushstring(L, s.text.c_str());
      break;
    case Setting::Kind::Pointer: lua_pushlightuserdata(L, s.pointer); break;
    default: return;
  }
  setField(LUA_REGISTRYINDEX, s.name.c_str());
}

namespace {
Lua::ApiInstaller& apiInstaller() {
  static Lua::ApiInstaller fn = nullptr;
  return fn;
}
}  // namespace

void Lua::setApiInstaller(ApiInstaller fn) { apiInstaller() = fn; }

void Lua::installApi() {
  if (!apiInstaller()) return;
  if (!core_) return keep(Setting(Setting::Kind::Api, ""));
  apiInstaller()(*this);
}
