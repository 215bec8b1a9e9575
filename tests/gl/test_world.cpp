// The world drawn: a level loaded from its file (layer order, objects,
// bullets, sky cross-fade, bounds), frame blocks, carried weapons, the developer overlay and the dialog box; and the sprite
// references world objects and script functions keep.
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "api/lua_funcs.h"
#include "dialog/dialog.h"
#include "dialog/dialog_sprites.h"
#include "game/dev_mode.h"
#include "gl/gl_fixture.h"
#include "render/fade.h"
#include "resources/database.h"
#include "resources/resfile.h"
#include "resources/resfile_writer.h"
#include "script/lua.h"
#include "sound/sound.h"
#include "world/bullet.h"
#include "world/level.h"
#include "world/npc.h"
#include "world/player.h"
#include "world/weapon.h"

namespace {

constexpr Rgba8 kSky{0, 128, 128, 255}, kSky2{128, 0, 128, 255};

// Camera: level x 300 is screen x 0, level y -20 is screen y 0; the screen
// centre (620, 220) lies in frame (0, 0).
constexpr int kCamX = 300, kCamY = -20;
int sx(int levelX) { return levelX - kCamX; }
int sy(int levelY) { return levelY - kCamY; }

// Block file with tile `v` in row 1 at the given columns.
std::string blocks(std::initializer_list<int> cols, uint8_t v) {
  std::string b(300, '\0');
  for (int c : cols) b[static_cast<size_t>(20 + c)] = static_cast<char>(v);
  return b;
}

// A level of four frames in a fresh directory. Tiles: 1 red, 2 green,
// 3 blue, 4 white; a yellow 32 x 32 box, a white 8 x 8 body.
struct WorldGl : GlTest {
  std::string gfx, tiles, box;
  void SetUp() override {
    GlTest::SetUp();
    enterTempDir();
    gfx = ar.path();
    tiles = gfx + ":tiles", box = gfx + ":box";
    ar.tiles("tiles", {kBlack, kRed, kGreen, kBlue, kWhite}).image("body", Image(8, 8, kWhite));
    ar.image("box", Image(32, 32, kYellow), "anim 0 0 32 32 1\n");
    ar.image("sky", Image(64, 48, kSky)).image("sky2", Image(640, 480, kSky2));
    // Layers 2, 0, -1, 0 in file order. Frame (0, 0): A red at columns 12
    // and 13, B green at 13 and 14. Frame (1, 0): D blue at 2, 3 and 4,
    // C white at 4 and 5. Boxes over B 14, D 3 and D 4.
    ar.file("a.bin", blocks({12, 13}, 1)).file("b.bin", blocks({13, 14}, 2));
    ar.file("c.bin", blocks({4, 5}, 4)).file("d.bin", blocks({2, 3, 4}, 3));
    ar.file("lvl.txt", "sprite " + box + "\nframe a " + tiles + " " + gfx + ":sky 0 0 2\n" +
                           "frame b " + tiles + " " + gfx + ":sky2 0 0 0\nframe c " + tiles +
                           " none 1 0 -1\nframe d " + tiles + " none 1 0 0\nobj 1 448 32 0 10 " +
                           box + "\nobj 2 736 32 0 10 " + box + "\nobj 3 768 32 0 10 " + box +
                           "\nobj 4 100 100 0 10\n")
        .write();
    put("npc/list.ini", "[" + gfx + ":lvl]\n1=bob\n");
    put("npc/bob", "[npc]\n" + gfx + ":lvl=1 1 1 0 2000 0 0 5 " + box + " 0 200\n");
  }
  // A frame at (fx, fy) with red at cell (1, 1) and green at cell (3, 2).
  Frame* makeFrame(Level& lvl, int fx, int fy) {
    Log::Capture quiet;
    Frame* f = lvl.addFrame(0, nullptr, Sprite::get(tiles), nullptr, fx, fy, 0, 1.0f, 1.0f);
    if (!f || !f->blockSprite) return nullptr;
    f->cells.assign(Frame::kCells, 0);
    f->cells[1 * Frame::kCols + 1] = 1;
    f->cells[2 * Frame::kCols + 3] = 2;
    return f;
  }
  void draw(Level& lvl) { drawLevel(lvl, kCamX, kCamY); }
};

}  // namespace

