// The tervalo executable: everything lives in the engine library.
#include "core/game.h"

int main() { return runGame(__DATE__, __TIME__); }
