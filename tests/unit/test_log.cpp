#include <gtest/gtest.h>

#include "base/log.h"

TEST(Log, PrefixesNewlinesAndLongLines) {
  Log::Capture cap;
  Log::fail("Resfile.load: Nie znaleziono pliku \"%s\"\n", "x");
  Log::info("Start");
  Log::ok("Level.load: Poziom \"%s\" wczytany w %ums\n", "a", 5u);
  Log::line("%s", "----");
  Log::fail("Level.loadNpcs: Nie udalo sie wczytac z pliku informacji o npc\n\t(\"%s\", %u)\n", "npc/a", 3u);
  const std::string big(2000, 'x');
  Log::info("%s", big.c_str());
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{
                             "FAIL: Resfile.load: Nie znaleziono pliku \"x\"", "INFO: Start",
                             "OK  : Level.load: Poziom \"a\" wczytany w 5ms", "----",
                             "FAIL: Level.loadNpcs: Nie udalo sie wczytac z pliku informacji o npc",
                             "\t(\"npc/a\", 3)", "INFO: " + big}));
}