// Bullets are drawn with the level's objects: their sprite at their
// position, under the frames of negative layers; one without a sprite
// leaves no trace.
TEST_F(WorldGl, LayerOrderObjectsBulletsSkyAndBounds) {
  Level lvl;
  {
    Log::Capture quiet;
    ASSERT_TRUE(lvl.load(gfx + ":lvl"));
  }
  ASSERT_EQ(lvl.objs.size(), 4u) << "three boxes and the character; the 6-word obj is ignored";
  ASSERT_EQ(lvl.skyboxes.size(), 1u);
  const int free = 500, under = 640 + 5 * 32;  // open sky; behind C (layer -1)
  ASSERT_TRUE(addBullet(lvl, free, 300, 0, 0, 0, 5, 0, 1, Sprite::get(box)));
  ASSERT_TRUE(addBullet(lvl, under, 32, 0, 0, 0, 5, 0, 1, Sprite::get(box)));
  lvl.bullets.add(std::make_unique<Bullet>(free, 200, 0, 0.0f, 0.0f, 5.0f, 0, 1, nullptr, &lvl, nullptr));
  game::dt = 0.5f;
  draw(lvl);
  // A alone, B over A, the box over B; D alone, the box over D, C (layer -1) over the box; the
  // bullets; the first frame's sky fills the rest.
  const int y = sy(40);
  expectPixels({{sx(12 * 32 + 5), y, kRed}, {sx(13 * 32 + 5), y, kGreen}, {sx(14 * 32 + 5), y, kYellow},
                {sx(640 + 2 * 32 + 5), y, kBlue}, {sx(640 + 3 * 32 + 5), y, kYellow},
                {sx(640 + 4 * 32 + 5), y, kWhite}, {sx(free) + 5, sy(300) + 5, kYellow},
                {sx(free) + 30, sy(300) + 30, kYellow}, {sx(free) + 5, sy(200) + 5, kSky},
                {sx(under) + 5, sy(32) + 5, kWhite}, {10, 300, kSky}});
  // The red outline runs along the level's top edge.
  // (A line along a pixel edge may land on either row beside it.)
  EXPECT_TRUE(pixel(200, sy(0)) == kRed || pixel(200, sy(0) - 1) == kRed);
  EXPECT_FALSE(pixel(200, sy(0) + 2) == kRed);
  // The screen centre lies in frame B, whose sky fades in over a second
  // and then replaces the old one.
  ASSERT_EQ(lvl.skyboxes.size(), 2u);
  draw(lvl);
  EXPECT_TRUE(near(pixel(10, 300), {64, 64, 128}, 3)) << pixel(10, 300);
  for (int i = 0; i < 2; ++i) {
    draw(lvl);
    EXPECT_EQ(pixel(10, 300), kSky2);
  }
  EXPECT_EQ(lvl.skyboxes.size(), 1u);
  // A forced sky is kept against the frames' choice.
  Sprite* forced = Sprite::get(gfx + ":sky");
  lvl.setSkybox(forced, true);
  for (int i = 0; i < 3; ++i) draw(lvl);
  EXPECT_EQ(pixel(10, 300), kSky);
  EXPECT_EQ(lvl.skybox, forced);
  Sprite::release(forced);
  // The listed character saves its real sprite's name; unloading gives the
  // sky references back with the rest.
  lvl.unload();
  EXPECT_TRUE(lvl.skyboxes.empty());
  EXPECT_EQ(Database::instance().getStr(gfx + ":lvl_bob"), "1 1 1 0 2000 0 0 5 " + box + " 0 200 ");
  EXPECT_EQ(Sprite::nameOf(forced), "") << "no reference left on the sky";
}

