#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dialog/dialog.h"
#include "dialog/dialog_sprites.h"
#include "render/fade.h"
#include "sound/sound.h"
#include "unit/api_fixture.h"
#include "unit/scratch_dir.h"
#include "unit/sound_files.h"
#include "unit/world_helpers.h"
#include "world/npc.h"
#include "world/player.h"

namespace {

struct DialogTest : leveltest::GameDir {
  Log::Capture cap;
  Level lvl;
  Player player;
  Dialog d;
  worldtest::Sheet box{3, 640, 128};  // the text box: 640 x 128
  Sprite* oldBox = dialog_sprites::background;

  void SetUp() override {
    GameDir::SetUp();
    dialog_sprites::background = &box.s;
    lvl.name = "data/lvl/here.crs:lvl";
    d.connect(player);
    player.addPlayer(&lvl, 100, 100, 0, 100, "data/none.crs:player");
  }
  void TearDown() override {
    dialog_sprites::background = oldBox;
    GameDir::TearDown();
  }
  void dialogFile(const std::string& name, const std::string& lines) {
    file("npc/" + name, "[npc]\nx=1\n[dialog]\n" + lines);
  }
  void talk(const std::string& name) {
    d.setNpcName(name.c_str());
    d.start();
    d.update();
  }
  // Resumes the dialog at `block`, `line` with an empty text box.
  void jump(int block, int line = 0) {
    d.block = block;
    d.line = line;
    d.resume = true;
    d.text.setStr("");
    d.update();
  }
  void run(float seconds) {
    game::dt = 0.1f;
    for (float t = 0; t < seconds - 0.01f; t += 0.1f) d.update();
  }
  std::string shown() const { return d.text.str() ? d.text.str() : "(null)"; }
  Npc* npc(const char* name, uint32_t slot, int x, int y, bool talks = true) {
    Npc* n = lvl.addNpc(std::make_unique<Npc>(name, slot, x, y, 0, 1, nullptr, &lvl, nullptr), slot);
    n->talkable = talks;
    return n;
  }
};

// "snd FILE [volume [pan]]" takes a free channel; "music FILE [volume]"
// starts a track. Missing words take the defaults; a bad file is named.
TEST_F(DialogTest, SoundAndMusic) {
  Sound& snd = Sound::instance();
  ASSERT_TRUE(snd.init(audio::Device::detached(8000)));
  soundtest::writeWav("a.wav", soundtest::level(0.5f, 8000, 1), 8000);
  archive("data/s.crs", {{"b", readBytes("a.wav")}});
  dialogFile("s", "1 0=snd a.wav\n1 1=snd data/s.crs:b 50 -1\n1 2=snd\n1 3=snd nic.wav 10\n"
                  "1 4=music data/s.crs:b 70\n1 5=music a.wav\n1 6=str gra\n");
  cap.clear();
  talk("s");
  EXPECT_EQ(shown(), "gra");
  const Sound::Channel &a = snd.channels[0], &b = snd.channels[1];
  EXPECT_TRUE(a.stream && a.volume == 1.0f && a.pan == 0.0f);
  EXPECT_TRUE(b.stream && b.volume == 0.5f && b.pan == -1.0f);
  EXPECT_FALSE(snd.channels[2].stream);
  ASSERT_EQ(snd.music.size(), 2u);
  EXPECT_TRUE(snd.music.front().volumeTarget == 1.0f && snd.music.back().volumeTarget == 0.7f);
  EXPECT_TRUE(cap.has("FAIL: Sound.play: Nie udalo sie otworzyc pliku \"nic.wav\""));
  EXPECT_EQ(cap.count("FAIL: Sound"), 1u);
  snd.shutdown();
}

TEST_F(DialogTest, Choices) {
  dialogFile("w", "1 0=str Co?\n1 1=clear\n1 2=wyb 3 Tak\n1 3=wyb 4 Nie\n1 4=wyb 5 Moze\n"
                  "3=str wybrano tak\n4=str wybrano nie\n2=str nic\n");
  talk("w");
  ASSERT_EQ(d.mode, 3);
  EXPECT_EQ(shown(), "[Tak]\n Nie \n Moze \n");
  d.select(d.opt - 1);  // up from the first wraps to the last
  EXPECT_EQ(shown(), " Tak \n Nie \n[Moze]\n");
  d.select(d.opt + 1);
  EXPECT_EQ(d.opt, 0);
  d.select(d.opt + 10);  // wraps by the option count
  EXPECT_EQ(d.opt, 1);
  d.optView = 1;
  d.select(2);
  EXPECT_EQ(shown(), " Nie \n[Moze]\n Tak \n");
  d.optView = 2;
  d.select(1);
  EXPECT_EQ(shown(), "[2/3]\nNie");
  d.advance();
  d.update();
  EXPECT_TRUE(d.mode == 2 && shown() == "wybrano nie");

  // Choosing with no option at all (a script set mode 3) just goes on.
  d.mode = 3;
  d.options.clear();
  d.block = 3;
  d.resume = false;
  d.select(5);
  d.advance();
  EXPECT_TRUE(d.mode == 2 && d.block == 2 && d.resume);
}

TEST_F(DialogTest, ActorsLiveFadeAndFollow) {
  Npc* n = npc("e", 7, 300, 200);
  worldtest::Sheet head{1, 10, 24};
  n->anim = head.s.getAnim(0);  // collision box bottom at 24
  dialogFile("p", "1 0=pic 1 10 20 data/none.crs:a 3\n1 1=pic 2 0 0 x 0\n1 2=pic 2 0 0 x 0\n"
                  "1 3=emot 5 7 x 0\n1 4=emot 6 300 x 1\n1 5=emot 7 1 2 x 0\n"
                  "1 6=text 8 5 5 x 1 Hej  ho\n1 7=killemot 99\n");
  talk("p");
  ASSERT_TRUE(d.pics.size() == 3 && d.emots.size() == 3 && d.texts.size() == 1);
  EXPECT_STREQ(d.texts.front().text.str(), "Hej  ho");
  auto& pic = d.pics.front();
  run(0.5f);
  EXPECT_EQ(pic.alpha, 255.0f);
  EXPECT_EQ(std::next(d.emots.begin())->x, 0);  // slot 300: nobody
  run(2.0f);
  EXPECT_EQ(pic.state, 1u);
  run(0.2f);  // 2.5 s on: the last half second fades out
  EXPECT_EQ(pic.state, 2u);
  EXPECT_EQ(d.texts.size(), 0u);  // life 1
  EXPECT_TRUE(d.emots.front().x == 300 && d.emots.front().y == 200 - 24);
  EXPECT_EQ(d.emots.size(), 2u);  // life 1
  run(0.6f);
  EXPECT_EQ(d.pics.size(), 2u);
  EXPECT_FALSE(d.exec("killpic 2"));  // a command that lets running go on
  EXPECT_EQ(d.pics.front().state, 2u);
  EXPECT_NE(d.pics.back().state, 2u);

  lvl.delNpc(n);  // the emoticon stays where it was
  run(0.2f);
  EXPECT_TRUE(d.emots.front().x == 300 && d.emots.front().npc == nullptr);
  auto& e = d.emots.front();  // its sprite reloaded with fewer frames: back to the first
  e.sprite = &head.s;
  e.frameIdx = 5;
  e.rebindAnim();
  EXPECT_EQ(e.frame, &head.s.anims[0].frames[0]);
  e.sprite = nullptr;
  player.setPlayer();  // a new character (another level) leaves the actors behind
  EXPECT_TRUE(d.emots.empty() && d.pics.empty() && d.player == &player);
}

// Hostile lines never hang the dialog; a "lua" line failing or running
// endlessly is reported at once (an endless one stopped and named) and the
// conversation and the level's periodic function go on.
TEST_F(DialogTest, HostileLinesNeverHang) {
  dialogFile("h", "1 0=seti 0\n2 0=seti -2147483648\n3 0=setb 3\n4 0=str x\n"
                  "4 1=opt 5\n4 2=w8 nan\n4 3=bogus 1 2\n4 4=lua nonsense(\n4 5=pwn\n"
                  "5 0=lua while true do end\n5 1=str po\n");
  for (int b = 1; b <= 3; ++b) {
    talk("h");
    jump(b);  // one update gives up after a bounded number of lines
    EXPECT_TRUE(d.resume) << b;
  }
  // Fade opacities are held at 0..255 as the script functions hold them.
  Fades::instance().clear();
  d.exec("afade none.crs:x 10 20");
  d.exec("afade none.crs:x 300 -5");
  const auto& fades = Fades::instance().entries();
  ASSERT_EQ(fades.size(), 2u);
  EXPECT_TRUE(fades[0].alpha == 255.0f && fades[0].target == 0) << fades[0].alpha;
  Fades::instance().clear();
  lvl.lua.setName(lvl.name);
  lvl.lua.runString("n = 0 function tick() n = n + 1 end");
  lvl.alwaysFn = "tick";
  cap.clear();
  EXPECT_FALSE(d.exec("lua nosuchfn()"));
  EXPECT_TRUE(cap.contains("FAIL: Lua.update: Error: [string \"line\"]:1: attempt to call global"));
  Lua::setBudgetMs(20);
  jump(5);
  Lua::setBudgetMs(0);
  EXPECT_TRUE(cap.has("FAIL: Lua.update: Error: Skrypt " + lvl.name +
                      ", funkcja npc/h: przekroczony limit czasu (20 ms)"))
      << cap.joined();
  EXPECT_EQ(shown(), "po");
  game::dt = 0.05f;
  lvl.update();
  EXPECT_EQ(apitest::global(lvl.lua, "n"), "3");
  jump(4);
  EXPECT_EQ(d.wait, 0.0f);  // "w8 nan" waits for nothing
  d.update();
  EXPECT_EQ(shown(), "x");
  EXPECT_EQ(d.line, 100);
}

TEST_F(DialogTest, PositionsAndLevelChange) {
  npc("soltys", 3, 0, 0);
  Database& db = Database::instance();
  db.setStr("data/lvl/inny.crs:lvl_zielarka", "1 1 1 1 5 6 0 100 spr 0 255 z.lua");
  file("npc/skoczek", "[npc]\ndata/lvl/inny.crs:lvl=1 0 1 1 7 8\n");
  dialogFile("g", "1 0=pos 40 50\n1 1=pos soltys 60 70\n"
                  "1 2=pos data/lvl/inny.crs:lvl zielarka 11 12\n"
                  "1 3=pos data/lvl/inny.crs:lvl skoczek 13 14\n"
                  "1 4=pos data/lvl/inny.crs:lvl brak 1 1\n1 5=str dalej\n"
                  "1 6=goto data/lvl/nie.crs:lvl 300 200 2 5 soltys\n1 7=str nie\n");
  EXPECT_FALSE(d.exec("pos 40 50"));
  EXPECT_EQ(player.npc->x * 1000 + player.npc->y, 40050);
  talk("g");
  EXPECT_EQ(player.npc->x, 300.0f);  // the goto came after
  EXPECT_NE(db.getStr("data/lvl/here.crs:lvl_soltys").find(" 60 70 "), std::string::npos);
  EXPECT_EQ(db.getStr("data/lvl/inny.crs:lvl_zielarka"), "1 1 1 1 11 12 0 100 spr 0 255 z.lua");
  EXPECT_EQ(db.getStr("data/lvl/inny.crs:lvl_skoczek"), "1 0 1 1 13 14 ");
  EXPECT_TRUE(cap.has("FAIL: Dialog.parse: Nie udalo sie otworzyc npc "
                      "\"data/lvl/inny.crs:lvl\":\"npc/brak\""));
  EXPECT_TRUE(cap.has("FAIL: Dialog.parse: Nie udalo sie wczytac info o npc "
                      "\"npc/brak\":\"data/lvl/inny.crs:lvl\""));
  // The level did not load; the player is moved and the dialog goes on in
  // mode 2 at block 5 of soltys' file.
  EXPECT_EQ(shown(), "dalej");
  EXPECT_TRUE(d.mode == 2 && d.block == 5 && d.line == 0 && d.resume);
  EXPECT_TRUE(d.npcFile == "npc/soltys" && d.player == &player);

  // The stored line of another level's character, whatever its length: 0
  // or 1 words read the character's own file, 2 to 5 get the missing
  // words, 6 or more have words 4 and 5 replaced.
  const std::string key = "data/lvl/inny.crs:lvl_dlug";
  file("npc/dlug", "[npc]\ndata/lvl/inny.crs:lvl=1 1 1 1 7 8 0 3 spr\n");
  dialogFile("soltys", "5=str x\n");  // the running dialog's file is read again
  const struct {
    const char* stored;
    const char* want;
  } rows[] = {
      {"", "1 1 1 1 21 22 0 3 spr"},        {"1", "1 1 1 1 21 22 0 3 spr"},
      {"1 0", "1 0 0 0 21 22 "},            {"1 0 1", "1 0 1 0 21 22 "},
      {"1 0 1 1", "1 0 1 1 21 22 "},        {"1 0 1 1 5", "1 0 1 1 21 22 "},
      {"1 0 1 1 5 6", "1 0 1 1 21 22 "},
  };
  for (const auto& row : rows) {
    db.setStr(key, row.stored);
    cap.clear();
    EXPECT_FALSE(d.exec("pos data/lvl/inny.crs:lvl dlug 21 22")) << row.stored;
    EXPECT_EQ(db.getStr(key), row.want) << row.stored;
    EXPECT_FALSE(cap.contains("FAIL")) << cap.joined();
  }
  file("npc/duo", "[npc]\ndata/lvl/inny.crs:lvl=1 0\n");  // two words are enough
  EXPECT_FALSE(d.exec("pos data/lvl/inny.crs:lvl duo 21 22"));
  EXPECT_EQ(db.getStr("data/lvl/inny.crs:lvl_duo"), "1 0 0 0 21 22 ");
  EXPECT_FALSE(cap.contains("FAIL")) << cap.joined();
}

TEST_F(DialogTest, ScriptFunctions) {
  Dialog& g = Dialog::instance();
  dialogFile("api", "1 0=str a\n");
  Lua lua;
  LuaFuncs::registerAll(lua);
  auto eval = [&](const std::string& code) { return apitest::eval(lua, code); };
  EXPECT_EQ(eval("return getDialNpcName()"), "nil");
  eval("setDial('api', 4) setDialLoop(3) setDialWait(1.9) setDialOpt(-2)");
  EXPECT_EQ(eval("return getDialNpcName(), getDialMode(), getDialB(), getDialLoop(), getDialWait(), getDialOpt()"),
            "npc/api 2 4 2 1 -2");
  ASSERT_TRUE(IniFile::instance().open("npc/api"));  // lines join the loaded file
  eval("setDialStr('x') addDialStr('y') addDialCmd(4, 3, 'str z') addDialOpt(4, 4, 'seta') clearODialpts()");
  EXPECT_STREQ(g.text.str(), "xy");
  const IniFile& ini = IniFile::instance();
  EXPECT_TRUE(ini.get("dialog", "4 3") == "str z" && ini.get("dialog", "4 4") == "seta");
  eval("addDialCmd(1, 2)");
  EXPECT_TRUE(cap.has("FAIL: LuaFuncs.lAddDialCmd: Za malo argumentow"));
  g.setNpcName(nullptr);
  g.mode = 0;
  g.text.setStr("");
}

}  // namespace
