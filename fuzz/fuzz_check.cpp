// The game checker on a folder whose character file, lists, weapon list and game.ini are all
// the input: it never faults, and every problem names a file of the folder.
#include "check/game_check.h"
#include "fuzz/fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string dir = fuzz::enterScratchDir("check", {"npc", "lua", "data"});
  const std::string text = fuzz::text(data, size);
  for (const char* file : {"npc/fuzz", "npc/list.ini", "lua/list.ini", "data/weapons", "game.ini"})
    if (!fuzz::writeFile(file, text)) return 0;
  for (const CheckProblem& p : checkGame())
    if (p.path.empty() || p.message.empty() || p.line < 0) std::abort();
  return 0;
}
