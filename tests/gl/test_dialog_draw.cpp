// The dialog on screen: the pointer over the character to talk to, and the
// box whose picture tells waiting for a key from waiting for a choice.
#include <filesystem>
#include <fstream>
#include <memory>

#include "base/globals.h"
#include "base/log.h"
#include "dialog/dialog.h"
#include "dialog/dialog_sprites.h"
#include "gl/gl_fixture.h"
#include "gl/render_helpers.h"
#include "resources/ini_file.h"
#include "world/level.h"
#include "world/npc.h"
#include "world/player.h"

using namespace rendertest;

namespace {

struct DialogGl : GlTest {
  Log::Capture quiet;
  TestArchive ar;
  std::filesystem::path oldDir = std::filesystem::current_path();
  Level lvl;
  Player player;
  Dialog d;

  void SetUp() override {
    GlTest::SetUp();
    game::dt = 0.05f;
    // Box pictures: 0 blue (shown), 1 green (waiting for a key), 2 red (choice).
    Image box(640, 336);
    std::string def;
    const Rgba8 colours[] = {kBlue, kGreen, kRed};
    for (int i = 0; i < 3; ++i) {
      box.rect(0, 112 * i, 640, 112, colours[i]);
      def += "anim 0 " + std::to_string(112 * i) + " 640 112 16 0 0 0 640 112 " +
             char('a' + i) + "\nframe 1\n";
    }
    ar.image("box", box).file("box.txt", def);
    ar.image("ptr", Image(16, 16, kWhite)).write();
    dialog_sprites::background = Sprite::get(ar.res("box"));
    dialog_sprites::pointer = Sprite::get(ar.res("ptr"));
    std::filesystem::create_directories(tempDir() / "npc");
    std::filesystem::current_path(tempDir());
    std::ofstream("npc/g") << "[dialog]\n1 0=str a\n2 0=wyb 3 x\n2 1=wyb 4 y\n";
    IniFile::instance().close();
    d.connect(player);
    player.addPlayer(&lvl, 100, 300, 0, 100, "none");
    lvl.addNpc(std::make_unique<Npc>("g", 1, 130, 300, 0, 1, nullptr, &lvl, nullptr), 1)
        ->talkable = true;
  }
  void TearDown() override {
    std::filesystem::current_path(oldDir);
    IniFile::instance().close();
    d.reset();
    dialog_sprites::background = dialog_sprites::pointer = nullptr;
    Sprite::flush(nullptr);
    Sprite::clear();
  }
  void frames(int n) {
    for (int i = 0; i < n; ++i) {
      d.update();
      clearScreen(0, 0, 0);
      d.draw();
      Sprite::flush();
    }
  }
};

}  // namespace

TEST_F(DialogGl, PointerAndBoxPictures) {
  frames(12);  // fully faded in after half a second
  EXPECT_EQ(pixel(138, 308), (Rgba{255, 255, 255, 255}));  // over the character
  EXPECT_EQ(pixel(320, 420), (Rgba{0, 0, 0, 255}));         // no box while searching

  d.start();
  frames(12);
  EXPECT_EQ(pixel(320, 420), (Rgba{0, 255, 0, 255}));  // waiting for the next key
  EXPECT_EQ(pixel(138, 308), (Rgba{0, 0, 0, 255}));    // the pointer faded out
  EXPECT_TRUE(d.pointers.empty());

  d.advance();  // block 0 next: make it the choice instead
  d.block = 2;
  frames(2);
  EXPECT_EQ(d.mode, 3);
  EXPECT_EQ(pixel(320, 420), (Rgba{255, 0, 0, 255}));

  d.mode = 0;  // ended: the box fades away
  frames(12);
  EXPECT_EQ(pixel(320, 420), (Rgba{0, 0, 0, 255}));
}
