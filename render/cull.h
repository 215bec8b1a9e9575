// Drawing that cannot change the picture is left out: quads of opacity 0,
// quads wholly off the screen, and (in the level's drawing) pixels that an
// opaque block drawn later covers anyway. The picture stays the same to the
// pixel; the pixel-identity test draws the demo both ways and compares.
#pragma once

namespace cull {

// Off: everything is drawn as asked (the reference the test compares with).
extern bool enabled;

// True while leaving drawing out is safe: enabled, and no world shader
// program is bound (a program may show what the fixed pipeline would not,
// a quad of opacity 0 for one).
bool active();

}  // namespace cull