TEST_F(WorldGl, BlocksLandAtTheirCellsAndFollowTheCamera) {
  Level lvl;
  Frame* f = makeFrame(lvl, 1, 0);  // level x 640..1279
  ASSERT_NE(f, nullptr);
  Camera& cam = Camera::instance();
  cam.x = 616.9f, cam.y = 8.5f;  // built under a moved camera: 616, 8
  clearScreen(0, 0, 255);
  f->draw();
  // Red at level (672..703, 32..63) shows at screen (56..87, 24..55), green
  // at level (736..767, 64..95).
  expectPixels({{56, 24, kRed}, {55, 24, kBlue}, {120, 56, kGreen}});
  EXPECT_EQ(countColour(0, 0, 640, 480, kRed), 32 * 32);
  EXPECT_EQ(f->buffer.count, 8u);
  // Parallax: x follows half the camera, y not at all.
  f->parallaxX = 0.5f, f->parallaxY = 0.0f;
  cam.x = 1280, cam.y = 100;
  clearScreen(0, 0, 255);
  f->draw();
  expectPixels({{32, 32, kRed}, {63, 63, kRed}, {64, 40, kBlue}});
  // Blocks are rebuilt only when marked dirty.
  f->cells[1 * Frame::kCols + 1] = 0;
  clearScreen(0, 0, 255);
  f->draw();
  EXPECT_EQ(pixel(32, 32), kRed);  // still the old quads
  f->dirty = true;
  clearScreen(0, 0, 255);
  f->draw();
  EXPECT_EQ(pixel(32, 32), kBlue);
  EXPECT_EQ(f->buffer.count, 4u);
}

TEST_F(WorldGl, FrameObjectsDrawnOverBlocksAndSpriteReferencesGivenBack) {
  const size_t before = Sprite::cacheSize();
  const std::string body = gfx + ":body";
  {
    Level lvl;
    Frame* f = makeFrame(lvl, 0, 0);
    ASSERT_NE(f, nullptr);
    Log::Capture quiet;
    Object* a = lvl.addObj(1, 0, 0, 0, 1, Sprite::get(body));
    Object* b = lvl.addFrameObj(2, 40, 40, 0, 1, Sprite::get(body));
    ASSERT_TRUE(a && b);
    // Drawn after the blocks, with the frame's parallax (0: fixed on screen).
    f->parallaxX = 0.0f;
    Camera::instance().x = 300;
    clearScreen(0, 0, 255);
    f->draw();
    expectPixels({{47, 47, kWhite}, {48, 48, kRed}});
    EXPECT_EQ(b->sprite->refs, 2u);
    lvl.delObj(a);
    EXPECT_EQ(b->sprite->refs, 1u);
    b->setSprite(Sprite::get(tiles));  // the body goes at once
    EXPECT_EQ(Sprite::cacheSize(), before + 1);
    // A frame at a taken key hands its sprites straight back.
    lvl.addFrame(5, nullptr, Sprite::get(tiles), Sprite::get(body), 0, 0, 0, 1, 1);
    EXPECT_EQ(b->sprite->refs, 2u);
    EXPECT_EQ(Sprite::cacheSize(), before + 1);
  }
  EXPECT_EQ(Sprite::cacheSize(), before);
}

