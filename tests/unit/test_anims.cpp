#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "core/log.h"
#include "render/sprite.h"
#include "resources/resfile_writer.h"

namespace fs = std::filesystem;

namespace {

// A sprite built without GL, as objects and tests make them.
struct Anims : ::testing::Test {
  Sprite s;
  void SetUp() override {
    s.width = 128;
    s.height = 64;
  }
  bool parse(const char* text) {
    Log::Capture cap;
    bool ok = s.parseAnims(text);
    lines = cap.lines();
    return ok;
  }
  std::vector<std::string> lines;
};

void expectFrame(const Sprite::Frame& f, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  EXPECT_EQ(f.offsetX, a);
  EXPECT_EQ(f.offsetY, b);
  EXPECT_EQ(f.offsetX2, c);
  EXPECT_EQ(f.offsetY2, d);
}

}  // namespace

TEST_F(Anims, AnimLineWordCounts) {
  ASSERT_TRUE(parse("anim 0 0 32 48 10"));
  ASSERT_EQ(s.getAnimCount(), 1u);
  const Sprite::Anim* a = s.getAnim(0);
  EXPECT_EQ(a->speed, 10u);
  EXPECT_EQ(a->loopFrame, 0u);
  EXPECT_EQ(a->boxX1, 0u);
  EXPECT_EQ(a->boxY1, 0u);
  EXPECT_EQ(a->boxX2, 32u);
  EXPECT_EQ(a->boxY2, 48u);
  ASSERT_EQ(a->frames.size(), 1u);
  expectFrame(a->frames[0], 0, 0, 0, 0);
  EXPECT_TRUE(s.animsByName.empty());

  // Seven to ten words: loop frame only, default box.
  ASSERT_TRUE(parse("anim 1 2 3 4 5 6 7 8 9"));
  EXPECT_EQ(s.getAnim(0)->loopFrame, 6u);
  EXPECT_EQ(s.getAnim(0)->boxX1, 0u);
  EXPECT_EQ(s.getAnim(0)->boxX2, 3u);

  ASSERT_TRUE(parse("anim 0 0 32 48 10 2 0 0 31 47"));
  a = s.getAnim(0);
  EXPECT_EQ(a->loopFrame, 2u);
  EXPECT_EQ(a->boxX2, 31u);
  EXPECT_EQ(a->boxY2, 47u);
  EXPECT_TRUE(s.animsByName.empty());

  ASSERT_TRUE(parse("anim 0 0 32 48 10 2 0 0 31 47 walk extra words"));
  EXPECT_EQ(s.findAnim("walk"), s.getAnim(0));
  EXPECT_EQ(s.findAnim("extra"), nullptr);
}

TEST_F(Anims, FrameAndNumericLines) {
  ASSERT_TRUE(parse(
      "-- comment line\r\n"
      "anim 0 0 16 16 5\n"
      "frame 3 1 2 3 4\n"
      "\n\n"
      "anim 0 16 16 16 5\n"
      "frame 3 7 8\n"
      "frame 0 9 9\n"
      "anim 0 32 16 16 5\n"
      "frame 2\n"
      "4 0 64 16 16 8 15\n"
      "2 0 0 8 8 1 1 25 1\n"
      "0 0 0 8 8 1 1\n"
      "3 0 0 8 8 1\n"
      "something else entirely\n"));
  ASSERT_EQ(s.getAnimCount(), 6u);
  const Sprite::Anim* a = s.getAnim(0);
  ASSERT_EQ(a->frames.size(), 3u);
  for (const auto& f : a->frames) expectFrame(f, 1, 2, 3, 4);
  a = s.getAnim(1);
  ASSERT_EQ(a->frames.size(), 4u);  // three (a, b, a, b), then one of zeros for count 0
  for (int i = 0; i < 3; ++i) expectFrame(a->frames[i], 7, 8, 7, 8);
  expectFrame(a->frames[3], 0, 0, 0, 0);
  a = s.getAnim(2);
  ASSERT_EQ(a->frames.size(), 2u);
  expectFrame(a->frames[1], 0, 0, 0, 0);

  a = s.getAnim(3);  // 4 0 64 16 16 8 15
  EXPECT_EQ(a->y, 64u);
  EXPECT_EQ(a->speed, 100u);
  EXPECT_EQ(a->boxX2, 16u);
  ASSERT_EQ(a->frames.size(), 4u);
  for (const auto& f : a->frames) expectFrame(f, 8, 15, 8, 15);
  EXPECT_EQ(s.getAnim(4)->speed, 25u);
  EXPECT_EQ(s.getAnim(4)->loopFrame, 1u);
  // A count of 0 adds no frames; the animation still gets its one frame.
  ASSERT_EQ(s.getAnim(5)->frames.size(), 1u);
  EXPECT_TRUE(lines.empty());

  // A "frame" line without a count: the parser's own line, one zero frame.
  ASSERT_TRUE(parse("anim 0 0 8 8 1\nframe"));
  EXPECT_EQ(s.getAnim(0)->frames.size(), 1u);
  EXPECT_EQ(lines, std::vector<std::string>{"FAIL: Parser.val: Element 1 nie istnieje"});
}

