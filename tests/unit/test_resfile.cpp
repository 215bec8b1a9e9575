#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "core/log.h"
#include "resources/resfile.h"
#include "resources/resfile_writer.h"
#include "unit/scratch_dir.h"

namespace fs = std::filesystem;

namespace {

// A text that zlib shrinks well.
std::string text(size_t n, char seed) {
  std::string s;
  while (s.size() < n) s += std::string("line ") + seed + " of the level file\n";
  s.resize(n);
  return s;
}

struct ResfileTest : ScratchDirTest {
  Resfile res;
  std::string make(const std::string& n, const ResfileWriter& w) {
    writeBytes(path(n), w.build());
    return path(n);
  }
};

}  // namespace

TEST_F(ResfileTest, ResourceNames) {
  ResfileWriter w;
  w.add("npc_ptr", "pointer");
  const std::string a = make("gfx.crs", w);
  Log::Capture cap;
  for (const std::string& name : {a + ":npc_ptr", a + "::npc_ptr", ":" + a + ":npc_ptr:", a + ":npc_ptr:extra"}) {
    ResBuffer b = res.load(name);
    ASSERT_TRUE(b) << name;
    EXPECT_STREQ(b.c_str(), "pointer");
    EXPECT_EQ(res.lastSize, 7u);
  }
  EXPECT_TRUE(cap.lines().empty());
  EXPECT_FALSE(res.load(a + ":"));
  EXPECT_TRUE(cap.has("FAIL: Resfile.load: Zla nazwa pliku (\"" + a + ":\")"));
  EXPECT_FALSE(res.load("npc_ptr"));
  EXPECT_TRUE(cap.has("FAIL: Resfile.load: Zla nazwa pliku (\"npc_ptr\")"));
  EXPECT_FALSE(res.load(static_cast<const char*>(nullptr)));
  EXPECT_EQ(cap.count("Zla nazwa pliku"), 3u);
  EXPECT_FALSE(res.load(a + ":other"));
  EXPECT_TRUE(cap.has("FAIL: Resfile.load: Nie znaleziono pliku \"other\""));
  EXPECT_FALSE(res.load(a, 1u));
  EXPECT_TRUE(cap.has("FAIL: Resfile.load: Nie znaleziono pliku 1"));
  EXPECT_EQ(&Resfile::instance(), &Resfile::instance());
}

TEST_F(ResfileTest, EntriesEmptyArchiveAndDuplicates) {
  ResfileWriter empty;
  const std::string e = make("empty.crs", empty);
  Log::Capture cap;
  EXPECT_TRUE(res.open(e));
  EXPECT_TRUE(res.entries().empty());
  EXPECT_FALSE(res.load(e, "x"));
  EXPECT_TRUE(cap.has("FAIL: Resfile.load: Nie znaleziono pliku \"x\""));

  ResfileWriter w;
  w.add("dup", "first");
  w.add("nothing", "");
  w.add("big", text(5000, 'b'));
  w.add("dup", "second");
  w.add("raw", text(5000, 'r'), ResfileWriter::Compression::Never);
  const std::string a = make("a.crs", w);
  ASSERT_TRUE(w.items()[2].compressed);

  EXPECT_STREQ(res.load(a, "dup").c_str(), "second");
  EXPECT_STREQ(res.load(a, 0u).c_str(), "first");
  EXPECT_STREQ(res.load(a, 3u).c_str(), "second");
  ResBuffer none = res.load(a, "nothing");
  ASSERT_TRUE(none);
  EXPECT_EQ(res.lastSize, 0u);
  EXPECT_EQ(none.data()[0], 0);
  for (const char* n : {"big", "raw"}) {
    ResBuffer b = res.load(a, n);
    ASSERT_TRUE(b);
    EXPECT_EQ(res.lastSize, 5000u);
    EXPECT_EQ(b.size(), 5000u);
    EXPECT_EQ(b.data()[5000], 0);
    EXPECT_EQ(std::string(b.data(), b.size()), text(5000, n[0]));
  }
  EXPECT_EQ(res.entries()[2].unpackedSize, 5000u);
  EXPECT_EQ(res.entries()[4].unpackedSize, 0u);
  EXPECT_EQ(res.names()[3], "dup");

  // The table is read once: a replaced file does not change what loads see.
  ResfileWriter other;
  other.add("dup", "replaced");
  writeBytes(path("new.crs"), other.build());
  fs::rename(path("new.crs"), a);
  EXPECT_STREQ(res.load(a, "dup").c_str(), "second");
  EXPECT_TRUE(cap.lines().size() == 1u);
}

