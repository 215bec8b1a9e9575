#include <GL/glew.h>

#include "base/log.h"
#include "gl/gl_fixture.h"
#include "gl/render_helpers.h"
#include "render/sprite.h"
#include "render/text.h"

using namespace rendertest;

namespace {

using Pts = std::vector<std::pair<int, int>>;

// Glyphs are white boxes 6 wide (advance 7) and 10 high; 'W' is 9 wide
// (advance 10) and 'i' 2 wide (advance 3).
struct TextGl : GlTest {
  TestArchive ar;
  Sprite* font = nullptr;
  void SetUp() override {
    GlTest::SetUp();
    clearScreen(0, 0, 0);
    Image img(95 * 10, 10);
    std::string txt;
    for (int i = 0; i < 95; ++i) {
      const int w = i + 32 == 'W' ? 9 : i + 32 == 'i' ? 2 : 6;
      img.rect(i * 10, 0, w, 10, kWhite);
      txt += "1 " + std::to_string(i * 10) + " 0 " + std::to_string(w) + " 10 0 0\n";
    }
    ar.image("font", img).file("font.txt", txt).write();
    font = Sprite::get(ar.res("font"));
    ASSERT_NE(font, nullptr);
  }
  void TearDown() override {
    Log::Capture quiet;
    Sprite::flush(nullptr);
    Sprite::clear();
  }
  // A text with the frame loop's settings; it takes its own font reference.
  std::unique_ptr<Text> make(float x, float y, const char* s, int width = 640, int height = 128) {
    return std::make_unique<Text>(1, x, y, -999, 0, 0, Sprite::get(ar.res("font")), s, width,
                                  height, 16, 12, 32);
  }
  // Top-left corners of the laid-out glyphs, in order.
  static Pts glyphs(Text& t) {
    t.layout();
    Pts out;
    const VertexArray& v = t.buffer().verts;
    for (size_t i = 0; i + 3 < v.size(); i += 4)
      out.emplace_back(static_cast<int>(v[i].x), static_cast<int>(v[i].y));
    return out;
  }
};

}  // namespace

TEST_F(TextGl, TabStopsCountFromTheScreenEdge) {
  auto t = make(8, 20, "abc\tdef");
  // a, b, c at 8, 15, 22; the pen (29) goes to the stop at 32.
  EXPECT_EQ(glyphs(*t), (Pts{{8, 20}, {15, 20}, {22, 20}, {32, 20}, {39, 20}, {46, 20}}));
  t->setStr("abcd\tx");  // pen at 36 -> 64
  EXPECT_EQ(glyphs(*t).back(), std::make_pair(64, 20));
  t->setStr("a b");
  EXPECT_EQ(glyphs(*t), (Pts{{8, 20}, {27, 20}}));  // the space advances 12
}

TEST_F(TextGl, TwoDifferentWrapTests) {
  // The pen is compared with the width itself: after eight glyphs at x = 8
  // the pen is at 64 and the line breaks.
  auto t = make(8, 0, "aaaaaaaaaa", 64);
  Pts g = glyphs(*t);
  ASSERT_EQ(g.size(), 10u);
  EXPECT_EQ(g[7], std::make_pair(57, 0));
  EXPECT_EQ(g[8], std::make_pair(8, 16));
  // A word moves down only when it would end past x + width (72): "bbb"
  // ends at 69 and stays, "bbbb" would end at 76.
  t->setStr("aaaa bbb");
  EXPECT_EQ(glyphs(*t)[6], std::make_pair(62, 0));
  t->setStr("aaaa bbbb");
  EXPECT_EQ(glyphs(*t)[4], std::make_pair(8, 16));
  t->setStr("aaaa ");  // a trailing space measures an empty word
  EXPECT_EQ(glyphs(*t).size(), 4u);
  EXPECT_EQ(t->height, 128);
}