// Weapons with real pictures: script uses spawn into the user's level, and
// the carried weapon is drawn at the hand point of the character's frame.
TEST_F(GlTest, WeaponSpawnsAndIsDrawnInHand) {
  enterTempDir();
  // Anchor at the top-left corner, the hand 4 px right of the body.
  ar.image("body", Image(8, 8, kRed), "anim 0 0 8 8 1 0 0 0 8 8 body\nframe 1 0 0 12 2\n");
  ar.image("gun", Image(4, 4, kGreen), "1 0 0 4 4 0 0 1 0\n");
  ar.image("stone", Image(2, 2, kBlue), "1 0 0 2 2 1 1 1 0\n").write();
  put("data/weapons", "gun " + ar.res("gun") + " lua/gun.lua shoot spec\n");
  put("lua/gun.lua", "function shoot(x, y) addBullet(x + 10, y, 0, 100, 1, 2, 1, '" + ar.res("stone") +
                         "') end\nfunction spec(x, y) addParticle(x, y, 0, getUserDir() * 90, 10, 1, 0, '" +
                         ar.res("stone") + "') end\n");
  Log::Capture cap;
  ASSERT_TRUE(Weapon::load("data/weapons"));
  Weapon* gun = Weapon::get("gun");
  ASSERT_NE(gun, nullptr);
  {
    Level lvl;
    Npc* c = lvl.addNpc(std::make_unique<Npc>("c", 1, 100, 100, 0, 10, Sprite::get(ar.res("body")), &lvl, nullptr), 1);
    ASSERT_NE(c, nullptr);
    c->wep = gun;
    c->dir = 1;
    gun->fire1(100, 100, c);
    gun->fire2(100, 100, c);
    ASSERT_EQ(lvl.bullets.size(), 1u);
    const auto* b = static_cast<const Bullet*>(lvl.bullets[0]);
    EXPECT_TRUE(b->x == 110 && b->damage == 2 && b->count == 1 && b->ignore == c);
    ASSERT_EQ(lvl.parts.size(), 1u);
    EXPECT_NEAR(lvl.parts[0]->spdY, 10.0f, 1e-3);  // facing right: 90 degrees
    EXPECT_EQ(cap.lines(), std::vector<std::string>{}) << cap.joined();
    clearScreen(0, 0, 0);
    c->render();
    Sprite::flush();
    expectPixels({{103, 103, kRed}, {113, 103, kGreen}, {117, 103, kBlack}});
    c->wep = nullptr;
  }
  Weapon::clear();
}

// Script functions that take sprite names, and the references each keeps.
using ApiWorldGl = GlTest;
TEST_F(ApiWorldGl, ObjectsSkyFadesAndSpriteCache) {
  ar.image("a", Image(32, 32, kRed)).image("b", Image(8, 8, kGreen)).image("c", Image(8, 8)).write();
  const std::string a = ar.res("a"), b = ar.res("b"), c = ar.res("c");
  auto lvl = std::make_unique<Level>();
  Lua lua;
  LuaFuncs::registerAll(lua);
  lua.setReg(Lua::kRegLvl, static_cast<void*>(lvl.get()));
  auto run = [&](const std::string& chunk) {
    Log::Capture quiet;  // the pictures have no animation definitions
    EXPECT_TRUE(lua.runString(chunk.c_str()));
  };
  auto refs = [](const std::string& name) { return Sprite::load(name)->refs; };
  run("addLvlObj(7, 100, 50, 0, 10, '" + a + "', 0, 0) loadSprite('" + c + "')");
  Object* o = lvl->getObj(7);
  ASSERT_TRUE(o && !o->colsOn && o->grav == &o->ownGrav && o->grav->y == 0.0f);
  Log::Capture cap;
  lua.runString("addLvlObj(9, 0, 0, 0, 1, 'nothing here')");
  EXPECT_TRUE(cap.has("FAIL: LuaFuncs.lAddLvlObj: Nie udalo sie stworzyc obiektu"));

  // The level holds one reference per sky it shows, none for the lookup.
  run("setSkybox('" + a + "') setSkybox('" + b + "', 1) setSkybox('" + a + "')");
  EXPECT_TRUE(lvl->skybox == Sprite::load(b) && lvl->skyboxForced);
  EXPECT_EQ(refs(a) * 10 + refs(b), 21u);
  // Only what nothing uses leaves the cache.
  run("unloadSprite()");
  EXPECT_EQ(Sprite::cacheSize(), 2u);
  EXPECT_EQ(o->sprite, Sprite::load(a));
  EXPECT_EQ(refs(b), 1u);  // kept: the sky uses it

  // Fade opacities outside 0..255 are held at the ends; entries hold references.
  lvl.reset();
  run("setFade('" + a + "', 300, -5) addFade('" + b + "', 10.9, 20)");
  const auto& e = Fades::instance().entries();
  ASSERT_EQ(e.size(), 2u);
  EXPECT_TRUE(e[0].sprite == Sprite::load(b) && e[0].alpha == 10.0f && e[0].target == 20);
  EXPECT_TRUE(e[1].alpha == 255.0f && e[1].target == 0);
  run("setFade('" + b + "', 0, 255)");
  EXPECT_EQ(Sprite::cacheSize(), 1u);
  EXPECT_EQ(refs(b), 1u);
  Fades::instance().clear();
}

