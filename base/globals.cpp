#include "base/globals.h"

#include <SDL/SDL_keysym.h>

namespace game {

float dt = 0.01f;
bool running = true;
const uint8_t* keys = nullptr;
uint32_t frameStart = 0;

// SDL 1.2's key state array has SDLK_LAST entries; codes past it are never held.
bool keyHeld(int sym) { return keys && sym >= 0 && sym < SDLK_LAST && keys[sym] != 0; }

}  // namespace game
