// Level files with their block files: the input, packed beside a block file "a.bin" and a script
// "s", loaded into a fresh level (in a private folder), probed for blocks and unloaded. What
// follows a "--blocks--" line is the block file (of any size); without one it is a fixed pattern.
// Script and call lines are pointed at "s" and its one function, so no input ever runs as Lua.
#include <algorithm>

#include "api/lua_funcs.h"
#include "fuzz/fuzz_util.h"
#include "resources/resfile_writer.h"
#include "world/frame.h"
#include "world/level.h"

// Level and character states get the script API, as in the game.
static const bool kApiInstalled = (LuaFuncs::install(), true);

// The first word of every line decides what runs; "script" and "call"
// lines keep their command but lose their arguments to harmless ones.
static std::string defuse(const std::string& in) {
  std::string out;
  for (size_t i = 0; i < in.size();) {
    const size_t end = std::min(in.find_first_of("\r\n", i), in.size());
    const size_t w = std::min(in.find_first_not_of(" \t", i), end);
    const std::string word = in.substr(w, std::min(in.find_first_of(" \t", w), end) - w);
    out += word == "script" ? "script x.crs:s" : word == "call" ? "call f" : in.substr(i, end - i);
    i = std::min(in.find_first_not_of("\r\n", end), in.size());
    out.append(in, end, i - end);
  }
  return out;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string dir = fuzz::enterScratchDir("level");
  static const std::string archive = dir + "/x.crs";
  static const std::string blocks = [] {
    std::string b(Frame::kCells, '\0');
    for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<char>(i % 7 == 0 ? i % 5 : 0);
    return b;
  }();

  std::string text = fuzz::text(data, size);
  static const std::string kMark = "--blocks--\n";
  const size_t mark = text.find(kMark);
  const std::string cells = mark == std::string::npos ? blocks : text.substr(mark + kMark.size());
  if (mark != std::string::npos) text.resize(mark);
  // Stored, not deflated: packing is not what is under test here.
  constexpr auto kStored = ResfileWriter::Compression::Never;
  ResfileWriter w;
  if (!w.add("lvl.txt", defuse(text), kStored) || !w.add("a.bin", cells, kStored) ||
      !w.add("s", "function f() calls = (calls or 0) + 1 end", kStored) || !w.write(archive))
    return 0;

  Log::Capture quiet;  // sprites cannot load without a window
  Level lvl;
  const bool ok = lvl.load(archive + ":lvl");
  if (ok && (lvl.frames.empty() || lvl.frameMap.empty())) std::abort();
  for (const auto& f : lvl.frames) {
    if (f->hasCells() && f->cells.size() != static_cast<size_t>(Frame::kCells)) std::abort();
    // The blocks of the frame, coarse and against its tile's mask, one by one up to the
    // first solid one, and as one area: solid somewhere exactly when the area is.
    const int x = f->fx * Frame::kWidth, y = f->fy * Frame::kHeight;
    for (int mode : {1, 3}) {
      bool any = false;
      for (int by = 0; by < Frame::kHeight && !any; by += Frame::kBlock)
        for (int bx = 0; bx < Frame::kWidth && !any; bx += Frame::kBlock)
          any = lvl.blockHit(x + bx, y + by, f->layer, Frame::kBlock, Frame::kBlock, mode);
      if (any != lvl.blockHit(x, y, f->layer, Frame::kWidth, Frame::kHeight, mode)) std::abort();
    }
  }
  lvl.unload();
  if (!lvl.frames.empty() || !lvl.objs.empty() || !lvl.frameMap.empty() || lvl.width != 0 ||
      lvl.height != 0)
    std::abort();
  return 0;
}