// The developer overlay over a hand-built world: each kind of thing gets
// its box in its own colour where the physics has it, and an image re-read
// from its changed archive moves the boxes with it.
TEST_F(GlTest, DevOverlayBoxesOfEachKindWhereThePhysicsHasThem) {
  const std::string archive = (tempDir() / "overlay.crs").string(), name = archive + ":box";
  auto writeArchive = [&](uint32_t w, uint32_t h) {
    ResfileWriter writer;
    writer.add("box.png", Image(w, h, kBlue).encode());
    writer.write(archive);
  };
  writeArchive(20, 30);
  Level parked;
  parked.swapContents(Level::instance());  // the program's level, emptied for the test
  Level& lvl = Level::instance();
  lvl.addObj(7, 100, 120, 0, 1, Sprite::get(name));
  lvl.addNpc(std::make_unique<Npc>("n", 3, 300, 200, 0, 1, Sprite::get(name), &lvl, nullptr), 3);
  lvl.addParticle(500, 300, 0, 0.0f, 0.0f, 5.0f, 0, Sprite::get(name));
  lvl.addFrame(0, "", nullptr, nullptr, 0, 0, 0, 1.0f, 1.0f);
  DevMode dev;
  dev.start(tempDir().string());
  clearScreen(0, 0, 0);
  dev.drawOverlay();  // off: nothing drawn
  EXPECT_EQ(countColour(0, 0, 640, 480, kBlack), 640 * 480);

  dev.toggleOverlay();
  clearScreen(0, 0, 0);
  dev.drawOverlay();
  // The object's outline runs along its 20 x 30 box, inside stays clear; the
  // character's, the particle's (clear of the graph, top right), the frame's border.
  expectPixels({{100, 120, kYellow}, {119, 149, kYellow}, {110, 135, kBlack}, {120, 150, kBlack},
                {300, 200, kCyan}, {319, 229, kCyan}, {500, 300, kMagenta}, {0, 300, kWhite},
                {639, 300, kWhite}});
  EXPECT_EQ(countColour(100, 120, 20, 30, kYellow), 2 * 20 + 2 * 28);

  // The image grows to 40 x 10: a reload re-reads it and every box follows
  // (the level itself cannot reload here: there is none loaded).
  usleep(10000);
  writeArchive(40, 10);
  EXPECT_FALSE(dev.reload());
  clearScreen(0, 0, 0);
  dev.drawOverlay();
  expectPixels({{139, 129, kYellow}, {119, 149, kBlack}, {339, 209, kCyan}});
  EXPECT_EQ(countColour(100, 120, 40, 10, kYellow), 2 * 40 + 2 * 8);
  Level::instance().swapContents(parked);
  Resfile::instance().close();
}

