// The developer overlay drawn over a hand-built world: each kind of thing
// gets its box in its own colour where the physics has it, and an image
// re-read from its changed archive moves the boxes with it.
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "game/dev_mode.h"
#include "gl/gl_fixture.h"
#include "gl/render_helpers.h"
#include "render/sprite.h"
#include "resources/resfile.h"
#include "resources/resfile_writer.h"
#include "world/level.h"
#include "world/npc.h"

namespace {

const Rgba kBlack{0, 0, 0, 255}, kYellow{255, 255, 0, 255}, kCyan{0, 255, 255, 255},
    kMagenta{255, 0, 255, 255}, kWhite{255, 255, 255, 255};

class DevOverlay : public GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    parked.swapContents(Level::instance());  // the program's level, emptied for the test
    archive = (rendertest::tempDir() / "overlay.crs").string();
    writeArchive(20, 30);
    name = archive + ":box";
  }
  void TearDown() override {
    Level::instance().swapContents(parked);
    Resfile::instance().close();
  }
  void writeArchive(uint32_t w, uint32_t h) {
    ResfileWriter writer;
    writer.add("box.png", rendertest::Image(w, h, rendertest::kBlue).encode());
    writer.write(archive);
  }
  void drawOverlay(const DevMode& dev) {
    clearScreen(0, 0, 0);
    dev.drawOverlay();
  }

  Level parked;
  std::string archive, name;
};

}  // namespace

TEST_F(DevOverlay, BoxesOfEachKindWhereThePhysicsHasThem) {
  Level& lvl = Level::instance();
  lvl.addObj(7, 100, 120, 0, 1, Sprite::get(name));
  lvl.addNpc(std::make_unique<Npc>("n", 3, 300, 200, 0, 1, Sprite::get(name), &lvl, nullptr), 3);
  lvl.addParticle(500, 300, 0, 0.0f, 0.0f, 5.0f, 0, Sprite::get(name));
  lvl.addFrame(0, "", nullptr, nullptr, 0, 0, 0, 1.0f, 1.0f);

  DevMode dev;
  dev.start(rendertest::tempDir().string());
  drawOverlay(dev);  // off: nothing drawn
  EXPECT_EQ(countColour(0, 0, 640, 480, kBlack), 640 * 480);

  dev.toggleOverlay();
  drawOverlay(dev);
  // The object's outline runs along its 20 x 30 box; inside stays clear.
  EXPECT_EQ(pixel(100, 120), kYellow);
  EXPECT_EQ(pixel(119, 149), kYellow);
  EXPECT_EQ(pixel(110, 135), kBlack);
  EXPECT_EQ(pixel(120, 150), kBlack);
  EXPECT_EQ(countColour(100, 120, 20, 30, kYellow), 2 * 20 + 2 * 28);
  EXPECT_EQ(pixel(300, 200), kCyan);
  EXPECT_EQ(pixel(319, 229), kCyan);
  EXPECT_EQ(pixel(500, 300), kMagenta);  // clear of the graph, top right
  EXPECT_EQ(pixel(0, 300), kWhite);  // the frame's border
  EXPECT_EQ(pixel(639, 300), kWhite);

  // The image grows to 40 x 10: a reload re-reads it and every box follows
  // (the level itself cannot reload here: there is none loaded).
  usleep(10000);
  writeArchive(40, 10);
  EXPECT_FALSE(dev.reload());
  drawOverlay(dev);
  EXPECT_EQ(pixel(139, 129), kYellow);
  EXPECT_EQ(pixel(119, 149), kBlack);
  EXPECT_EQ(countColour(100, 120, 40, 10, kYellow), 2 * 40 + 2 * 8);
  EXPECT_EQ(pixel(339, 209), kCyan);
}
