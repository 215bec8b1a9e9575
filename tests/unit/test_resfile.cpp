#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "base/log.h"
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

ResfileWriter writer(std::initializer_list<std::pair<std::string, std::string>> items) {
  ResfileWriter w;
  for (const auto& [name, bytes] : items) w.add(name, bytes);
  return w;
}

struct ResfileTest : ScratchDirTest {
  Resfile res;
  Log::Capture cap;
  std::string make(const std::string& n, const std::string& bytes) { return put(n, bytes); }
  std::string make(const std::string& n, const ResfileWriter& w) { return put(n, w.build()); }
};

}  // namespace

// Resource names: the archive and the entry, with stray colons around them.
TEST_F(ResfileTest, Names) {
  const std::string a = make("gfx.crs", writer({{"npc_ptr", "pointer"}}));
  for (const std::string& name : {a + ":npc_ptr", a + "::npc_ptr", ":" + a + ":npc_ptr:", a + ":npc_ptr:extra"}) {
    ASSERT_STREQ(res.load(name).c_str(), "pointer") << name;
    EXPECT_EQ(res.lastSize, 7u);
  }
  EXPECT_TRUE(cap.lines().empty());
  EXPECT_FALSE(res.load(a + ":"));
  EXPECT_FALSE(res.load("npc_ptr"));
  EXPECT_FALSE(res.load(static_cast<const char*>(nullptr)));
  EXPECT_FALSE(res.load(a + ":other"));
  EXPECT_FALSE(res.load(a, 1u));
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{"FAIL: Resfile.load: Zla nazwa pliku (\"" + a + ":\")",
                                                   "FAIL: Resfile.load: Zla nazwa pliku (\"npc_ptr\")",
                                                   "FAIL: Resfile.load: Zla nazwa pliku (\"(null)\")",
                                                   "FAIL: Resfile.load: Nie znaleziono pliku \"other\"",
                                                   "FAIL: Resfile.load: Nie znaleziono pliku 1"}));
}

TEST_F(ResfileTest, FailedOpensAndTheCurrentArchive) {
  const ResfileWriter w = writer({{"x", "good"}});
  const std::string good = make("good.crs", w);
  std::string v3 = w.build();
  v3[4] = 3;
  const std::string bad = make("v3.crs", v3);
  EXPECT_FALSE(res.load(bad + ":x"));
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{"FAIL: Resfile.open: Nieobslugiwana wersja resfile",
                                                   "FAIL: Resfile.load: Nie udalo sie otworzyc pliku \"" + bad + "\""}));
  cap.clear();
  EXPECT_FALSE(res.load(bad + ":x"));
  EXPECT_EQ(cap.lines(), std::vector<std::string>{"FAIL: Resfile.load: Nie znaleziono pliku \"x\""});
  EXPECT_EQ(res.path(), bad);
  ASSERT_TRUE(res.load(good + ":x"));
  cap.clear();
  EXPECT_FALSE(res.load(bad + ":x"));
  EXPECT_TRUE(cap.has("FAIL: Resfile.open: Nieobslugiwana wersja resfile"));

  cap.clear();
  EXPECT_FALSE(res.open(make("tiny.crs", "CRES")));
  EXPECT_FALSE(res.open(make("magic.crs", "CRAS" + v3.substr(4))));
  EXPECT_FALSE(res.open(make("cut.crs", std::string("CRES\x02\x0d\0\0", 8))));
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{"FAIL: Resfile.open: Brak naglowka",
                                                   "FAIL: Resfile.open: Nieobslugiwana wersja resfile",
                                                   "FAIL: Resfile.open: Uciety naglowek"}));
  EXPECT_FALSE(res.open(dir.string()));  // a directory is not an archive

  // A missing archive leaves none current; the next load reads it afresh.
  ASSERT_TRUE(res.load(good + ":x"));
  EXPECT_FALSE(res.load(path("missing.crs") + ":x"));
  EXPECT_TRUE(cap.has("FAIL: Resfile.load: Nie udalo sie otworzyc pliku \"" + path("missing.crs") + "\""));
  EXPECT_EQ(res.path(), "");
  EXPECT_FALSE(res.exists("x"));
  EXPECT_TRUE(res.names().empty() && res.entries().empty());
  make("good.crs", writer({{"pad", "........"}, {"x", "new"}}));
  EXPECT_STREQ(res.load(good + ":x").c_str(), "new");
}