TEST_F(Anims, ShortAnimLineStopsReading) {
  ASSERT_TRUE(parse("anim 0 0 8 8 1 0 0 0 8 8 first\n"
                    "anim 0 8 8 8\n"
                    "anim 0 16 8 8 1 0 0 0 8 8 second\n"));
  EXPECT_EQ(s.getAnimCount(), 1u);
  EXPECT_EQ(lines, std::vector<std::string>{
                       "INFO: Sprite.loadAnim: Brak wymaganych informacji (\"anim 0 8 8 8\")"});
  // Names collected before the stop are still registered.
  EXPECT_EQ(s.findAnim("first"), s.getAnim(0));

  // Nothing defined at all: the sprite cannot be used.
  EXPECT_FALSE(parse(""));
  EXPECT_FALSE(parse("-- only a comment\n"));
  EXPECT_FALSE(parse("anim 1 2\n"));
  EXPECT_FALSE(parse(nullptr));
}

TEST_F(Anims, NamesAndFallbackLookups) {
  ASSERT_TRUE(parse("anim 0 0 8 8 1 0 0 0 8 8 walk\n"
                    "anim 0 8 8 8 1 0 0 0 8 8 run\n"
                    "anim 0 16 8 8 1 0 0 0 8 8 walk\n"));
  EXPECT_EQ(s.findAnim("walk"), s.getAnim(2));  // a repeated name keeps the later one
  EXPECT_EQ(s.findAnim("run"), s.getAnim(1));
  EXPECT_EQ(s.indexOf(s.findAnim("run")), 1);
  // An unknown name: null once, animation 0 from then on.
  EXPECT_EQ(s.findAnim("swim"), nullptr);
  EXPECT_EQ(s.findAnim("swim"), s.getAnim(0));
  EXPECT_EQ(s.findAnim(nullptr), nullptr);
  EXPECT_EQ(s.getAnim(3), nullptr);
  EXPECT_EQ(s.getAnim(0xffffffffu), nullptr);

  // A sprite without animations answers null even after registering.
  Sprite bare;
  EXPECT_EQ(bare.findAnim("x"), nullptr);
  EXPECT_EQ(bare.findAnim("x"), nullptr);
  EXPECT_EQ(bare.indexOf(s.getAnim(0)), -1);
}

