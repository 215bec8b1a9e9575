// Weapon list: read the input as a list file from disk and check that every
// weapon line ended up in the table under its name.
#include "fuzz/fuzz_util.h"
#include "resources/parser.h"
#include "world/weapon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FUZZ_INPUT_FILE(path, "weapons", "");  // sprites and scripts named by the input do not exist
  if (!Weapon::load(path.c_str())) std::abort();
  const std::string text = fuzz::text(data, size);
  const Parser lines(text.substr(0, text.find('\0')), "\r\n");
  size_t weaponLines = 0;
  for (int i = 0; i < lines.count(); ++i) {
    const Parser words(lines.show(i), " \t");
    if (words.count() < 5 || words.show(0) == "--") continue;
    ++weaponLines;
    Weapon* w = Weapon::get(words.show(0).c_str());
    // No picture could be had: never any uses.
    if (!w || w->hasFunc || w->hasSpecFunc) std::abort();
  }
  if (Weapon::count() > weaponLines) std::abort();
  Weapon::clear();
  return 0;
}
