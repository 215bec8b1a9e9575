// One Lua 5.1 interpreter state and everything the engine does with it:
// loading script text, registering engine functions, calling global script
// functions with queued arguments, keeping host values in the registry and
// reporting script errors on the console.
//
// Owners (the level, every character, every weapon) embed one `Lua` each;
// no state is shared. The usual order is: construct (or `init` to start
// over), `setReg` the host keys and `installApi`, load the
// script with `openFile` or `runString`, then `call` its functions,
// queueing arguments with `addArg` just before.
//
// The interpreter state itself is made when something first needs it (a
// chunk, a call, `L()`): registry keys and functions set before that are
// kept in order and put in then. A character or weapon without a script
// never pays for a state of its own.
//
// Errors. A failed load, chunk or call leaves its message on the stack and
// `status()` non-zero until `update()` prints it; every operation here does
// that before it returns, so a script error is on the console at once and
// never stops the owner's periodic function (which is skipped only while
// an error is pending).
//
// A state is never closed under a running script: when the owner is
// destroyed or calls `init` while one of this host's calls is on the stack,
// the old state is parked and closed once that call has unwound, and its
// "lvl"/"npc" registry keys are cleared so the rest of the running script
// sees no dangling host objects. This is only a safety net: structural
// changes a script asks for belong in ScriptRequests (script_requests.h).
//
// Limits. Every call into a state (a file or text chunk, a named function,
// whatever it calls in turn) runs under a watchdog: an instruction-count
// hook checks the time, and a call still running after the budget is
// stopped with a Lua error naming the script, the function and the budget.
// A function stopped that way (or by running out of memory) is not called
// again until the state starts over (`init`, or a new host). Each state
// has its own memory cap (an allocator of its own): past it, allocations
// made while a script runs fail with Lua's memory error. Precompiled
// chunks (Lua's binary signature) are refused by every loader, the
// scripts' own `load`, `loadstring`, `loadfile`, `dofile` and `require`
// included, with a FAIL line naming the chunk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <lua5.1/lua.hpp>

class Periodic;

class Lua {
 public:
  // Registry keys set by the owners and read by the script API.
  static constexpr const char* kRegLvl = "lvl";            // light userdata: the Level
  static constexpr const char* kRegNpc = "npc";            // light userdata: the Npc, null in the level
  static constexpr const char* kRegFilename = "filename";  // string: the level's archive path

  // The script API lives above this host: the program's top (or a test)
  // installs the function that registers it, once per process, and every
  // level and character state gets it through `installApi`.
  using ApiInstaller = void (*)(Lua&);
  static void setApiInstaller(ApiInstaller fn);
  // Registers the script API in this state (nothing when none is installed).
  void installApi();

  // callPeriodic's result when the host was destroyed by its own call.
  static constexpr int kHostGone = -1;

  // Process-wide limits, read when a call starts (budget) or a state is
  // created (memory cap). The program sets them from its settings.
  static constexpr int kDefaultBudgetMs = 250;
  static constexpr int kDefaultMemoryMiB = 64;
  static void setBudgetMs(int ms);  // <= 0: the default
  static int budgetMs();
  static void setMemoryCap(size_t bytes);  // 0: the default
  static size_t memoryCap();

  // Compiles a chunk like luaL_loadbuffer, but refuses precompiled ones:
  // then a FAIL line naming `label` is printed, an error message pushed and
  // LUA_ERRSYNTAX returned.
  static int loadChunk(lua_State* L, const char* data, size_t size, const char* chunkName,
                       const char* label);

  Lua();
  ~Lua();
  Lua(const Lua&) = delete;
  Lua& operator=(const Lua&) = delete;
  // Exchanges states, queued arguments and error counts with `other`.
  // Neither may be running (the state's registry keeps pointing at the
  // host objects it was given).
  void swap(Lua& other) noexcept;

  // Starts over with a fresh state and all standard libraries (made when
  // first needed); not loaded, no error pending, no keys or functions set.
  // Queued arguments are kept.
  void init();
  // Prints the pending error, if any, and empties the stack.
  void update();

  // Compiles and runs a script file. False (error printed) when it cannot be
  // read or compiled; an error while running is printed and the result is
  // still true (the functions defined before it stay usable).
  bool openFile(const char* path);
  bool openFile(const std::string& path) { return openFile(path.c_str()); }
  // The same for a text in memory (chunk name "line"); the queued arguments
  // are passed to the chunk. A null text is refused silently.
  // `label` names the text in limit and refusal messages (an archive entry,
  // say); the chunk itself is still named "line".
  bool runString(const char* text, const char* label = nullptr);

  // What this state runs (a script path or a level's name), for the
  // watchdog's messages. Kept by `init`.
  void setName(const std::string& name);
  const std::string& name() const { return name_; }
  // True once `fn` was stopped by the watchdog or the memory cap.
  bool stopped(const char* fn) const { return !stopped_.empty() && fn && stoppedSlow(fn); }
  // Bytes the state holds now.
  size_t memoryUsed() const;
  // Compiles `text` as the loaders do, without running it, in a state of
  // its own. On a syntax error returns false with Lua's message in `error`
  // ("NAME:LINE: message", NAME being `chunkName`).
  static bool checkSyntax(const std::string& text, const std::string& chunkName,
                          std::string& error);

