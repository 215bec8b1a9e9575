#include "core/globals.h"

namespace game {

float dt = 0.01f;
bool running = true;
const uint8_t* keys = nullptr;
uint32_t frameStart = 0;

bool keyHeld(int sym) { return keys && sym >= 0 && sym < 512 && keys[sym] != 0; }

}  // namespace game
