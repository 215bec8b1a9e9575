// The tervalo executable: everything lives in the engine library.
#include "game/game.h"

int main() { return runGame(__DATE__, __TIME__); }
