// INI text: parse the input as a file and check what the store may hold.
#include "fuzz/fuzz_util.h"
#include "resources/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FUZZ_INPUT_FILE(path, "ini", ".ini");
  IniFile ini;
  if (!ini.open(path)) return 0;
  for (const auto& [name, section] : ini.sections()) {
    if (name.find('\r') != std::string::npos || name.find('\n') != std::string::npos) std::abort();
    for (const auto& [key, value] : section) {
      // A key line never starts a comment and never holds a line break.
      if ((!key.empty() && key[0] == ';') || key.find('=') != std::string::npos ||
          (key + value).find_first_of("\r\n") != std::string::npos)
        std::abort();
      std::string got;
      if (!ini.tryGet(name, key, got) || got != value) std::abort();
      // Every value read from the file knows its line, after its header's.
      const int line = ini.lineOf(name, key);
      if (line < 1 || line <= ini.lineOf(name)) std::abort();
    }
  }
  ini.set("fuzz", "k", "v");
  if (!ini.open(path) || ini.get("fuzz", "k") != "v") std::abort();
  return 0;
}
