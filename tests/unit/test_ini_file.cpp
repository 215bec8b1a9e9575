#include <gtest/gtest.h>

#include "resources/ini_file.h"
#include "unit/scratch_dir.h"

namespace {

struct IniFileTest : ScratchDirTest {
  IniFile ini;
};

}  // namespace

TEST_F(IniFileTest, ParsesLinesAsStored) {
  ASSERT_TRUE(ini.open(put("a.ini",
                             "top=1\r\n[a]\r\nx=1\n[a]\ny=2\n[b]\nk=first\nk==v\n sp = v ; not a comment\n;comment=1\n"
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
  // The line of every value: the later of two, none for one a repeated header dropped.
  EXPECT_EQ(ini.lineOf("a", "x"), 0);
  EXPECT_EQ(ini.lineOf("a"), 4);
  EXPECT_EQ(ini.lineOf("a", "y"), 5);
  EXPECT_EQ(ini.lineOf("b", "k"), 8);
  EXPECT_EQ(ini.lineOf("b", "["), 13);  // comment and blank lines count
  EXPECT_EQ(ini.lineOf("missing", "y"), 0);
  ini.set("b", "k", "new");
  EXPECT_EQ(ini.lineOf("b", "k"), 0);

  std::string out = "keep";
  EXPECT_FALSE(ini.tryGet("missing", "k", out));
  EXPECT_FALSE(ini.tryGet("a", "missing", out));
  EXPECT_EQ(out, "keep");
  EXPECT_EQ(ini.get("missing", "k"), "");
  EXPECT_EQ(ini.sections().count("missing"), 0u);
}

TEST_F(IniFileTest, OpenLifecycle) {
  const std::string a = put("a.ini", "[s]\nk=file\n");
  const std::string b = put("b.ini", "[t]\nq=1\n");
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
  put("a.ini", "[s]\nk=again\n");
  EXPECT_TRUE(ini.open(a));  // a failed open is retried
  EXPECT_EQ(ini.get("s", "k"), "again");
  ini.close();
  EXPECT_TRUE(ini.sections().empty());
  EXPECT_FALSE(ini.open(dir.string()));  // a directory is no file
}
