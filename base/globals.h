// Process-wide frame values that the frame loop owns and every update reads.
#pragma once

#include <cstdint>

namespace game {

// Length of the previous frame in seconds: 0.01 before the first frame,
// clamped to [0.00001, 0.5]. Written once per frame, at its very end.
extern float dt;
// The frame loop runs while it is true; the quit event and Left Alt+F4 clear it.
extern bool running;
// SDL 1.2 keyboard state (one byte per key symbol); null until SDL is up.
extern const uint8_t* keys;
// SDL_GetTicks() at the top of the current frame.
extern uint32_t frameStart;

// True while key `sym` is held (false without a keyboard state).
bool keyHeld(int sym);

}  // namespace game
