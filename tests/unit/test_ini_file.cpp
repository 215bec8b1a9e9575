#include <gtest/gtest.h>

#include "resources/ini_file.h"
#include "unit/scratch_dir.h"

namespace {

struct IniFileTest : ScratchDirTest {
  IniFile ini;
  std::string write(const std::string& name, const std::string& text) {
    writeBytes(path(name), text);
    return path(name);
  }
};

}  // namespace

TEST_F(IniFileTest, ParsesLinesAsStored) {
  ASSERT_TRUE(ini.open(write("a.ini",
                             "top=1\r\n[a]\r\nx=1\n[a]\ny=2\n[b]\nk==v\n sp = v ; not a comment\n;comment=1\n"
                             " ;key\n\n[\n[open\nnoequals\nmid\rdle=v\r\r\n[]\ne=1\nlast=no newline")));
  ASSERT_EQ(ini.sections().at("a").size(), 1u);  // the repeated header dropped x
  EXPECT_EQ(ini.get("a", "y"), "2");
  EXPECT_EQ(ini.get("b", "k"), "=v");
  EXPECT_EQ(ini.get("b", " sp "), " v ; not a comment");
  EXPECT_EQ(ini.get("b", "middle"), "v");
  const auto& b = ini.sections().at("b");
  EXPECT_EQ(b.count(";comment"), 0u);
  for (const char* key : {" ;key", "[", "[open", "noequals"}) EXPECT_EQ(b.count(key), 1u) << key;
  // "[]" reopens the unnamed section, discarding "top".
  EXPECT_EQ(ini.get("", "top"), "");
  EXPECT_EQ(ini.get("", "e"), "1");
  EXPECT_EQ(ini.get("", "last"), "no newline");

  std::string out = "keep";
  EXPECT_FALSE(ini.tryGet("missing", "k", out));
  EXPECT_FALSE(ini.tryGet("a", "missing", out));
  EXPECT_EQ(out, "keep");
  EXPECT_EQ(ini.get("missing", "k"), "");
  EXPECT_EQ(ini.sections().count("missing"), 0u);
}

TEST_F(IniFileTest, OpenLifecycle) {
  const std::string a = write("a.ini", "[s]\nk=file\n");
  const std::string b = write("b.ini", "[t]\nq=1\n");
  ASSERT_TRUE(ini.open(a));
  ini.set("s", "added", "1");
  std::filesystem::remove(a);
  // The current name is not read again, even though it is gone.
  EXPECT_TRUE(ini.open(a));
  EXPECT_EQ(ini.get("s", "added"), "1");
  EXPECT_EQ(ini.get("s", "k"), "file");

  ASSERT_TRUE(ini.open(b));
  EXPECT_EQ(ini.get("s", "added"), "");
  EXPECT_FALSE(ini.open(a));
  EXPECT_TRUE(ini.sections().empty());
  EXPECT_EQ(ini.fileName(), "");
  write("a.ini", "[s]\nk=again\n");
  EXPECT_TRUE(ini.open(a));  // a failed open is retried
  EXPECT_EQ(ini.get("s", "k"), "again");
  ini.close();
  EXPECT_TRUE(ini.sections().empty());
  EXPECT_FALSE(ini.open(dir.string()));  // a directory is no file
}

TEST_F(IniFileTest, RemembersTheLineOfEveryValue) {
  ASSERT_TRUE(ini.open(write("l.ini", "top=1\r\n; note\n\n[a]\nx=1\n[b]\ny=2\n[a]\nz=3\nz=4\n")));
  EXPECT_EQ(ini.lineOf("", "top"), 1);
  EXPECT_EQ(ini.lineOf("a", "x"), 0);  // dropped by the repeated header
  EXPECT_EQ(ini.lineOf("a"), 8);
  EXPECT_EQ(ini.lineOf("a", "z"), 10);  // the later line wins, as its value does
  EXPECT_EQ(ini.lineOf("b", "y"), 7);
  EXPECT_EQ(ini.lineOf("missing", "y"), 0);
  ini.set("b", "y", "new");
  EXPECT_EQ(ini.lineOf("b", "y"), 0);
}
