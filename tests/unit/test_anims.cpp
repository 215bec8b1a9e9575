#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "base/log.h"
#include "render/sprite.h"

namespace {

// "x y w h | speed loop | box | frames", equal frames in a row as "n*a,b,c,d".
std::string desc(const Sprite::Anim* a) {
  if (!a) return "none";
  std::ostringstream o;
  o << a->x << ' ' << a->y << ' ' << a->w << ' ' << a->h << " | " << a->speed << ' '
    << a->loopFrame << " | " << a->boxX1 << ' ' << a->boxY1 << ' ' << a->boxX2 << ' ' << a->boxY2
    << " |";
  for (size_t i = 0; i < a->frames.size();) {
    const auto& f = a->frames[i];
    size_t n = 1;
    while (i + n < a->frames.size() && a->frames[i + n].offsetX == f.offsetX &&
           a->frames[i + n].offsetY == f.offsetY && a->frames[i + n].offsetX2 == f.offsetX2 &&
           a->frames[i + n].offsetY2 == f.offsetY2)
      ++n;
    o << ' ' << n << '*' << f.offsetX << ',' << f.offsetY << ',' << f.offsetX2 << ','
      << f.offsetY2;
    i += n;
  }
  return o.str();
}

struct Anims : ::testing::Test {
  Sprite s;
  std::vector<std::string> lines;
  bool parse(const char* text) {
    Log::Capture cap;
    bool ok = s.parseAnims(text);
    lines = cap.lines();
    return ok;
  }
  std::string anim(uint32_t i) { return desc(s.getAnim(i)); }
};

}  // namespace

TEST_F(Anims, LinesNamesLookupsAndBadNumbers) {
  ASSERT_TRUE(parse("anim 0 0 32 48 10\n"
                    "anim 1 2 3 4 5 6 7 8 9\n"
                    "anim 0 0 32 48 10 2 0 0 31 47 walk extra words\n"
                    "-- comment line\r\n"
                    "anim 0 0 16 16 5\nframe 3 1 2 3 4\n\n\n"
                    "anim 0 16 16 16 5\nframe 3 7 8\nframe 0 9 9\nframe 2\n"
                    "4 0 64 16 16 8 15\n"
                    "2 0 0 8 8 1 1 25 1\n"
                    "0 0 0 8 8 1 1\n"
                    "3 0 0 8 8 1\n"
                    "something else entirely\n"));
  const char* expected[] = {
      "0 0 32 48 | 10 0 | 0 0 32 48 | 1*0,0,0,0",  "1 2 3 4 | 5 6 | 0 0 3 4 | 1*0,0,0,0",
      "0 0 32 48 | 10 2 | 0 0 31 47 | 1*0,0,0,0",  "0 0 16 16 | 5 0 | 0 0 16 16 | 3*1,2,3,4",
      "0 16 16 16 | 5 0 | 0 0 16 16 | 3*7,8,7,8 3*0,0,0,0",
      "0 64 16 16 | 100 0 | 0 0 16 16 | 4*8,15,8,15", "0 0 8 8 | 25 1 | 0 0 8 8 | 2*1,1,1,1",
      "0 0 8 8 | 100 0 | 0 0 8 8 | 1*0,0,0,0",  // count 0: the filler frame
  };
  ASSERT_EQ(s.getAnimCount(), std::size(expected));
  for (uint32_t i = 0; i < std::size(expected); ++i) EXPECT_EQ(anim(i), expected[i]) << i;
  EXPECT_EQ(s.animsByName, (std::map<std::string, uint32_t>{{"walk", 2}}));
  EXPECT_TRUE(lines.empty());

  // A "frame" line without a count: the parser's own line, one zero frame.
  ASSERT_TRUE(parse("anim 0 0 8 8 1\nframe"));
  EXPECT_EQ(anim(0), "0 0 8 8 | 1 0 | 0 0 8 8 | 1*0,0,0,0");
  EXPECT_EQ(lines, std::vector<std::string>{"FAIL: Parser.val: Element 1 nie istnieje"});

  // A short "anim" line stops the reading; names read before it count, a
  // repeated name keeps the later animation, an unknown one gives null once.
  ASSERT_TRUE(parse("anim 0 0 8 8 1 0 0 0 8 8 walk\nanim 0 8 8 8 1 0 0 0 8 8 run\n"
                    "anim 0 16 8 8 1 0 0 0 8 8 walk\nanim 0 8 8 8\nanim 0 16 8 8 1 0 0 0 8 8 second\n"));
  EXPECT_EQ(s.getAnimCount(), 3u);
  EXPECT_EQ(lines, std::vector<std::string>{"INFO: Sprite.loadAnim: Brak wymaganych informacji (\"anim 0 8 8 8\")"});
  EXPECT_EQ(s.findAnim("walk"), s.getAnim(2));
  EXPECT_EQ(s.indexOf(s.findAnim("run")), 1);
  EXPECT_EQ(s.findAnim("second"), nullptr);
  EXPECT_EQ(s.findAnim("second"), s.getAnim(0));
  EXPECT_EQ(s.findAnim(nullptr), nullptr);
  EXPECT_EQ(s.getAnim(3), nullptr);
  // A sprite without animations answers null even after registering.
  Sprite bare;
  EXPECT_EQ(bare.findAnim("x"), nullptr);
  EXPECT_EQ(bare.findAnim("x"), nullptr);
  EXPECT_EQ(bare.indexOf(s.getAnim(0)), -1);
  // Nothing defined at all: the sprite cannot be used.
  for (const char* text : {"", "-- only a comment\n", "anim 1 2\n", "frame 2 1 1\n"}) EXPECT_FALSE(parse(text)) << text;
  EXPECT_FALSE(parse(nullptr));

  // Bad numbers and frames without an animation are skipped and named; caps hold.
  const std::vector<std::string> bad = {
      "frame 3 1 1",      "anim 0 0 -8 8 1",  "anim 0 0 8 8 1 -1", "anim 0 0 8 8 1 0 0 0 8 -8 n",
      "frame 2 -1 4",     "frame 2 1 2 3 -4", "frame 99999999 0 0", "5 0 0 8 8 -2 0",
      "2 0 0 8 8 1 1 -5", "999999 0 0 8 8 1 1"};
  std::string text;
  for (size_t i = 0; i < bad.size(); ++i) text += bad[i] + (i == 3 ? "\nanim 0 0 8 8 1\n" : "\n");
  text += "-3 0 0 8 8 1 1\n";  // a negative count is a count below 1: no frames
  ASSERT_TRUE(parse(text.c_str()));
  ASSERT_EQ(s.getAnimCount(), 2u);
  EXPECT_EQ(anim(0), "0 0 8 8 | 1 0 | 0 0 8 8 | 1*0,0,0,0");
  EXPECT_EQ(anim(1), "0 0 8 8 | 100 0 | 0 0 8 8 | 1*0,0,0,0");
  ASSERT_EQ(lines.size(), bad.size());
  for (size_t i = 0; i < bad.size(); ++i) EXPECT_EQ(lines[i], "INFO: Sprite.loadAnim: Bledna linia (\"" + bad[i] + "\")");

  // 16384 frames per animation, about a million per sprite.
  text = "anim 0 0 1 1 1\nframe 16384\nframe 1\n";
  for (int i = 0; i < 70; ++i) text += "anim 0 0 1 1 1\nframe 16384\n";
  ASSERT_TRUE(parse(text.c_str()));
  ASSERT_EQ(s.getAnimCount(), 71u);
  EXPECT_EQ(s.getAnim(0)->frames.size(), 16384u);
  EXPECT_EQ(s.getAnim(70)->frames.size(), 1u);  // refused, then the filler frame
  EXPECT_EQ(lines.front(), "INFO: Sprite.loadAnim: Bledna linia (\"frame 1\")");
}