TEST_F(ResfileTest, HostileTablesOffsetsAndStreams) {
  const std::string bytes = writer({{"a", "alpha"}, {"b", "beta"}}).build();
  auto patched = [](std::string b, size_t at, uint32_t v) { return b.replace(at, 4, u32(v)); };

  // More records claimed than present: the ones present stay usable.
  const std::string many = make("many.crs", patched(bytes, 9, 0xFFFFFFFF));
  ASSERT_TRUE(res.open(many));
  EXPECT_TRUE(cap.has("FAIL: Resfile.open: Uszkodzona tablica plikow"));
  EXPECT_LE(res.entries().size(), 3u);
  EXPECT_STREQ(res.load(many, "b").c_str(), "beta");

  // A name length far beyond the file, and a table cut inside a record.
  const std::pair<std::string, std::string> broken[] = {{"name.crs", patched(bytes, 13 + 9, 0x7FFFFFFF)},
                                                        {"cutTable.crs", bytes.substr(0, 13 + 6)}};
  for (const auto& [n, b] : broken) {
    cap.clear();
    EXPECT_TRUE(res.open(make(n, b))) << n;
    EXPECT_TRUE(cap.has("FAIL: Resfile.open: Uszkodzona tablica plikow"));
    EXPECT_TRUE(res.entries().empty());
  }

  // Data reaching past the end: a cut file, a large size, an offset wrapping around 32 bits.
  const std::pair<std::string, std::string> past[] = {{"cutData.crs", bytes.substr(0, bytes.size() - 2)},
                                                      {"bigSize.crs", patched(bytes, 13 + 4, 0xFFFFFF00)},
                                                      {"wrap.crs", patched(bytes, 5, 0xFFFFFFFF)}};
  for (const auto& [n, b] : past) {
    cap.clear();
    EXPECT_FALSE(res.load(make(n, b), n == "cutData.crs" ? "b" : "a")) << n;
    EXPECT_EQ(cap.count("siega poza koniec archiwum"), 1u) << n;
  }
  EXPECT_STREQ(res.load(path("cutData.crs"), "a").c_str(), "alpha");

  // Compressed data: a declared size too small, far too large, a damaged stream.
  ResfileWriter w;
  w.add("t", text(1000, 't'), ResfileWriter::Compression::Always);
  const std::string packed = w.build();
  const size_t unpackedAt = 13 + 9;  // header 13, then relOffset, storedSize, flags, unpackedSize

  EXPECT_FALSE(res.load(make("small.crs", patched(packed, unpackedAt, 999)), "t"));
  EXPECT_TRUE(cap.has("FAIL: Resfile.load: Nie udalo sie rozpakowac pliku (-5)"));
  EXPECT_EQ(res.lastSize, w.items()[0].data.size());  // still the stored size

  // A declared size far beyond what the data inflates to: the real length is reported and kept.
  ASSERT_TRUE(res.load(make("huge.crs", patched(packed, unpackedAt, 0xFFFFFFF0)), "t"));
  EXPECT_EQ(res.lastSize, 1000u);
  EXPECT_EQ(res.entries()[0].unpackedSize, 1000u);

  std::string corrupt = packed;
  corrupt[corrupt.size() - 20] ^= 0x55;
  corrupt[corrupt.size() - 1] ^= 0x55;
  EXPECT_FALSE(res.load(make("corrupt.crs", corrupt), "t"));
  EXPECT_TRUE(cap.has("FAIL: Resfile.load: Nie udalo sie rozpakowac pliku (-3)"));
}

// The archive tool, run as the build runs it: each command's exit code and
// a piece of what it prints, then what it left.
TEST_F(ResfileTest, CrsTool) {
  auto run = [&](const std::string& args, const std::string& says = "") {
    const int rc = std::system(("sh -c 'trap \"\" XFSZ; " + args + "' >" + path("out.txt") + " 2>&1").c_str());
    EXPECT_NE(readBytes(path("out.txt")).find(says), std::string::npos) << args << ": " << says;
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  };
  const std::string crs = std::string(TERVALO_CRS) + " ", t = path("t.crs");
  auto compressedFlags = [](const std::string& archive) {
    Resfile r;
    EXPECT_TRUE(r.open(archive)) << archive;
    std::string f;
    for (const auto& e : r.entries()) f += char('0' + (e.flags & 1));
    return f;
  };
  fs::create_directories(dir / "in" / "sub");
  for (const auto& [n, b] : {std::pair<std::string, std::string>{"in/b.txt", text(4000, 'b')}, {"in/a.bin", "\x01\x02\x03"},
                             {"in/sub/skipped", "x"}, {"odd:name", "x"}})
    put(n, b);
  const std::string in = " " + path("in");
  const std::tuple<std::string, int, std::string> commands[] = {
      {"pack -q " + t + in + " " + path("odd:name"), 0, "skipping"},  // no resource name reaches a colon
      {"extract " + t + " -C " + path("x"), 0, ""},
      {"pack -q -z " + path("z.crs") + in, 0, ""},
      {"pack -q -Z " + path("s.crs") + in, 0, ""},
      {"pack " + path("only.crs"), 2, "usage"},
      {"list " + path("missing.crs"), 1, ""},
  };
  for (const auto& [args, rc, says] : commands) EXPECT_EQ(run(crs + args, says), rc) << args;
  EXPECT_EQ(readBytes(path("x/b.txt")), text(4000, 'b'));
  EXPECT_EQ(readBytes(path("x/a.bin")), std::string("\x01\x02\x03", 3));
  ASSERT_TRUE(res.open(t));
  EXPECT_EQ(res.names(), (std::vector<std::string>{"a.bin", "b.txt"}));
  EXPECT_EQ(compressedFlags(t), "01");  // a.bin is too small to gain from zlib
  EXPECT_EQ(compressedFlags(path("z.crs")), "11");
  EXPECT_EQ(compressedFlags(path("s.crs")), "00");
  std::string bytes = readBytes(path("z.crs"));  // a flipped byte in the zlib stream, a cut-off tail
  bytes[bytes.size() - 3] ^= 0xFF;
  EXPECT_EQ(run(crs + "verify " + put("bad.crs", bytes.substr(0, bytes.size() - 1)), "poza koniec"), 1);

  // Entry names that would leave the target folder are not written; a pack
  // that cannot be written whole leaves the old archive as it was.
  EXPECT_EQ(run(crs + "extract " + make("evil.crs", writer({{"../escaped", "x"}})) + " -C " + path("e")), 1);
  EXPECT_FALSE(fs::exists(path("escaped")));
  const std::string before = readBytes(t);
  std::string noise(100000, '\0');
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 2654435761u) >> 13);
  EXPECT_NE(run("ulimit -f 4; " + crs + "pack -q -Z " + t + " " + put("big", noise), "cannot write"), 0);
  EXPECT_EQ(readBytes(t), before);
}