TEST_F(ResfileTest, Inflation) {
  ResfileWriter w;
  w.add("t", text(1000, 't'), ResfileWriter::Compression::Always);
  std::string bytes = w.build();
  // Table: header 13, then relOffset, storedSize, flags, unpackedSize at 22.
  const size_t unpackedAt = 13 + 9;
  Log::Capture cap;

  std::string small = bytes;
  small.replace(unpackedAt, 4, u32(999));
  writeBytes(path("small.crs"), small);
  EXPECT_FALSE(res.load(path("small.crs"), "t"));
  EXPECT_TRUE(cap.has("FAIL: Resfile.load: Nie udalo sie rozpakowac pliku (-5)"));
  EXPECT_EQ(res.lastSize, w.items()[0].data.size());  // still the stored size

  // A declared size far beyond what the data could inflate to is harmless:
  // the real length is reported and written back.
  std::string huge = bytes;
  huge.replace(unpackedAt, 4, u32(0xFFFFFFF0));
  writeBytes(path("huge.crs"), huge);
  ResBuffer b = res.load(path("huge.crs"), "t");
  ASSERT_TRUE(b);
  EXPECT_EQ(res.lastSize, 1000u);
  EXPECT_EQ(res.entries()[0].unpackedSize, 1000u);

  std::string corrupt = bytes;
  corrupt[corrupt.size() - 20] ^= 0x55;
  corrupt[corrupt.size() - 1] ^= 0x55;
  writeBytes(path("corrupt.crs"), corrupt);
  EXPECT_FALSE(res.load(path("corrupt.crs"), "t"));
  EXPECT_TRUE(cap.has("FAIL: Resfile.load: Nie udalo sie rozpakowac pliku (-3)"));
}

TEST_F(ResfileTest, BadHeaderLeavesFailedCurrentArchive) {
  ResfileWriter w;
  w.add("x", "good");
  const std::string good = make("good.crs", w);
  std::string v3 = w.build();
  v3[4] = 3;
  writeBytes(path("v3.crs"), v3);
  writeBytes(path("tiny.crs"), "CRES");
  writeBytes(path("cut.crs"), std::string("CRES\x02\x0d\0\0", 8));
  writeBytes(path("magic.crs"), "CRAS" + v3.substr(4));

  Log::Capture cap;
  EXPECT_FALSE(res.load(path("v3.crs:x")));
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{
                             "FAIL: Resfile.open: Nieobslugiwana wersja resfile",
                             "FAIL: Resfile.load: Nie udalo sie otworzyc pliku \"" + path("v3.crs") + "\""}));
  cap.clear();
  EXPECT_FALSE(res.load(path("v3.crs:x")));
  EXPECT_EQ(cap.lines(), std::vector<std::string>{"FAIL: Resfile.load: Nie znaleziono pliku \"x\""});
  EXPECT_EQ(res.path(), path("v3.crs"));
  ASSERT_TRUE(res.load(good + ":x"));
  cap.clear();
  EXPECT_FALSE(res.load(path("v3.crs:x")));
  EXPECT_TRUE(cap.has("FAIL: Resfile.open: Nieobslugiwana wersja resfile"));

  cap.clear();
  EXPECT_FALSE(res.open(path("tiny.crs")));
  EXPECT_FALSE(res.open(path("magic.crs")));
  EXPECT_FALSE(res.open(path("cut.crs")));
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{"FAIL: Resfile.open: Brak naglowka",
                                                   "FAIL: Resfile.open: Nieobslugiwana wersja resfile",
                                                   "FAIL: Resfile.open: Uciety naglowek"}));
  EXPECT_FALSE(res.open(dir.string()));  // a directory is not an archive
}

TEST_F(ResfileTest, HostileTablesAndOffsets) {
  ResfileWriter w;
  w.add("a", "alpha");
  w.add("b", "beta");
  const std::string bytes = w.build();
  Log::Capture cap;

  // More records claimed than present: the ones present stay usable.
  std::string many = bytes;
  many.replace(9, 4, u32(0xFFFFFFFF));
  writeBytes(path("many.crs"), many);
  ASSERT_TRUE(res.open(path("many.crs")));
  EXPECT_TRUE(cap.has("FAIL: Resfile.open: Uszkodzona tablica plikow"));
  EXPECT_LE(res.entries().size(), 3u);
  EXPECT_STREQ(res.load(path("many.crs"), "b").c_str(), "beta");

  // A name length far beyond the file, and a table cut inside a record.
  std::string longName = bytes;
  longName.replace(13 + 9, 4, u32(0x7FFFFFFF));
  writeBytes(path("name.crs"), longName);
  writeBytes(path("cutTable.crs"), bytes.substr(0, 13 + 6));
  for (const char* n : {"name.crs", "cutTable.crs"}) {
    cap.clear();
    EXPECT_TRUE(res.open(path(n)));
    EXPECT_TRUE(cap.has("FAIL: Resfile.open: Uszkodzona tablica plikow")) << n;
    EXPECT_TRUE(res.entries().empty());
  }

  // Data reaching past the end: by a cut file, a large size, or an offset
  // that would wrap around 32 bits.
  std::string bigSize = bytes;
  bigSize.replace(13 + 4, 4, u32(0xFFFFFF00));
  std::string wrap = bytes;
  wrap.replace(5, 4, u32(0xFFFFFFFF));  // dataBase
  const std::pair<std::string, std::string> past[] = {
      {"cutData.crs", bytes.substr(0, bytes.size() - 2)}, {"bigSize.crs", bigSize}, {"wrap.crs", wrap}};
  for (const auto& [n, b] : past) {
    writeBytes(path(n), b);
    cap.clear();
    EXPECT_FALSE(res.load(path(n), n == "cutData.crs" ? "b" : "a")) << n;
    EXPECT_EQ(cap.count("siega poza koniec archiwum"), 1u) << n;
  }
  EXPECT_STREQ(res.load(path("cutData.crs"), "a").c_str(), "alpha");
}

