// The program's command line: `tervalo [OPTIONS] [GAME_DIR]`.
#pragma once

#include <string>
#include <vector>

struct Options {
  // What the program does.
  enum class Mode {
    kRun,    // play the game
    kCheck,  // --check: read the whole game folder and report its problems
    kHelp,   // --help: print the usage and stop
  };

  // Exit code of a command line that cannot be parsed.
  static constexpr int kUsageExit = 2;

  Mode mode = Mode::kRun;
  // The game folder; empty means the program's own folder.
  std::string gameDir;
  // --level NAME: the first level instead of the game's own (a resource name).
  std::string level;
  // --dev: developer mode (live reload, the debug overlay, the frame step).
  bool dev = false;
  // Set when the command line is wrong: what is wrong, for the usage message.
  std::string error;

  // Reads the arguments after the program's name. Options may come before or
  // after the folder; "--" ends the options. Never fails: a wrong command line
  // leaves `error` set.
  static Options parse(const std::vector<std::string>& args);
  static Options parse(int argc, const char* const* argv);

  // The usage text, one option a line, naming the program as `prog`.
  static std::string usage(const std::string& prog);
};