TEST_F(Anims, BadNumbersAndOrphanFramesAreSkipped) {
  ASSERT_TRUE(parse("frame 3 1 1\n"
                    "anim 0 0 -8 8 1\n"
                    "anim 0 0 8 8 1 -1\n"
                    "anim 0 0 8 8 1 0 0 0 8 -8 neg\n"
                    "anim 0 0 8 8 1\n"
                    "frame 2 -1 4\n"
                    "frame 2 1 2 3 -4\n"
                    "frame 99999999 0 0\n"
                    "5 0 0 8 8 -2 0\n"
                    "-3 0 0 8 8 1 1\n"
                    "2 0 0 8 8 1 1 -5\n"
                    "999999 0 0 8 8 1 1\n"));
  // Only the well-formed animation and the numeric line with a negative
  // count (no frames, so one zero frame) remain.
  ASSERT_EQ(s.getAnimCount(), 2u);
  EXPECT_EQ(s.getAnim(0)->frames.size(), 1u);
  EXPECT_EQ(s.getAnim(1)->frames.size(), 1u);
  EXPECT_TRUE(s.animsByName.empty());
  const char* skipped[] = {"frame 3 1 1",           "anim 0 0 -8 8 1",
                           "anim 0 0 8 8 1 -1",     "anim 0 0 8 8 1 0 0 0 8 -8 neg",
                           "frame 2 -1 4",          "frame 2 1 2 3 -4",
                           "frame 99999999 0 0",    "5 0 0 8 8 -2 0",
                           "2 0 0 8 8 1 1 -5",      "999999 0 0 8 8 1 1"};
  ASSERT_EQ(lines.size(), std::size(skipped));
  for (size_t i = 0; i < lines.size(); ++i)
    EXPECT_EQ(lines[i], std::string("INFO: Sprite.loadAnim: Bledna linia (\"") + skipped[i] + "\")");
}

TEST_F(Anims, HostileTextNeverBreaksTheReader) {
  std::mt19937 rng(1234);
  const char* words[] = {"anim", "frame", "--", "0", "1", "7", "-1", "2147483647", "-2147483648",
                         "99999999999", "16385", "x", "walk", "\t", " ", "\n", "\r"};
  for (int round = 0; round < 400; ++round) {
    std::string text;
    const int n = rng() % 60;
    for (int i = 0; i < n; ++i) {
      text += words[rng() % std::size(words)];
      text += (rng() % 4) ? " " : "\n";
    }
    Log::Capture quiet;
    const bool ok = s.parseAnims(text.c_str());
    EXPECT_EQ(ok, s.getAnimCount() > 0);
    size_t frames = 0;
    for (const auto& a : s.anims) {
      EXPECT_GE(a.frames.size(), 1u);
      EXPECT_LE(a.frames.size(), 16384u);
      frames += a.frames.size();
    }
    for (const auto& named : s.animsByName) EXPECT_LT(named.second, s.getAnimCount());
    EXPECT_LE(frames, 16384u * 60);
  }
}

TEST_F(Anims, FrameCountsAreCapped) {
  // 16384 frames per animation, about a million per sprite.
  std::string text = "anim 0 0 1 1 1\nframe 16384\nframe 1\n";
  for (int i = 0; i < 70; ++i) text += "anim 0 0 1 1 1\nframe 16384\n";
  ASSERT_TRUE(parse(text.c_str()));
  ASSERT_EQ(s.getAnimCount(), 71u);
  EXPECT_EQ(s.getAnim(0)->frames.size(), 16384u);
  size_t total = 0;
  for (const auto& a : s.anims) total += a.frames.size();
  EXPECT_LE(total, (size_t(1) << 20) + s.getAnimCount());  // plus the filler frames
  EXPECT_EQ(s.getAnim(70)->frames.size(), 1u);  // refused, then the one zero frame
  EXPECT_EQ(lines.front(), "INFO: Sprite.loadAnim: Bledna linia (\"frame 1\")");
}

TEST(AnimClock, TimerOfExactlyOneWaits) {
  Sprite::Anim a;
  a.speed = 4;
  a.frames.resize(4);
  a.loopFrame = 2;
  float timer = 0;
  uint32_t frame = 0;
  advanceAnimClock(timer, frame, a, 0, 0.125f);
  EXPECT_FLOAT_EQ(timer, 0.5f);
  advanceAnimClock(timer, frame, a, 0, 0.125f);
  EXPECT_EQ(timer, 1.0f);
  EXPECT_EQ(frame, 0u);
  advanceAnimClock(timer, frame, a, 0, 0.125f);
  EXPECT_EQ(frame, 1u);
  EXPECT_FLOAT_EQ(timer, 0.5f);

  // Frames run 0, 1, 2, 3, 2, 3 with loop frame 2, two updates per frame.
  std::vector<uint32_t> seen;
  timer = 0;
  frame = 0;
  for (int i = 0; i < 12; ++i) {
    advanceAnimClock(timer, frame, a, 0, 0.125f);
    if (i % 2 == 0) seen.push_back(frame);
  }
  EXPECT_EQ(seen, (std::vector<uint32_t>{0, 1, 2, 3, 2, 3}));

  // The object's own speed wins over the animation's.
  timer = 0;
  frame = 0;
  advanceAnimClock(timer, frame, a, 12, 0.125f);
  EXPECT_EQ(frame, 1u);
  EXPECT_FLOAT_EQ(timer, 0.5f);
}

