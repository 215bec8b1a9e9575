#include <gtest/gtest.h>

#include "resources/ini_file.h"
#include "unit/scratch_dir.h"

namespace {

struct IniFileTest : ScratchDirTest {
  std::string write(const std::string& name, const std::string& text) {
    writeBytes(path(name), text);
    return path(name);
  }
};

}  // namespace

TEST_F(IniFileTest, ParsesLinesAsStored) {
  IniFile ini;
  ASSERT_TRUE(ini.open(write("a.ini",
      "top=1\r\n"
      "[a]\r\n"
      "x=1\n"
      "[a]\n"
      "y=2\n"
      "[b]\n"
      "k==v\n"
      " sp = v ; not a comment\n"
      ";comment=1\n"
      " ;key\n"
      "\n"
      "[\n"
      "[open\n"
      "noequals\n"
      "mid\rdle=v\r\r\n"
      "[]\n"
      "e=1\n"
      "last=no newline")));
  ASSERT_EQ(ini.sections().at("a").size(), 1u);  // the repeated header dropped x
  EXPECT_EQ(ini.get("a", "y"), "2");
  EXPECT_EQ(ini.get("b", "k"), "=v");
  EXPECT_EQ(ini.get("b", " sp "), " v ; not a comment");
  EXPECT_EQ(ini.sections().at("b").count(";comment"), 0u);
  EXPECT_EQ(ini.sections().at("b").count(" ;key"), 1u);
  EXPECT_EQ(ini.sections().at("b").count("["), 1u);
  EXPECT_EQ(ini.sections().at("b").count("[open"), 1u);
  EXPECT_EQ(ini.sections().at("b").count("noequals"), 1u);
  EXPECT_EQ(ini.get("b", "middle"), "v");
  // "[]" reopens the unnamed section, discarding "top".
  EXPECT_EQ(ini.get("", "top"), "");
  EXPECT_EQ(ini.get("", "e"), "1");
  EXPECT_EQ(ini.get("", "last"), "no newline");
}

TEST_F(IniFileTest, GetSetTryGet) {
  IniFile ini;
  ASSERT_TRUE(ini.open(write("a.ini", "[s]\nk=v\n")));
  std::string out = "keep";
  EXPECT_FALSE(ini.tryGet("missing", "k", out));
  EXPECT_FALSE(ini.tryGet("s", "missing", out));
  EXPECT_EQ(out, "keep");
  EXPECT_EQ(ini.get("missing", "k"), "");
  EXPECT_EQ(ini.sections().count("missing"), 0u);
  EXPECT_TRUE(ini.tryGet("s", "k", out));
  EXPECT_EQ(out, "v");
  ini.set("new", "a", "b");
  EXPECT_EQ(ini.get("new", "a"), "b");
}

TEST_F(IniFileTest, OpenLifecycle) {
  IniFile ini;
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
