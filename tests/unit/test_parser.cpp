// The word reader: the words of a line and the operations on them.
#include <gtest/gtest.h>

#include "base/log.h"
#include "resources/parser.h"

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
