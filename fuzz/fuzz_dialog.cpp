// Dialog files: the input is a character's dialog file; a conversation is
// started and driven by the keys for a few dozen frames. Commands that
// would touch files outside the scratch folder or run Lua are defused.
#include <memory>

#include "api/lua_funcs.h"
#include "base/globals.h"
#include "dialog/dialog.h"
#include "fuzz/fuzz_util.h"
#include "resources/database.h"
#include "resources/ini_file.h"
#include "sound/sound.h"
#include "world/level.h"
#include "world/npc.h"
#include "world/player.h"

// Level and character states get the script API, as in the game.
static const bool kApiInstalled = (LuaFuncs::install(), true);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string dir = fuzz::enterScratchDir("dialog", {"npc"});
  std::string text = fuzz::text(data, size);
  for (const std::string& word : {"dbSave", "dbLoad", "lua"})  // to dbXave, dbXoad, lux
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
      text[at + 2] = word == "lua" ? 'x' : 'X';
  if (!fuzz::writeFile("npc/f", text)) return 0;

  Log::Capture quiet;
  IniFile::instance().close();
  Database::instance().clear();
  Level lvl;
  lvl.name = "data/lvl/f.crs:lvl";
  for (uint32_t slot : {1u, 2u}) {
    auto npc = std::make_unique<Npc>("f", slot, 10 * slot, 0, 0, 1, nullptr, &lvl, nullptr);
    if (Npc* n = lvl.addNpc(std::move(npc), slot)) n->talkable = true;
  }
  Player player;
  Dialog d;
  // A block jumping onto itself would replay thousands of lines per frame:
  // a few reach every command just as well.
  d.stepsPerUpdate = 8;
  d.connect(player);
  player.addPlayer(&lvl, 0, 0, 0, 100, "x");
  game::dt = 0.3f;
  d.update();
  d.start();
  // 32 frames of 8 lines: over a corpus grown with 64 frames, the same edges
  // run (1 760 against 1 759) at 1.6 times the inputs per second.
  for (int frame = 0; frame < 32 && d.mode != 0; ++frame) {
    d.update();
    if (d.resume) continue;
    if (d.mode == 3) d.select(d.opt + 1 + frame % 3);
    d.advance();
  }
  // A highlight that was drawn lies on one of the options.
  if (d.mode == 3 && !d.resume && !d.options.empty() &&
      (d.opt < 0 || d.opt >= static_cast<int32_t>(d.options.size())))
    std::abort();
  // The process-wide services let go of what this input gave them: an input
  // that leaves memory behind makes libFuzzer look for leaks, a scan of the
  // whole heap that cost three quarters of the time.
  Sound::instance().shutdown();
  Database::instance().clear();
  IniFile::instance().close();
  return 0;
}