// Timer 1.0 exactly does not advance; past the end the clock goes on from
// the loop frame (or holds the last one); huge or infinite rates never spin.
TEST(AnimClock, StepsLoopsAndOvershoot) {
  struct Row {
    const char* name;
    uint32_t count, loop;
    float rate, dt, timer;
    uint32_t frame, wantFrame;
    float wantTimer;
  };
  const Row rows[] = {
      {"exactly one waits", 4, 2, 4, 0.125f, 0.5f, 0, 0, 1.0f},
      {"loops to frame 2", 4, 2, 4, 0.125f, 1.0f, 3, 2, 0.5f},
      {"several steps at once", 4, 1, 10, 0.5f, 0, 0, 1, 1.0f},
      {"loop frame past the count", 3, 7, 2, 1.0f, 1.0f, 2, 2, 1.0f},
      {"one frame", 1, 0, 100, 1.0f, 0.25f, 0, 0, 0.25f},
      {"no frame", 0, 0, 100, 1.0f, 0.25f, 0, 0, 0.25f},
      {"giant rate", 5, 3, 4.0e9f, 0.5f, 0, 0, 3, 0},
      {"infinite rate", 5, 3, INFINITY, 0.5f, 0.5f, 3, 3, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    float timer = r.timer;
    uint32_t frame = r.frame;
    advanceAnimClock(timer, frame, r.count, r.loop, r.rate, r.dt);
    EXPECT_EQ(frame, r.wantFrame);
    EXPECT_FLOAT_EQ(timer, r.wantTimer);
  }
}

TEST(SpriteMask, IsSolidStaysInsideTheImage) {
  // 4 x 3 image: an animation of 2 x 3 at x = 2, the image's right border.
  Sprite s;
  s.width = 4;
  s.height = 3;
  s.mask = {0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 1, 1};
  Sprite::Anim a;
  a.x = 2, a.w = 2, a.h = 3, a.boxX2 = 2, a.boxY2 = 3;
  a.frames.resize(1);
  s.anims.push_back(a);
  EXPECT_TRUE(s.isSolid(0, 0, 0));
  EXPECT_FALSE(s.isSolid(1, 1, 0));
  // Far edges of the box, one step beyond it, and far away: never outside the image.
  for (auto [x, y] : {std::pair<uint32_t, uint32_t>{2, 0}, {0, 3}, {3, 0}, {0xffffffffu, 0xffffffffu}})
    EXPECT_FALSE(s.isSolid(x, y, 0)) << x << "," << y;
  // Out-of-range animation or no mask at all: solid.
  EXPECT_TRUE(s.isSolid(100, 100, 1));
  EXPECT_TRUE(Sprite().isSolid(5, 5, 0));
  // A narrowed box: points left of it are free even on solid pixels.
  s.anims[0].boxX1 = 1;
  EXPECT_FALSE(s.isSolid(0, 0, 0));
  EXPECT_TRUE(s.isSolid(1, 0, 0));
  s.mask.resize(5);  // a hand-made mask smaller than width x height is never overrun
  EXPECT_FALSE(s.isSolid(1, 2, 0));
}

// The last four characters of the image name give way to the definition's extension.
TEST(SpriteFiles, DefinitionNameBesideTheImage) {
  EXPECT_EQ(Sprite::resourceFileName("data/gfx.crs:npc_ptr", ".png"), "data/gfx.crs:npc_ptr.png");
  EXPECT_EQ(Sprite::resourceFileName("a.crs:b.c.jpeg", ".png"), "a.crs:b.c..png");
}
