#include <gtest/gtest.h>

#include <cmath>

#include "base/log.h"
#include "resources/parser.h"

TEST(Parser, RunsOfSeparatorsAndEndsMakeNoEmptyElements) {
  Parser p("  a\t\tb  ", " \t");
  ASSERT_EQ(p.count(), 2);
  EXPECT_EQ(p.start(1), 5u);
  EXPECT_EQ(p.show(1), "b");
  Parser name("data/gfx.crs::npc_ptr:", ":");
  ASSERT_EQ(name.count(), 2);
  EXPECT_EQ(name.show(0), "data/gfx.crs");
  EXPECT_EQ(name.show(1), "npc_ptr");
  // A zero byte ends an element like the end of the text, but only while there are separators.
  EXPECT_EQ(Parser(std::string("ab\0cd", 5), " ").count(), 2);
  EXPECT_EQ(Parser("a b", "").count(), 0);
}

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

TEST(Parser, Numbers) {
  Parser p("007 -7 12abc 1.5 +3 0 -0 2147483648 1e400 -1e400 x", " ");
  const bool isVal[] = {false, true, false, false, false, true, false, false};  // 7: no int round trip
  for (int i = 0; i < 8; ++i) EXPECT_EQ(p.isVal(i), isVal[i]) << i;
  EXPECT_EQ(p.val(0), 7);
  EXPECT_EQ(p.val(2), 12);
  EXPECT_FLOAT_EQ(p.valf(3), 1.5f);
  EXPECT_TRUE(std::isinf(p.valf(8)) && p.valf(8) > 0);
  EXPECT_TRUE(std::isinf(p.valf(9)) && p.valf(9) < 0);
  EXPECT_EQ(p.val(10), 0);
  EXPECT_EQ(p.valf(10), 0.0f);
}

TEST(Parser, DeleteInsertSwap) {
  Parser p("a b c", " \t");
  auto after = [&](const char* start, auto edit) {
    p.setStr(start);
    edit();
    return p.getStr();
  };
  EXPECT_EQ(after("a b c", [&] { p.del(0); }), "b c");
  EXPECT_EQ(after("a b c", [&] { p.del(2); }), "a b ");
  EXPECT_EQ(p.count(), 2);
  EXPECT_EQ(after("a\t \tb", [&] { p.del(0); }), "b");  // the run goes with the first word
  EXPECT_EQ(after("a b c", [&] { p.swap(1, "x"); }), "a x c");
  EXPECT_EQ(after("a b c", [&] { p.swap(2, "y"); }), "a b y ");
  EXPECT_EQ(p.count(), 3);
  EXPECT_EQ(after("a", [&] { p.swap(0, "x"); }), "x ");
  EXPECT_EQ(after("a ", [&] { p.ins(0, "b"); }), "a b");
  EXPECT_EQ(after("a b", [&] { p.ins(-1, "x"); }), "x a b");
  p.ins(0, "y z");  // a word with separators becomes several elements
  EXPECT_EQ(p.getStr(), "x y z a b");
  EXPECT_EQ(p.count(), 5);
  p.ins(4, "end");  // behind the last element the new word is separated from it
  EXPECT_EQ(p.show(5), "end");
  p.setSep("");
  EXPECT_EQ(p.count(), 0);
}
