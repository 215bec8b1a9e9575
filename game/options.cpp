#include "game/options.h"

namespace {

// Splits "--name=value" into its two halves; `value` stays untouched when
// there is no '='.
bool splitValue(const std::string& arg, std::string& name, std::string& value) {
  size_t eq = arg.find('=');
  if (eq == std::string::npos) {
    name = arg;
    return false;
  }
  name = arg.substr(0, eq);
  value = arg.substr(eq + 1);
  return true;
}

}  // namespace

Options Options::parse(const std::vector<std::string>& args) {
  Options o;
  bool optionsEnded = false;
  bool haveDir = false;
  for (size_t i = 0; i < args.size() && o.error.empty(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      if (haveDir) {
        o.error = "more than one game folder: " + o.gameDir + " and " + arg;
      } else {
        o.gameDir = arg;
        haveDir = true;
      }
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name, value;
    bool inlineValue = splitValue(arg, name, value);
    if (name == "--check" && !inlineValue) {
      o.mode = Mode::kCheck;
    } else if ((name == "--help" || name == "-h") && !inlineValue) {
      o.mode = Mode::kHelp;
    } else if (name == "--dev" && !inlineValue) {
      o.dev = true;
    } else if (name == "--level") {
      if (!inlineValue) {
        if (i + 1 >= args.size()) {
          o.error = "--level needs a level name";
          break;
        }
        value = args[++i];
      }
      if (value.empty()) o.error = "--level needs a level name";
      o.level = value;
    } else {
      o.error = "unknown option " + arg;
    }
  }
  return o;
}

Options Options::parse(int argc, const char* const* argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i] ? argv[i] : "");
  return parse(args);
}

std::string Options::usage(const std::string& prog) {
  return "usage: " + prog +
         " [OPTIONS] [GAME_DIR]\n"
         "Runs the game in GAME_DIR (default: the program's own folder).\n"
         "  --check        read the whole game folder and report every problem, without\n"
         "                 opening a window or sound; exit 0 when nothing is wrong, 1 otherwise\n"
         "  --level NAME   start at the level NAME (a resource name, e.g. data/lvl/x.crs:lvl)\n"
         "  --dev          developer mode: reload on Left Ctrl+R and on file changes,\n"
         "                 overlay on Left Ctrl+D, one frame on Left Ctrl+N while paused\n"
         "  -h, --help     print this text\n"
         "A wrong command line prints this text and exits with 2.\n";
}
