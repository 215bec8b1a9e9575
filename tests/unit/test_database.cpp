#include <gtest/gtest.h>

#include "base/log.h"
#include "resources/database.h"
#include "unit/scratch_dir.h"

namespace fs = std::filesystem;

using DatabaseTest = ScratchDirTest;

TEST_F(DatabaseTest, RoundTripAndLoadFaults) {
  Database db;
  db.setVal("x", 5);  // one-byte and empty keys are ignored
  db.setStr("", "v");
  EXPECT_TRUE(db.vals().empty() && db.strs().empty());
  db.setStr("hp", "text");  // same key, other table
  EXPECT_EQ(db.getVal("hp"), 0);
  EXPECT_EQ(db.getStr("nope"), "");
  EXPECT_TRUE(db.vals().empty());  // reading created nothing
  db.clear();
  ASSERT_TRUE(db.save(path("empty.bin")));
  EXPECT_EQ(readBytes(path("empty.bin")), std::string(8, '\0'));
  db.setVal("zz", 1);
  ASSERT_TRUE(db.load(path("empty.bin")));
  EXPECT_TRUE(db.vals().empty());

  db.setStr("b", "dropped");
  db.setStr("ab", "1");
  db.setStr("Zb", "");  // upper case sorts first; an empty value round-trips
  db.setStr("cc", "after the empty one");
  db.setVal("val", -2);
  ASSERT_TRUE(db.save(path("save/sav01.bin")));  // a save creates its folder
  EXPECT_EQ(readBytes(path("save/sav01.bin")),
            u32(3) + u32(2) + "Zb" + u32(0) + u32(2) + "ab" + u32(1) + "1" + u32(2) + "cc" + u32(19) +
                "after the empty one" + u32(1) + u32(3) + "val" + u32(uint32_t(-2)));

  Database back;
  Log::Capture cap;
  ASSERT_TRUE(back.load(path("save/sav01.bin")));
  EXPECT_EQ(back.strs(), db.strs());
  EXPECT_EQ(back.vals(), db.vals());
  // Short paths are refused silently and leave the tables alone.
  EXPECT_FALSE(back.save("x"));
  EXPECT_FALSE(back.load("x"));
  EXPECT_EQ(back.strs().size(), 3u);
  EXPECT_TRUE(cap.lines().empty());

  // A file that cannot be read empties the tables; a damaged one keeps what came before the fault.
  db.setVal("keep", 1);
  EXPECT_FALSE(db.load(path("missing.bin")));
  EXPECT_TRUE(cap.has("FAIL: Database.load: Nie udalo sie otworzyc pliku"));
  EXPECT_TRUE(db.vals().empty() && db.strs().empty());

  struct Case {
    std::string bytes, message;
    size_t strsKept, valsKept;
  };
  const Case cases[] = {
      {u32(2) + u32(2) + "aa" + u32(1) + "x" + u32(0), "Zerowa dlugosc klucza (str)", 1, 0},
      {u32(0) + u32(2) + u32(2) + "vv" + u32(7) + u32(0), "Zerowa dlugosc kluczan (val)", 0, 1},
      {u32(1) + u32(2) + "aa" + u32(5) + "ab", "Plik uciety", 0, 0},          // value cut short
      {u32(1) + u32(0xFFFFFFF0) + "aa", "Plik uciety", 0, 0},                 // absurd key length
      {u32(0xFFFFFFFF) + u32(2) + "aa" + u32(1) + "x", "Plik uciety", 1, 0},  // count too large
      {u32(0) + u32(1) + u32(2) + "vv" + "\x01\x02", "Plik uciety", 0, 0},    // value cut short
      {u32(0), "Plik uciety", 0, 0},                                          // no valCount
      {"", "Plik uciety", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    cap.clear();
    EXPECT_FALSE(db.load(put("bad.bin", c.bytes)));
    EXPECT_TRUE(cap.has("FAIL: Database.load: " + c.message));
    EXPECT_EQ(db.strs().size(), c.strsKept);
    EXPECT_EQ(db.vals().size(), c.valsKept);
  }

  // Keys and values end at a zero byte; one-byte keys are dropped on load.
  ASSERT_TRUE(db.load(put("z.bin", u32(2) + u32(4) + std::string("ab\0c", 4) + u32(3) + std::string("v\0w", 3) +
                                        u32(1) + "q" + u32(1) + "r" + u32(0))));
  EXPECT_EQ(db.strs().size(), 1u);
  EXPECT_EQ(db.getStr("ab"), "v");
}

// Saves through links, over stale temporaries and onto devices that refuse
// writes; the full fault matrix of saving (short writes, kills, read-only
// folders) is robust/'s.
TEST_F(DatabaseTest, SavesThroughLinksAndFailedWrites) {
  Database db;
  db.setStr("name", "old");
  writeBytes(path("sav01.bin.tmp-a1b2c3"), "left by a writer that was killed");
  ASSERT_TRUE(db.save(path("sav01.bin")));
  size_t files = 0;
  for (const auto& e : fs::directory_iterator(dir)) files += e.is_regular_file();
  EXPECT_EQ(files, 1u);  // no temporary left behind, and the stale one removed
  fs::permissions(path("sav01.bin"), fs::perms(0640));
  fs::create_symlink("sav01.bin", path("link.bin"));  // saving through a link keeps the link
  db.setStr("name", "new");
  ASSERT_TRUE(db.save(path("link.bin")));
  EXPECT_TRUE(fs::is_symlink(path("link.bin")));
  EXPECT_EQ(fs::status(path("sav01.bin")).permissions(), fs::perms(0640));  // and the file's mode
  Database back;
  ASSERT_TRUE(back.load(path("sav01.bin")));
  EXPECT_EQ(back.getStr("name"), "new");

  Log::Capture cap;
  fs::create_symlink("/dev/full", path("full.bin"));
  EXPECT_FALSE(db.save(path("full.bin")));
  EXPECT_TRUE(cap.has("FAIL: Database.save: Zapis nie powiodl sie (str)"));
  EXPECT_TRUE(fs::is_symlink(path("full.bin")));
  writeBytes(path("file"), "x");
  EXPECT_FALSE(db.save(path("file/sav01.bin")));  // a folder that cannot be created
  EXPECT_TRUE(cap.has("FAIL: Database.save: Nie udalo sie otworzyc pliku"));
}
