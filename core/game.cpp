#include "core/game.h"
int runGame() { return 0; }
