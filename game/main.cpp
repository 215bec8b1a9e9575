// The tervalo executable: everything lives in the engine library.
#include "game/game.h"

int main(int argc, char** argv) { return runGame(argc, argv, __DATE__, __TIME__); }
