// The two pictures every conversation uses, loaded once at start-up: the
// pointer marker over the character being talked to and the dialog's
// background box.
#pragma once

class Sprite;

namespace dialog_sprites {

extern Sprite* pointer;     // "data/gfx.crs:npc_ptr"
extern Sprite* background;  // "data/gfx.crs:dial_bg"

}  // namespace dialog_sprites
