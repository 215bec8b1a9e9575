#include "dialog/dialog_sprites.h"

namespace dialog_sprites {

Sprite* pointer = nullptr;
Sprite* background = nullptr;

}  // namespace dialog_sprites