TEST(AnimClock, OvershootAndOddLoopFrames) {
  float timer = 0;
  uint32_t frame = 0;
  // Several frames in one update; past the end it continues at the loop
  // frame, with no wrap-around arithmetic.
  advanceAnimClock(timer, frame, 4, 1, 10, 0.5f);  // timer 5 -> 4 steps, frame 4 -> 1
  EXPECT_EQ(frame, 1u);
  EXPECT_FLOAT_EQ(timer, 1.0f);

  // A loop frame at or past the frame count stays inside the list.
  timer = 0;
  frame = 2;
  advanceAnimClock(timer, frame, 3, 7, 2, 1.0f);
  EXPECT_EQ(frame, 2u);
  advanceAnimClock(timer, frame, 3, 0xffffffffu, 100, 0.5f);
  EXPECT_EQ(frame, 2u);

  // One frame or none: nothing moves.
  timer = 0.25f;
  frame = 0;
  advanceAnimClock(timer, frame, 1, 0, 100, 1.0f);
  advanceAnimClock(timer, frame, 0, 0, 100, 1.0f);
  EXPECT_EQ(frame, 0u);
  EXPECT_EQ(timer, 0.25f);

  // A giant rate must neither spin nor leave the list.
  timer = 0;
  frame = 0;
  advanceAnimClock(timer, frame, 5, 3, 4.0e9f, 0.5f);
  EXPECT_EQ(frame, 3u);
  EXPECT_LE(timer, 1.0f);
  advanceAnimClock(timer, frame, 5, 3, INFINITY, 0.5f);
  EXPECT_LT(frame, 5u);
  EXPECT_EQ(timer, 0.0f);
}

TEST(SpriteMask, IsSolidStaysInsideTheImage) {
  // 4 x 3 image: an animation of 2 x 3 at x = 2, the image's right border.
  Sprite s;
  s.width = 4;
  s.height = 3;
  s.mask = {0, 0, 1, 1,  //
            0, 0, 1, 0,  //
            0, 0, 1, 1};
  Sprite::Anim a;
  a.x = 2;
  a.w = 2;
  a.h = 3;
  a.boxX2 = 2;
  a.boxY2 = 3;
  a.frames.resize(1);
  s.anims.push_back(a);
  EXPECT_TRUE(s.isSolid(0, 0, 0));
  EXPECT_FALSE(s.isSolid(1, 1, 0));
  EXPECT_TRUE(s.isSolid(1, 2, 0));
  // Far edges of the box: inside the box test, outside the image.
  EXPECT_FALSE(s.isSolid(2, 0, 0));
  EXPECT_FALSE(s.isSolid(0, 3, 0));
  // One step beyond the box.
  EXPECT_FALSE(s.isSolid(3, 0, 0));
  EXPECT_FALSE(s.isSolid(0xffffffffu, 0xffffffffu, 0));
  // Out-of-range animation or no mask at all: solid.
  EXPECT_TRUE(s.isSolid(100, 100, 1));
  Sprite bare;
  EXPECT_TRUE(bare.isSolid(5, 5, 0));

  // A narrowed box: points left of it are free even on solid pixels.
  s.anims[0].boxX1 = 1;
  EXPECT_FALSE(s.isSolid(0, 0, 0));
  EXPECT_TRUE(s.isSolid(1, 0, 0));
  // A mask smaller than width x height (hand-made) is never overrun.
  s.mask.resize(5);
  EXPECT_FALSE(s.isSolid(1, 2, 0));
}