  // The host pointers the registry holds under kRegLvl and kRegNpc, as the
  // script API reads them: null when absent or not a light userdata (after
  // a script stored its own value there, say). Reads by name, or the copy
  // of a state whose registry no script has had (lua.cpp).
  enum class HostKey { Lvl, Npc };
  static void* hostPointer(lua_State* L, HostKey key);
  // The script API wrote a key of the registry of `L` (setGlobalVal...).
  static void registryWritten(lua_State* L);

  // Makes `fn` the global `name`, replacing whatever was there.
  bool regFunc(lua_CFunction fn, const char* name);

  // Calls the global function `name` with the queued arguments; results are
  // dropped. Failures (missing function included) are printed at once. With
  // an error pending nothing is called: the error is printed and the
  // arguments stay queued.
  bool call(const char* name);

  // Queue an argument for the next call or chunk; refused (false) until a
  // script has been loaded. A null text is passed as nil.
  bool addArg(int value);
  bool addArg(const char* text);

  // Registry values for the script API. A null text removes the key.
  void setReg(const char* key, int value);
  void setReg(const char* key, const char* text);
  void setReg(const char* key, void* ptr);
  void setReg(const char* key, std::nullptr_t) { setReg(key, static_cast<void*>(nullptr)); }

  // The fixed 16 ms script clock of an owner: when a script is loaded and no
  // error is pending, adds `dt` seconds to `clock` and calls `name` once per
  // whole step. A null name does nothing. Returns the number of calls, or
  // kHostGone when a call destroyed this host: the caller must then return
  // at once without touching the host or the clock (both are gone).
  // With `stop`, no step is taken while *stop is true, and the steps end
  // as soon as a call makes it true.
  int callPeriodic(Periodic& clock, float dt, const char* name, const bool* stop = nullptr);

  // The state, made now if it was not yet; null when it cannot be made.
  lua_State* L();
  int status() const { return status_; }
  bool loaded() const { return loaded_; }
  // True while a call, chunk or file of this host is running.
  bool running() const;
  size_t queuedArgs() const { return numArgs_.size() + strArgs_.size(); }
  // Errors this host has reported since it was made (load, run and call
  // failures alike); a reload compares the count before and after.
  uint32_t errorsReported() const { return errorsReported_; }
  // Protected calls of all hosts currently on the stack.
  static int activeCalls();
  // Lua states made and not closed yet, in the whole program.
  static size_t openStates();
  // Counts every protected call into script code (metamethods included):
  // a world index compares it to know whether a script may have changed
  // anything since it last looked.
  static uint64_t callSerial();

  // The state with its running guard, allocator and watchdog (lua.cpp).
  struct Core;

 private:
  enum class Fate { Owned, Reset, Destroyed };

  struct NumArg {
    int32_t seq;
    int32_t value;
  };
  struct StrArg {
    int32_t seq;
    std::string text;
    bool isNull;
  };

  // Cores whose owner let go while a call was running, until it unwinds.
  static std::vector<std::unique_ptr<Core>>& graveyard();
  void release(Fate fate);
  // Makes the state if it was not made since the last start (keys and
  // functions set meanwhile go in); false when there is none.
  bool ready();
  // What was set before the state was made, in order; one entry a name.
  struct Setting {
    enum class Kind { Number, Text, Pointer, Function, Api };
    Setting(Kind k, const char* n) : kind(k), name(n) {}
    Kind kind;
    std::string name;
    int number = 0;
    std::string text;
    bool isNull = false;
    void* pointer = nullptr;
    lua_CFunction fn = nullptr;
  };
  // Keeps `s` for when the state is made, replacing an earlier setting of
  // the same name and kind (nothing once making the state has failed).
  void keep(Setting s);
  // A registry setting (number, text or pointer): into the state, or kept.
  void putReg(Setting s);
  // Pushes the queued arguments in the order they were added and empties
  // the queue. -1 (queue dropped, failure printed) when they do not fit.
  int pushArgs();
  // lua_pcall with the running guard. Anything but Fate::Owned means the
  // host let go of the state during the call: `this` must not be touched.
  // `what` names the running function for the limits' messages.
  Fate protectedCall(int nargs, int nresults, int& rc, const char* what);
  // After a failed call: whether a limit stopped it (then the message on
  // top names the limit).
  bool limitHit() const;
  // `key`: the name's registry key (keyRef in lua.cpp), or LUA_NOREF.
  Fate callChecked(const char* name, int key = LUA_NOREF);
  bool stoppedSlow(const char* fn) const;
  bool hasArgs() const { return !numArgs_.empty() || !strArgs_.empty(); }
  // Prints the message on top of the stack and counts it.
  void reportError();
  // After a chunk ran: loaded, and its error (if any) reported.
  void finishChunk(int rc, int base);
  bool setField(int table, const char* key);

  // What every periodic call reads, together.
  std::unique_ptr<Core> core_;
  int32_t status_ = 0;
  bool loaded_ = false;
  std::vector<std::string> stopped_;
  std::vector<Setting> settings_;
  bool made_ = false;  // the state was made (or failed to be) since the last start
  std::vector<NumArg> numArgs_;
  std::vector<StrArg> strArgs_;
  uint32_t errorsReported_ = 0;
  std::string name_;
};
