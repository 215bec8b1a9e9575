#include <gtest/gtest.h>

#include <cmath>

#include "core/log.h"
#include "resources/parser.h"

TEST(Parser, RunsOfSeparatorsAndEndsMakeNoEmptyElements) {
  Parser p("  a\t\tb  ", " \t");
  ASSERT_EQ(p.count(), 2);
  EXPECT_EQ(p.start(0), 2u);
  EXPECT_EQ(p.start(1), 5u);
  EXPECT_EQ(p.show(1), "b");

  Parser name("data/gfx.crs::npc_ptr:", ":");
  ASSERT_EQ(name.count(), 2);
  EXPECT_EQ(name.show(0), "data/gfx.crs");
  EXPECT_EQ(name.show(1), "npc_ptr");

  // A zero byte ends an element like the end of the text does, but only
  // while there are separators at all.
  Parser zero(std::string("ab\0cd", 5), " ");
  EXPECT_EQ(zero.count(), 2);
  Parser none("a b", "");
  EXPECT_EQ(none.count(), 0);
}

TEST(Parser, OutOfRangeReportsPerOperation) {
  Log::Capture cap;
  Parser empty("   ", " ");
  EXPECT_EQ(empty.count(), 0);
  EXPECT_EQ(empty.show(0), "");
  EXPECT_EQ(empty.val(-1), 0);
  EXPECT_EQ(empty.valf(3), 0.0f);
  EXPECT_FALSE(empty.isVal(0));
  empty.del(-1);
  empty.swap(0, "x");
  empty.ins(-2, "x");
  EXPECT_EQ(empty.getStr(), "   ");
  EXPECT_TRUE(cap.has("FAIL: Parser.show: Element 0 nie istnieje"));
  EXPECT_TRUE(cap.has("FAIL: Parser.val: Element -1 nie istnieje"));
  EXPECT_TRUE(cap.has("FAIL: Parser.val: Element 3 nie istnieje"));  // valf shares it
  EXPECT_TRUE(cap.has("FAIL: Parser.isVal: Element 0 nie istnieje"));
  EXPECT_TRUE(cap.has("FAIL: Parser.del: Element -1 nie istnieje"));
  EXPECT_TRUE(cap.has("FAIL: Parser.swap: Element 0 nie istnieje"));
  EXPECT_TRUE(cap.has("FAIL: Parser.ins: Element -2 nie istnieje"));
  EXPECT_EQ(cap.lines().size(), 7u);
}

TEST(Parser, Numbers) {
  Parser p("007 -7 12abc 1.5 +3 0 -0 2147483648 1e400 -1e400 x", " ");
  EXPECT_FALSE(p.isVal(0));
  EXPECT_EQ(p.val(0), 7);
  EXPECT_TRUE(p.isVal(1));
  EXPECT_EQ(p.val(2), 12);
  EXPECT_FALSE(p.isVal(2));
  EXPECT_FLOAT_EQ(p.valf(3), 1.5f);
  EXPECT_FALSE(p.isVal(3));
  EXPECT_FALSE(p.isVal(4));
  EXPECT_TRUE(p.isVal(5));
  EXPECT_FALSE(p.isVal(6));
  EXPECT_FALSE(p.isVal(7));  // does not survive the round trip through int
  EXPECT_TRUE(std::isinf(p.valf(8)) && p.valf(8) > 0);
  EXPECT_TRUE(std::isinf(p.valf(9)) && p.valf(9) < 0);
  EXPECT_EQ(p.val(10), 0);
  EXPECT_EQ(p.valf(10), 0.0f);
}

TEST(Parser, DeleteInsertSwap) {
  Parser p("a b c", " \t");
  p.del(0);
  EXPECT_EQ(p.getStr(), "b c");
  p.setStr("a b c");
  p.del(2);
  EXPECT_EQ(p.getStr(), "a b ");
  EXPECT_EQ(p.count(), 2);

  p.setStr("a b c");
  p.swap(1, "x");
  EXPECT_EQ(p.getStr(), "a x c");
  p.swap(2, "y");
  EXPECT_EQ(p.getStr(), "a x y ");
  EXPECT_EQ(p.count(), 3);
  p.setStr("a");
  p.swap(0, "x");
  EXPECT_EQ(p.getStr(), "x ");
  EXPECT_EQ(p.count(), 1);

  p.setStr("a b");
  p.ins(-1, "x");
  EXPECT_EQ(p.getStr(), "x a b");
  p.ins(0, "y z");  // a word with separators becomes several elements
  EXPECT_EQ(p.getStr(), "x y z a b");
  EXPECT_EQ(p.count(), 5);
  // Behind the last element the new word is separated from it.
  p.ins(4, "end");
  EXPECT_EQ(p.show(5), "end");
  p.setStr("a ");
  p.ins(0, "b");
  EXPECT_EQ(p.getStr(), "a b");

  // Deleting the first of several words separated by runs takes the run.
  p.setStr("a\t \tb");
  p.del(0);
  EXPECT_EQ(p.getStr(), "b");
  p.setSep("");
  EXPECT_EQ(p.count(), 0);
}