TEST(SpriteMask, AlphaDecidesSolidity) {
  Sprite s;
  const uint32_t px[4] = {0x00ffffffu, 0x01000000u, 0xff000000u, 0x1f000000u};
  ASSERT_TRUE(s.loadMask(px, 2, 2, 0xff000000u));
  EXPECT_EQ(s.mask, (std::vector<uint8_t>{0, 1, 1, 1}));
  EXPECT_FALSE(s.loadMask(nullptr, 2, 2, 0xff000000u));
}

TEST(SpriteNames, CompanionFileNames) {
  EXPECT_EQ(Sprite::resourceFileName("data/gfx.crs:npc_ptr", ".png"), "data/gfx.crs:npc_ptr.png");
  EXPECT_EQ(Sprite::resourceFileName("data/gfx.crs:npc_ptr.bmp", ".png"),
            "data/gfx.crs:npc_ptr.png");
  EXPECT_EQ(Sprite::resourceFileName("data/gfx.crs:npc_ptr.bmp", ".txt"),
            "data/gfx.crs:npc_ptr.txt");
  // The last four characters go, whatever they are.
  EXPECT_EQ(Sprite::resourceFileName("a.crs:b.c.jpeg", ".png"), "a.crs:b.c..png");
}

TEST(SpriteCache, ReleaseOfUncachedSprites) {
  // No cache entries: release does nothing at all.
  ASSERT_EQ(Sprite::cacheSize(), 0u);
  Sprite s;
  s.refs = 2;
  Sprite::release(&s);
  EXPECT_EQ(s.refs, 2u);
  Sprite::release(nullptr);
  EXPECT_TRUE(Sprite::alive(&s));
  EXPECT_EQ(Sprite::nameOf(&s), "");
  {
    Sprite gone;
    EXPECT_TRUE(Sprite::alive(&gone));
  }
  EXPECT_EQ(Sprite::get(nullptr), nullptr);
}

namespace {

struct AnimFiles : ::testing::Test {
  fs::path dir;
  void SetUp() override {
    dir = fs::temp_directory_path() / ("tervalo_anims_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    ResfileWriter w;
    w.add("walker.txt", "anim 0 0 16 16 8 0 0 0 16 16 walk\nframe 2 3 4\n");
    w.add("empty.txt", "");
    ASSERT_TRUE(w.write((dir / "a.crs").string()));
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string res(const std::string& entry) { return (dir / "a.crs").string() + ":" + entry; }
};

}  // namespace

TEST_F(AnimFiles, DefinitionEntriesBesideTheImage) {
  Sprite s;
  s.width = 40;
  s.height = 20;
  Log::Capture cap;
  ASSERT_TRUE(s.loadAnims(res("walker").c_str()));
  EXPECT_EQ(s.findAnim("walk")->frames.size(), 2u);
  // A three-letter extension is swapped.
  ASSERT_TRUE(s.loadAnims(res("walker.png").c_str()));
  EXPECT_EQ(s.getAnimCount(), 1u);
  EXPECT_TRUE(cap.lines().empty());

  // No definition: the whole image, after the two failure lines.
  ASSERT_TRUE(s.loadAnims(res("ghost").c_str()));
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{
                             "FAIL: Resfile.load: Nie znaleziono pliku \"ghost.txt\"",
                             "FAIL: Sprite.loadAnims: Nie znaleziono informacji o animacjach, "
                             "uzywanie calego obrazka"}));
  ASSERT_EQ(s.getAnimCount(), 1u);
  const Sprite::Anim* a = s.getAnim(0);
  EXPECT_EQ(a->w, 40u);
  EXPECT_EQ(a->h, 20u);
  EXPECT_EQ(a->boxX2, 40u);
  EXPECT_EQ(a->speed, 100u);
  EXPECT_TRUE(s.animsByName.empty());

  // An empty definition defines nothing; a plain file gets the whole image.
  EXPECT_FALSE(s.loadAnims(res("empty").c_str()));
  Sprite plain;
  plain.width = 7;
  plain.height = 9;
  ASSERT_TRUE(plain.loadAnims("some/file.png"));
  EXPECT_EQ(plain.getAnim(0)->w, 7u);
  EXPECT_FALSE(plain.loadAnims(nullptr));
}
