// Level files: the input, packed beside a block file "a.bin" and a script "s", loaded into a
// fresh level (in a private folder) and unloaded. Script and call lines are pointed at "s" and
// its one function, so no input ever runs as Lua.
#include <cstdlib>
#include <string>

#include "api/lua_funcs.h"
#include "base/log.h"
#include "fuzz/fuzz_util.h"
#include "resources/resfile_writer.h"
#include "world/frame.h"
#include "world/level.h"

// Level and character states get the script API, as in the game.
static const bool kApiInstalled = (LuaFuncs::install(), true);

namespace {

bool isSep(char c) { return c == ' ' || c == '\t'; }
bool isEol(char c) { return c == '\r' || c == '\n'; }

// The first word of every line decides what runs; "script" and "call"
// lines keep their command but lose their arguments to harmless ones.
std::string defuse(const std::string& in) {
  std::string out;
  out.reserve(in.size());
  size_t i = 0;
  while (i < in.size()) {
    size_t end = i;
    while (end < in.size() && !isEol(in[end])) ++end;
    size_t w = i;
    while (w < end && isSep(in[w])) ++w;
    size_t we = w;
    while (we < end && !isSep(in[we])) ++we;
    const std::string word = in.substr(w, we - w);
    if (word == "script")
      out += "script x.crs:s";
    else if (word == "call")
      out += "call f";
    else
      out.append(in, i, end - i);
    while (end < in.size() && isEol(in[end])) out += in[end++];
    i = end;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string dir = fuzz::enterScratchDir("level");
  static const std::string archive = dir + "/x.crs";
  static const std::string blocks = [] {
    std::string b(Frame::kCells, '\0');
    for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<char>(i % 7 == 0 ? i % 5 : 0);
    return b;
  }();

  const std::string text = defuse(fuzz::text(data, size));
  ResfileWriter w;
  if (!w.add("lvl.txt", text) || !w.add("a.bin", blocks) ||
      !w.add("s", "function f() calls = (calls or 0) + 1 end") || !w.write(archive))
    return 0;

  Log::Capture quiet;  // sprites cannot load without a window
  Level lvl;
  const bool ok = lvl.load(archive + ":lvl");
  if (ok && (lvl.frames.empty() || lvl.frameMap.empty())) std::abort();
  for (const auto& f : lvl.frames)
    if (f->hasCells() && f->cells.size() != static_cast<size_t>(Frame::kCells)) std::abort();
  lvl.unload();
  if (!lvl.frames.empty() || !lvl.objs.empty() || !lvl.frameMap.empty() || lvl.width != 0 ||
      lvl.height != 0)
    std::abort();
  return 0;
}
