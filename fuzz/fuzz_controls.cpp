// Key bindings: read the input as a controls file into a fresh player and
// check that exactly the whole pairs it holds were taken, in order, and that
// a saved copy reads back the same.
#include <algorithm>

#include "fuzz/fuzz_util.h"
#include "world/player.h"

static uint32_t u32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FUZZ_INPUT_FILE(path, "controls", "");
  static const std::string saved = fuzz::scratchPath("controls_saved");
  Player p;
  const auto defaultsA = p.keysA, defaultsB = p.keysB;
  const bool ok = p.loadCtrls(path.c_str());
  if (size < 4) {
    if (ok || p.keysA != defaultsA || p.keysB != defaultsB) std::abort();
    return 0;
  }
  const size_t n = std::min<size_t>(u32(data), Player::kActionCount);
  const size_t pairs = std::min(n, (size - 4) / 8);
  if (ok != (pairs == n)) std::abort();
  for (size_t i = 0; i < Player::kActionCount; ++i) {
    const uint32_t a = i < pairs ? u32(data + 4 + 8 * i) : defaultsA[i];
    const uint32_t b = i < pairs ? u32(data + 4 + 8 * i + 4) : defaultsB[i];
    if (p.keysA[i] != a || p.keysB[i] != b) std::abort();
  }
  if (!p.saveCtrls(saved.c_str())) return 0;
  Player q;
  if (!q.loadCtrls(saved.c_str()) || q.keysA != p.keysA || q.keysB != p.keysB) std::abort();
  return 0;
}
