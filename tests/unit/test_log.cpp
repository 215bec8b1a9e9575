#include <gtest/gtest.h>

#include "core/log.h"

TEST(Log, PrefixesAndNewlines) {
  Log::Capture cap;
  Log::fail("Resfile.load: Nie znaleziono pliku \"%s\"\n", "x");
  Log::info("Start");
  Log::ok("Level.load: Poziom \"%s\" wczytany w %ums\n", "a", 5u);
  Log::line("%s", "----");
  ASSERT_EQ(cap.lines().size(), 4u);
  EXPECT_EQ(cap.lines()[0], "FAIL: Resfile.load: Nie znaleziono pliku \"x\"");
  EXPECT_EQ(cap.lines()[1], "INFO: Start");
  EXPECT_EQ(cap.lines()[2], "OK  : Level.load: Poziom \"a\" wczytany w 5ms");
  EXPECT_EQ(cap.lines()[3], "----");
}

TEST(Log, MultiLineTextAndLongLines) {
  Log::Capture cap;
  Log::fail("Level.loadNpcs: Nie udalo sie wczytac z pliku informacji o npc\n\t(\"%s\", %u)\n", "npc/a", 3u);
  std::string big(2000, 'x');
  Log::info("%s", big.c_str());
  ASSERT_EQ(cap.lines().size(), 3u);
  EXPECT_EQ(cap.lines()[1], "\t(\"npc/a\", 3)");
  EXPECT_EQ(cap.lines()[2], "INFO: " + big);
}