// The dialog on screen: the pointer over the character to talk to, and the
// box whose picture tells waiting for a key from waiting for a choice.
TEST_F(GlTest, DialogPointerAndBoxPictures) {
  Log::Capture quiet;
  enterTempDir();
  game::dt = 0.05f;
  // Box pictures: 0 blue (shown), 1 green (waiting for a key), 2 red (choice).
  Image boxes(640, 336);
  std::string def;
  const Rgba8 colours[] = {kBlue, kGreen, kRed};
  for (int i = 0; i < 3; ++i) {
    boxes.rect(0, 112 * i, 640, 112, colours[i]);
    def += "anim 0 " + std::to_string(112 * i) + " 640 112 16 0 0 0 640 112 " + char('a' + i) + "\nframe 1\n";
  }
  ar.image("box", boxes, def).image("ptr", Image(16, 16, kWhite)).write();
  dialog_sprites::background = Sprite::get(ar.res("box"));
  dialog_sprites::pointer = Sprite::get(ar.res("ptr"));
  put("npc/g", "[dialog]\n1 0=str a\n2 0=wyb 3 x\n2 1=wyb 4 y\n");
  Level lvl;
  Player player;
  Dialog d;
  d.connect(player);
  player.addPlayer(&lvl, 100, 300, 0, 100, "none");
  lvl.addNpc(std::make_unique<Npc>("g", 1, 130, 300, 0, 1, nullptr, &lvl, nullptr), 1)->talkable = true;
  auto frames = [&](int n) {
    for (int i = 0; i < n; ++i) {
      d.update();
      clearScreen(0, 0, 0);
      d.draw();
      Sprite::flush();
    }
  };
  frames(12);  // fully faded in after half a second: over the character, no box while searching
  expectPixels({{138, 308, kWhite}, {320, 420, kBlack}});

  d.start();
  frames(12);  // waiting for the next key; the pointer faded out
  expectPixels({{320, 420, kGreen}, {138, 308, kBlack}});
  EXPECT_TRUE(d.pointers.empty());

  d.advance();  // block 0 next: make it the choice instead
  d.block = 2;
  frames(2);
  EXPECT_EQ(d.mode, 3);
  EXPECT_EQ(pixel(320, 420), kRed);

  d.mode = 0;  // ended: the box fades away
  frames(12);
  EXPECT_EQ(pixel(320, 420), kBlack);
  d.reset();
  dialog_sprites::background = dialog_sprites::pointer = nullptr;
}

// The demo's level changes as its dialogs make them (the level loaded anew,
// its scripts run, the player's character made again), over and over: after
// the first round has filled the caches, further rounds leave as many live
// textures, cached sprites, objects and Lua states as before.
TEST_F(GlTest, LevelChangesLeaveNothingBehind) {
  enterTempDir();
  std::filesystem::current_path(TERVALO_GAME_DIR);
  auto live = [] {
    size_t textures = 0;
    for (GLuint t = 1; t < 20000; ++t) textures += glIsTexture(t) == GL_TRUE;
    return std::vector<size_t>{textures, Sprite::cacheSize(), Object::liveCount(), Lua::openStates()};
  };
  Player& player = Player::instance();
  Level lvl;
  auto round = [&] {
    Log::Capture quiet;  // no sound device here: the music is refused
    for (const char* name : {"data/lvl/studnia.crs:lvl", "data/lvl/miedzyczas.crs:lvl"}) {
      ASSERT_TRUE(lvl.load(name));
      player.addPlayer(&lvl, 420, 380, 0, 100, "data/gfx.crs:player");
      game::dt = 0.05f;
      for (int frame = 0; frame < 10; ++frame) {
        lvl.update();
        Sound::instance().update();
      }
    }
  };
  round();
  const std::vector<size_t> before = live();
  EXPECT_TRUE(before[2] > 5 && before[3] > 2);
  for (int i = 0; i < 4; ++i) round();
  EXPECT_EQ(live(), before) << "textures, sprites, objects, Lua states";
  Log::Capture quiet;
  lvl.unload();
  player = Player();
}
