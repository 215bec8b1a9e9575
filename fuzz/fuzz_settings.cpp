// game.ini: any text is read without a fault; taken values are in range and
// every problem names a line of the text.
#include <algorithm>

#include "fuzz/fuzz_util.h"
#include "resources/game_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = fuzz::text(data, size);
  GameSettings gs;
  const int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
  for (const auto& p : gs.parse(text))
    if (p.line < 1 || p.line > lines || p.message.empty()) std::abort();
  if (gs.playerHp < 1 || gs.level.empty() || gs.playerSprite.empty() || gs.save.empty() ||
      gs.save[0] == '/')
    std::abort();
  for (const auto& part : std::filesystem::path(gs.save))
    if (part == "..") std::abort();
  return 0;
}
