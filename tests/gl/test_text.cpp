#include "gl/gl_fixture.h"
#include "render/text.h"

namespace {

using Pts = std::vector<std::pair<int, int>>;

// Glyphs are white boxes 6 wide (advance 7) and 10 high; 'W' is 9 wide
// (advance 10) and 'i' 2 wide (advance 3).
struct TextGl : GlTest {
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
    ar.image("font", img, txt).write();
    font = Sprite::get(ar.res("font"));
    ASSERT_NE(font, nullptr);
  }
  // A text with the frame loop's settings (line 16, space 12, tab 32); it
  // takes its own font reference.
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

// Glyphs on one line from x, y, `step` apart.
Pts run(int x, int y, int n, int step = 7) {
  Pts out;
  for (int i = 0; i < n; ++i) out.emplace_back(x + i * step, y);
  return out;
}
Pts operator+(Pts a, const Pts& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

}  // namespace

TEST_F(TextGl, Layout) {
  const struct {
    const char* text;
    int x, y, width, align;
    Pts want;
    int height = 128;
  } rows[] = {
      // Tab stops count from the screen edge: the pen (29) goes to 32, 36 to 64.
      {"abc\tdef", 8, 20, 640, 0, run(8, 20, 3) + run(32, 20, 3)},
      {"abcd\tx", 8, 20, 640, 0, run(8, 20, 4) + run(64, 20, 1)},
      {"a b", 8, 20, 640, 0, {{8, 20}, {27, 20}}},  // the space advances 12
      // The pen is compared with the width itself: at 64 the line breaks.
      {"aaaaaaaaaa", 8, 0, 64, 0, run(8, 0, 8) + run(8, 16, 2)},
      // A word moves down only when it would end past x + width (72): "bbb"
      // ends at 69 and stays, "bbbb" would end at 76.
      {"aaaa bbb", 8, 0, 64, 0, run(8, 0, 4) + run(48, 0, 3)},
      {"aaaa bbbb", 8, 0, 64, 0, run(8, 0, 4) + run(8, 16, 4)},
      {"aaaa ", 8, 0, 64, 0, run(8, 0, 4)},  // a trailing space measures an empty word
      {"ab\ncd", 0, 0, 64, 1, run(25, 0, 2) + run(25, 16, 2)},  // both 14 wide: 32 - 7
      {"ab\nW", 0, 0, 64, 2, run(49, 0, 2) + run(53, 16, 1)},   // x + width - line width - 1
      {"a\r\nb", 0, 0, 64, 0, {{0, 0}, {0, 16}}},
      // Bytes without glyphs take the space advance.
      {"a\x7f" "b\x01" "c\xe9" "d", 0, 0, 640, 0, run(0, 0, 4, 19)},
      // The ninth line (pen 128 below y) raises the height to 144, the tenth to 160.
      {"1\n2\n3\n4\n5\n6\n7\n8\n9", 8, 8, 640, 0, {}, 144},
      {"1\n2\n3\n4\n5\n6\n7\n8\n9\n10", 8, 8, 640, 0, {}, 160},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    auto t = make(float(row.x), float(row.y), "", row.width);
    t->align = row.align;
    t->setStr(row.text);
    const Pts g = glyphs(*t);
    if (!row.want.empty()) {
      EXPECT_EQ(g, row.want);
    }
    EXPECT_EQ(t->buffer().count, 4 * g.size());
    EXPECT_EQ(t->height, row.height);
  }
  auto t = make(0, 0, "");
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
  EXPECT_EQ(countColour(10, 20, 9, 10, kWhite), 90);
  EXPECT_EQ(countColour(20, 20, 2, 10, kWhite), 20);
  expectPixels({{19, 25, kBlack}, {22, 25, kBlack}, {10, 30, kBlack}});
  // Opacity applies at the next rebuild.
  t->alpha = 100.7f;
  t->addStr("");
  t->layout();
  EXPECT_EQ(t->buffer().verts[0].a, 100);
  // A copy takes the string and its own font reference, not the opacity.
  const uint32_t refs = font->refs;
  {
    Text c(*t);
    EXPECT_EQ(font->refs, refs + 1);
    EXPECT_STREQ(c.str(), "Wi");
    EXPECT_EQ(c.alpha, 255);
  }
  EXPECT_EQ(font->refs, refs);
}
