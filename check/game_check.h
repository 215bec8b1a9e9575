// `tervalo --check`: reads a whole game folder the way the engine would,
// without a window or sound, and lists every problem it finds, one per line:
// "PATH:LINE: message", or "PATH: message" for a whole file. PATH is relative
// to the game folder; a file inside an archive is written "ARCHIVE:ENTRY".
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "resources/game_settings.h"

struct CheckProblem {
  std::string path;
  int line = 0;  // 0: the whole file
  std::string message;

  // The problem as it is printed.
  std::string text() const;
};

// Checks the game in the current working directory. `level`, when not
// empty, is the first level given on the command line.
std::vector<CheckProblem> checkGame(const std::string& level = std::string());

// Prints the problems of the game in the current working directory to
// `out`; returns the exit code (0: nothing wrong, 1: problems).
int runCheck(const std::string& level, std::FILE* out);
