// The text readers: words of a line and INI files.
#include <gtest/gtest.h>

#include "base/log.h"
#include "resources/ini_file.h"
#include "resources/parser.h"
#include "unit/scratch_dir.h"

TEST(Parser, OutOfRangeReportsPerOperation) {
  Log::Capture cap;
  Parser empty("   ", " ");
  EXPECT_EQ(empty.show(0), "");
  EXPECT_EQ(empty.val(-1), 0);
  EXPECT_EQ(empty.valf(3), 0.0f);
  EXPECT_FALSE(empty.isVal(0));
  empty.del(-1);
  empty.swap(0, "x");
  empty.ins(-2, "x");
  empty.ins(0, "x");  // past the end of a text without elements
  EXPECT_EQ(empty.getStr(), "   ");
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{
                             "FAIL: Parser.show: Element 0 nie istnieje", "FAIL: Parser.val: Element -1 nie istnieje",
                             "FAIL: Parser.val: Element 3 nie istnieje",  // valf shares it
                             "FAIL: Parser.isVal: Element 0 nie istnieje", "FAIL: Parser.del: Element -1 nie istnieje",
                             "FAIL: Parser.swap: Element 0 nie istnieje", "FAIL: Parser.ins: Element -2 nie istnieje",
                             "FAIL: Parser.ins: Element 0 nie istnieje"}));
}

// Deleting takes the run of separators after a word with it; a word given
// to swap or insert may hold separators and become several elements.
TEST(Parser, DeleteInsertSwap) {
  const struct {
    const char* start;
    char op;
    int at;
    const char *word, *want;
    int count;
  } rows[] = {
      {"a b c", 'd', 0, "", "b c", 2},     {"a b c", 'd', 2, "", "a b ", 2},  {"a\t \tb", 'd', 0, "", "b", 1},
      {"a b c", 's', 1, "x", "a x c", 3},  {"a b c", 's', 2, "y", "a b y ", 3}, {"a", 's', 0, "x", "x ", 1},
      {"a ", 'i', 0, "b", "a b", 2},       {"a b", 'i', -1, "x", "x a b", 3}, {"x a b", 'i', 0, "y z", "x y z a b", 5},
  };
  Parser p("", " \t");
  for (const auto& r : rows) {
    p.setStr(r.start);
    r.op == 'd' ? p.del(r.at) : r.op == 's' ? p.swap(r.at, r.word) : p.ins(r.at, r.word);
    EXPECT_EQ(p.getStr(), r.want) << r.start << ' ' << r.op << r.at;
    EXPECT_EQ(p.count(), r.count) << r.start << ' ' << r.op << r.at;
  }
  p.ins(4, "end");  // behind the last element the new word is separated from it
  EXPECT_EQ(p.show(5), "end");
  p.setSep("");
  EXPECT_EQ(p.count(), 0);
}

struct IniFileTest : ScratchDirTest {
  IniFile ini;
};

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

