// The game checker on a hostile game folder: the input is a character file
// (its [npc] info lines and [dialog] lines), the weapon list and an
// animation-free level list at once. The checker must never fault, and every
// problem names a file of the folder.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "check/game_check.h"
#include "fuzz/fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace fs = std::filesystem;
  static const std::string dir = fuzz::scratchPath("check");
  static bool ready = [] {
    fs::create_directories(dir + "/npc");
    fs::create_directories(dir + "/lua");
    fs::create_directories(dir + "/data");
    return ::chdir(dir.c_str()) == 0;
  }();
  if (!ready) return 0;
  for (const char* file : {"npc/fuzz", "npc/list.ini", "lua/list.ini", "data/weapons", "game.ini"})
    if (!fuzz::writeFile(file, data, size)) return 0;
  for (const CheckProblem& p : checkGame())
    if (p.path.empty() || p.message.empty() || p.line < 0) std::abort();
  return 0;
}