TEST_F(ResfileTest, FailedOpenForgetsThePreviousArchive) {
  ResfileWriter w;
  w.add("x", "old");
  const std::string a = make("a.crs", w);
  ASSERT_TRUE(res.load(a + ":x"));
  Log::Capture cap;
  EXPECT_FALSE(res.load(path("missing.crs") + ":x"));
  EXPECT_TRUE(cap.has("FAIL: Resfile.load: Nie udalo sie otworzyc pliku \"" + path("missing.crs") + "\""));
  EXPECT_EQ(res.path(), "");
  EXPECT_TRUE(res.entries().empty());
  EXPECT_FALSE(res.exists("x"));
  // The archive is read afresh, not served from a stale table.
  ResfileWriter w2;
  w2.add("pad", "........");
  w2.add("x", "new");
  make("a.crs", w2);
  EXPECT_STREQ(res.load(a + ":x").c_str(), "new");
}

// The archive tool, run as the build runs it.
TEST_F(ResfileTest, CrsTool) {
  const std::string crs = fs::path(TERVALO_GAME_DIR).parent_path() / "crs";
  ASSERT_TRUE(fs::exists(crs)) << crs;
  auto run = [&](const std::string& args) {
    const int rc = std::system((crs + " " + args + " >" + path("out.txt") + " 2>&1").c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  };
  fs::create_directories(dir / "in" / "sub");
  writeBytes(path("in/b.txt"), text(4000, 'b'));
  writeBytes(path("in/a.bin"), std::string("\x01\x02\x03", 3));
  writeBytes(path("in/empty"), "");
  writeBytes(path("in/sub/skipped"), "x");
  writeBytes(path("extra"), "extra file");

  ASSERT_EQ(run("pack -q " + path("t.crs") + " " + path("in") + " " + path("extra")), 0);
  EXPECT_EQ(readBytes(path("out.txt")), "");
  ASSERT_TRUE(res.open(path("t.crs")));
  EXPECT_EQ(res.names(), (std::vector<std::string>{"a.bin", "b.txt", "empty", "extra"}));
  EXPECT_EQ(res.entries()[0].flags & 1, 0);  // too small to gain from zlib
  EXPECT_EQ(res.entries()[1].flags & 1, 1);

  ASSERT_EQ(run("list " + path("t.crs")), 0);
  EXPECT_NE(readBytes(path("out.txt")).find("b.txt"), std::string::npos);
  ASSERT_EQ(run("verify " + path("t.crs")), 0);
  ASSERT_EQ(run("extract " + path("t.crs") + " -C " + path("x")), 0);
  EXPECT_EQ(readBytes(path("x/b.txt")), text(4000, 'b'));
  EXPECT_EQ(readBytes(path("x/a.bin")), std::string("\x01\x02\x03", 3));
  EXPECT_TRUE(fs::exists(path("x/empty")));
  ASSERT_EQ(run("extract " + path("t.crs") + " extra -C " + path("y")), 0);
  EXPECT_TRUE(fs::exists(path("y/extra")) && !fs::exists(path("y/b.txt")));
  EXPECT_EQ(run("extract " + path("t.crs") + " nope -C " + path("y")), 1);

  Resfile forced;
  ASSERT_EQ(run("pack -q -z " + path("z.crs") + " " + path("in")), 0);
  ASSERT_TRUE(forced.open(path("z.crs")));
  for (const auto& e : forced.entries()) EXPECT_EQ(e.flags & 1, 1);
  ASSERT_EQ(run("pack -q -Z " + path("s.crs") + " " + path("in")), 0);
  ASSERT_TRUE(forced.open(path("s.crs")));
  for (const auto& e : forced.entries()) EXPECT_EQ(e.flags & 1, 0);

  // Damage: a flipped byte inside the zlib stream and a cut-off tail.
  std::string bytes = readBytes(path("z.crs"));
  bytes[bytes.size() - 3] ^= 0xFF;
  writeBytes(path("bad.crs"), bytes.substr(0, bytes.size() - 1));
  EXPECT_EQ(run("verify " + path("bad.crs")), 1);
  EXPECT_NE(readBytes(path("out.txt")).find("poza koniec"), std::string::npos);

  // Entry names that would leave the target folder are not written.
  ResfileWriter evil;
  evil.add("../escaped", "x");
  writeBytes(path("evil.crs"), evil.build());
  EXPECT_EQ(run("extract " + path("evil.crs") + " -C " + path("e")), 1);
  EXPECT_FALSE(fs::exists(path("escaped")));

  EXPECT_EQ(run(""), 2);
  EXPECT_EQ(run("pack " + path("only.crs")), 2);
  EXPECT_EQ(run("list " + path("missing.crs")), 1);
}