TEST_F(TextGl, NewlinesAlignmentAndHeight) {
  auto t = make(0, 0, "", 64);
  t->align = 1;
  t->setStr("ab\ncd");  // both lines 14 wide: 32 - 7 = 25
  EXPECT_EQ(glyphs(*t), (Pts{{25, 0}, {32, 0}, {25, 16}, {32, 16}}));
  t->align = 2;
  t->setStr("ab\nW");  // x + width - line width - 1
  EXPECT_EQ(glyphs(*t), (Pts{{49, 0}, {56, 0}, {53, 16}}));
  t->align = 0;
  t->setStr("a\r\nb");
  EXPECT_EQ(glyphs(*t), (Pts{{0, 0}, {0, 16}}));

  // The ninth line (pen 128 below y) raises the height to 144, the tenth to 160.
  auto tall = make(8, 8, "1\n2\n3\n4\n5\n6\n7\n8\n9");
  tall->layout();
  EXPECT_EQ(tall->height, 144);
  tall->setStr("1\n2\n3\n4\n5\n6\n7\n8\n9\n10");
  tall->layout();
  EXPECT_EQ(tall->height, 160);
}

TEST_F(TextGl, BytesWithoutGlyphsTakeTheSpaceAdvance) {
  auto t = make(0, 0, "a\x7f" "b\x01" "c\xe9" "d");
  EXPECT_EQ(glyphs(*t), (Pts{{0, 0}, {19, 0}, {38, 0}, {57, 0}}));
  EXPECT_EQ(t->buffer().count, 16u);
  EXPECT_EQ(t->wordWidth("Wi\xe9x"), 13);
  EXPECT_EQ(t->wordWidth(" ab"), 0);
  EXPECT_EQ(t->wordWidth(nullptr), 0);
  EXPECT_EQ(t->lineWidth("a b\tc\x7f"), 7 + 12 + 7 + 32 + 7 + 12);
  EXPECT_EQ(t->lineWidth("\n\nab\ncd"), 14);
  Text none;
  EXPECT_EQ(none.lineWidth("abc"), 0);
  EXPECT_EQ(none.wordWidth("abc"), 0);
}

TEST_F(TextGl, GlyphsReachTheScreen) {
  Camera::instance().x = 333;  // fixed on the screen whatever the camera does
  auto t = make(10, 20, "Wi");
  t->draw();
  const Rgba white{255, 255, 255, 255}, black{0, 0, 0, 255};
  EXPECT_EQ(countColour(10, 20, 9, 10, white), 90);
  EXPECT_EQ(pixel(19, 25), black);
  EXPECT_EQ(countColour(20, 20, 2, 10, white), 20);
  EXPECT_EQ(pixel(22, 25), black);
  EXPECT_EQ(pixel(10, 30), black);
  // Opacity applies at the next rebuild.
  t->alpha = 100.7f;
  t->addStr("");
  t->layout();
  EXPECT_EQ(t->buffer().verts[0].a, 100);
}

TEST_F(TextGl, StringsCopiesAndFontReferences) {
  const uint32_t refs = font->refs;
  {
    Log::Capture cap;
    Text t;
    t.setStr(nullptr);
    t.addStr(nullptr);
    t.setSprite(nullptr);
    EXPECT_EQ(cap.lines(), (std::vector<std::string>{"FAIL: Text.setStr: NULL str",
                                                     "FAIL: Text.setStr: NULL str",
                                                     "FAIL: Text.setSprite: NULL sprite"}));
    t.addStr("ab");  // like setStr on a text without a string
    t.addStr("cd");
    t.addStr(t.str());
    EXPECT_STREQ(t.str(), "abcdabcd");
  }
  {
    auto t = make(5, 6, "copy me", 300, 100);
    t->alpha = 20;
    t->align = 2;
    Text c(*t);
    EXPECT_EQ(font->refs, refs + 2);
    EXPECT_STREQ(c.str(), "copy me");
    EXPECT_EQ(c.alpha, 255);
    EXPECT_EQ(c.align, 0);
    // Handing the text another reference to the same font keeps one.
    t->setSprite(Sprite::get(ar.res("font")));
    EXPECT_EQ(font->refs, refs + 2);
  }
  EXPECT_EQ(font->refs, refs);
  // A font that is not in the cache is not copied; nor is a missing string.
  Sprite loose;
  Text a;
  a.font = &loose;
  Log::Capture cap;
  Text b(a);
  EXPECT_EQ(b.font, nullptr);
  EXPECT_EQ(cap.lines(), std::vector<std::string>{"FAIL: Text.setStr: NULL str"});
  a.font = nullptr;
}
