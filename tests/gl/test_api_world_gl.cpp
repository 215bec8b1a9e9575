// Script functions that take sprite names, and the references each keeps.
#include <memory>
#include <string>

#include "api/lua_funcs.h"
#include "base/log.h"
#include "gl/gl_fixture.h"
#include "gl/render_helpers.h"
#include "render/fade.h"
#include "render/sprite.h"
#include "world/level.h"

using namespace rendertest;

namespace {

struct ApiWorldGl : GlTest {
  TestArchive ar;
  std::unique_ptr<Level> lvl = std::make_unique<Level>();
  Lua lua;
  std::string a = ar.res("a"), b = ar.res("b"), c = ar.res("c");

  void SetUp() override {
    GlTest::SetUp();
    ar.image("a", Image(32, 32, kRed)).image("b", Image(8, 8, kGreen)).image("c", Image(8, 8)).write();
    LuaFuncs::registerAll(lua);
    lua.setReg(Lua::kRegLvl, static_cast<void*>(lvl.get()));
  }
  void TearDown() override {
    lvl.reset();
    Fades::instance().clear();
    Log::Capture quiet;
    Sprite::flush(nullptr);
    Sprite::clear();
  }
  void run(const std::string& chunk) {
    Log::Capture quiet;  // the pictures have no animation definitions
    EXPECT_TRUE(lua.runString(chunk.c_str()));
  }
  static uint32_t refs(const std::string& name) { return Sprite::load(name)->refs; }
};

}  // namespace

TEST_F(ApiWorldGl, ObjectsSkyAndSpriteCache) {
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
  // Only what nothing uses leaves the cache; the console says what clear() says.
  cap.clear();
  EXPECT_TRUE(lua.runString("unloadSprite()"));
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{"INFO: Sprite.clear: Kasowanie grafik",
                                                   "OK  : Sprite.clear: Grafiki skasowane"}));
  EXPECT_EQ(Sprite::cacheSize(), 2u);
  EXPECT_EQ(o->sprite, Sprite::load(a));
}

// Opacities outside 0..255 are held at the ends; entries hold references.
TEST_F(ApiWorldGl, Fades) {
  run("setFade('" + a + "', 300, -5) addFade('" + b + "', 10.9, 20)");
  const auto& e = Fades::instance().entries();
  ASSERT_EQ(e.size(), 2u);
  EXPECT_TRUE(e[0].sprite == Sprite::load(b) && e[0].alpha == 10.0f && e[0].target == 20);
  EXPECT_TRUE(e[1].alpha == 255.0f && e[1].target == 0);
  run("setFade('" + b + "', 0, 255)");
  EXPECT_EQ(Sprite::cacheSize(), 1u);
  EXPECT_EQ(refs(b), 1u);
}
