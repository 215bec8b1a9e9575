// The window, the frame's start and end, and the camera's GLSL programs.

#include <cctype>
#include <fstream>
#include <string>

#include "api/lua_funcs.h"
#include "gl/gl_fixture.h"
#include "render/shader.h"
#include "script/lua.h"

using Pipeline = ShaderRuntime::Pipeline;

namespace {

// An untextured rectangle from the top-left corner.
void fillCorner(float w, float h, Rgba c) {
  glDisable(GL_TEXTURE_2D);
  glDisableClientState(GL_COLOR_ARRAY);
  glColor4ub(c.r, c.g, c.b, 255);
  glRectf(0, 0, w, h);
  glEnableClientState(GL_COLOR_ARRAY);
  glEnable(GL_TEXTURE_2D);
}

void expectScreenTexture(uint32_t tex) {
  ASSERT_NE(tex, 0u);
  EXPECT_TRUE(glIsTexture(tex));
  GLint w = 0, h = 0, filter = 0;
  glBindTexture(GL_TEXTURE_2D, tex);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filter);
  glBindTexture(GL_TEXTURE_2D, 0);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  EXPECT_EQ(filter, GL_NEAREST);
}

// One source holding every test program; the entry name picks one.
const char* const kPrograms = R"(
uniform sampler2D screen;
uniform float force;
uniform float level;
uniform sampler2D pic;
uniform float shift;

#ifdef FRAGMENT
void invert() {
  vec4 c = texture(screen, gl_TexCoord[0].st);
  gl_FragColor = vec4(1.0 - c.rgb, 1.0);
}
void showForce() { gl_FragColor = vec4(vec3(force), 1.0); }
void showLevel() { gl_FragColor = vec4(level, 0.0, 0.0, 1.0); }
void showPic() { gl_FragColor = texture(pic, vec2(0.75, 0.25)); }
#endif

#ifdef VERTEX
void moveRight() {
  gl_Position = gl_ModelViewProjectionMatrix * (gl_Vertex + vec4(shift, 0.0, 0.0, 0.0));
  gl_FrontColor = gl_Color;
  gl_TexCoord[0] = gl_MultiTexCoord0;
}
#endif
)";

class ShaderGl : public GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    CameraShader::instance().clear();
    Camera::instance().shade = false;
    game::dt = 0.016f;
    ar.file("fx", kPrograms).file("bad", "void broken() { gl_FragColor = nothing; }\n");
    ar.file("own", "#version 130\nvoid red() { gl_FragColor = vec4(1.0, 0.0, 0.0, 1.0); }\n");
    ar.image("pic", Image(4, 4, kGreen)).write();
    LuaFuncs::registerAll(lua);
  }
  void TearDown() override {
    Camera::instance().shade = false;
    CameraShader::instance().unbind();
    CameraShader::instance().clear();
    GlTest::TearDown();
  }
  std::string fx(const char* entry) const { return ar.res("fx") + ":" + entry; }
  // One camera frame of a plain world with a square in the corner, leaving
  // a moved matrix behind for the post pass to ignore. The back buffer keeps
  // the presented picture after the swap here.
  static void frame(uint8_t r = 200, uint8_t g = 0, uint8_t b = 0, float side = 10, uint8_t sq = 0) {
    Camera::instance().beginFrame();
    clearScreen(r, g, b);
    fillCorner(side, side, {sq, 255, sq});
    glTranslatef(7, 3, 0);
    Camera::instance().endFrame();
  }
  void script(const std::string& chunk) { EXPECT_TRUE(lua.runString(chunk.c_str())) << chunk; }

  Lua lua;
};

}  // namespace

// A post program from a file on disk changes what reaches the screen (the
// copy of the screen is upright), and keeps doing so after a window/full
// screen switch and the reload hook.
TEST_F(ShaderGl, PostProgramInvertsThePresentedPictureAcrossAContextSwitch) {
  CameraShader& sh = CameraShader::instance();
  ASSERT_TRUE(sh.hasContext());
  const std::string path = rendertest::tempDir() / "invert.glsl";
  std::ofstream(path) << kPrograms;
  Log::Capture cap;
  sh.setPost((path + ":invert").c_str());
  Camera& cam = Camera::instance();
  cam.shade = true;
  frame();
  expectPixels({{5, 240, {55, 255, 255}}, {5, 5, {255, 0, 255}}});
  EXPECT_EQ(Pipeline::bound(), 0u);  // nothing stays bound after the frame

  // Full screen, then a window again: a new screen texture each time, the
  // view values kept. SDL keeps the context, so the sprites keep their
  // textures (no copies piling up at every switch) and the program works on.
  expectScreenTexture(cam.screenTex);
  cam.tx = 12.5f;
  Sprite* s = Sprite::get(std::string(TERVALO_GAME_DIR) + "/data/gfx.crs:player");
  ASSERT_NE(s, nullptr);
  const uint32_t tex = s->texture;
  for (bool full : {true, false}) {
    ASSERT_TRUE(cam.toggleFullscreen());
    EXPECT_EQ(cam.fullscreen(), full);
    EXPECT_EQ((SDL_GetVideoSurface()->flags & SDL_FULLSCREEN) != 0, full);
    expectScreenTexture(cam.screenTex);
    EXPECT_TRUE(cam.contextKept());
    EXPECT_TRUE(s->texture == tex && glIsTexture(tex));
  }
  Sprite::release(s);
  EXPECT_EQ(cam.tx, 12.5f);
  EXPECT_TRUE(cam.shade);
  frame();
  EXPECT_EQ(pixel(5, 240), (Rgba{55, 255, 255, 255}));
  EXPECT_EQ(cam.x, 12.5f);  // the frame started at the target
  EXPECT_TRUE(cap.lines().empty()) << cap.joined();

  // A really new context: the old program is dropped unread, the frame is
  // presented without it, and the reload hook brings it back.
  cam.shutdown();
  ASSERT_TRUE(openTestWindow());
  Sprite::reload();
  EXPECT_FALSE(sh.post()->ok);
  frame();
  EXPECT_EQ(pixel(5, 240), (Rgba{200, 0, 0, 255}));
  sh.reload();
  frame();
  EXPECT_EQ(pixel(5, 240), (Rgba{55, 255, 255, 255}));
}

// "force" fades in over a second and out before a waiting program takes
// the slot; the program sees the value.
TEST_F(ShaderGl, ForceFadesInAndOutOnReplacement) {
  CameraShader& sh = CameraShader::instance();
  Camera& cam = Camera::instance();
  game::dt = 0.25f;
  sh.setPost(fx("showForce").c_str());
  const CameraShader::Program* a = sh.find(fx("showForce"));
  ASSERT_TRUE(a && a->ok);
  // With shade off the program waits and the screen is not copied.
  const uint64_t copies = cam.screenCopies();
  frame();
  EXPECT_EQ(pixel(5, 240), (Rgba{200, 0, 0}));
  EXPECT_EQ(cam.screenCopies(), copies);
  EXPECT_EQ(sh.post(), nullptr);
  EXPECT_EQ(sh.nextPost(), a);
  cam.shade = true;
  for (int expected : {0, 64, 128, 191, 255, 255}) {
    frame();
    EXPECT_TRUE(near(pixel(320, 240), Rgba(expected, expected, expected))) << pixel(320, 240);
  }
  sh.setPost(fx("invert").c_str());
  for (int expected : {191, 128, 64, 0}) {
    frame();
    EXPECT_EQ(sh.post(), a);
    EXPECT_TRUE(near(pixel(320, 240), Rgba(expected, expected, expected))) << pixel(320, 240);
  }
  frame();
  EXPECT_EQ(sh.post(), sh.find(fx("invert")));
  EXPECT_EQ(pixel(320, 240), (Rgba{55, 255, 255, 255}));
  EXPECT_FLOAT_EQ(sh.post()->upd, 0.25f);  // seconds since it took the slot
}

TEST_F(ShaderGl, FailedProgramsReportAndDrawingGoesOn) {
  CameraShader& sh = CameraShader::instance();
  Log::Capture cap;
  const std::string bad = ar.res("bad") + ":broken";
  sh.setFrag(bad.c_str());
  ASSERT_GE(cap.lines().size(), 2u);
  EXPECT_EQ(cap.lines()[0],
            "FAIL: Shader.loadShader: Nie udalo sie wczytac fragment shadera (\"" + bad + "\")");
  // The compiler's text, quoted without its trailing line ends.
  const std::string& why = cap.lines()[1];
  EXPECT_EQ(why.compare(0, 2, "\t\""), 0) << why;
  EXPECT_NE(why.find("nothing"), std::string::npos);
  EXPECT_TRUE(cap.lines().size() == 2 && why.back() == '"' && !std::isspace(why[why.size() - 2])) << cap.joined();
  // The failed record is scheduled all the same and draws nothing special.
  Camera::instance().shade = true;
  frame();
  EXPECT_EQ(pixel(5, 240), (Rgba{200, 0, 0, 255}));
  EXPECT_EQ(sh.frag(), sh.find(bad));

  cap.clear();
  const std::string missing = ar.res("nope") + ":main";
  sh.setVert(missing.c_str());
  EXPECT_TRUE(cap.has("FAIL: Shader.loadShader: Nie udalo sie wczytac vertex shadera (\"" +
                      missing + "\")"));

  // A source's own #version line is kept; a program waits only in a slot of its own stage.
  cap.clear();
  sh.loadShader((ar.res("own") + ":red").c_str(), false);
  EXPECT_TRUE(sh.find(ar.res("own") + ":red")->ok);
  sh.setVert(fx("moveRight").c_str());
  sh.setPost(fx("moveRight").c_str());
  EXPECT_EQ(sh.nextVert(), sh.find(fx("moveRight")));
  EXPECT_NE(sh.nextPost(), sh.find(fx("moveRight")));
  EXPECT_EQ(cap.count("FAIL"), 0u) << cap.joined();
}

// Arguments by name through the script functions: floats to the world's
// fragment and vertex programs, an image from a sprite.
TEST_F(ShaderGl, ScriptsSetArgumentsByName) {
  CameraShader& sh = CameraShader::instance();
  Camera& cam = Camera::instance();
  const std::string level = fx("showLevel"), move = fx("moveRight"), pic = fx("showPic");
  script("setCamShaderFrag('" + level + "') setCamShaderArgFloat('" + level + "', 'level', 0.5)");
  cam.beginFrame();  // shade off: nothing bound, the program waits
  EXPECT_EQ(Pipeline::bound(), 0u);
  EXPECT_EQ(sh.frag(), nullptr);
  cam.endFrame();
  cam.shade = true;
  cam.beginFrame();
  EXPECT_NE(Pipeline::bound(), 0u);
  clearScreen(0, 0, 0);
  fillCorner(50, 50, kGreen);
  EXPECT_TRUE(near(pixel(10, 10), {128, 0, 0})) << pixel(10, 10);
  cam.endFrame();
  EXPECT_EQ(Pipeline::bound(), 0u);

  script("setCamShaderArgFloat('" + level + "', 'level', 1)");
  EXPECT_EQ(sh.find(level)->args.size(), 1u);
  script("delCamShaderArg('" + level + "', 'level')");
  EXPECT_TRUE(sh.find(level)->args.empty());
  script("setCamShaderArgFloat('never:asked:for', 'level', 1)");
  EXPECT_EQ(sh.find("never:asked:for"), nullptr);
  {
    Log::Capture cap;
    script("setCamShaderArgFloat('" + level + "', 'level')");
    EXPECT_TRUE(cap.has("FAIL: LuaFuncs.lSetCamShaderArgFloat: Za malo argumentow"));
  }

  // A vertex program moves the geometry.
  script("setCamShaderVert('" + move + "') setCamShaderArgFloat('" + move + "', 'shift', 100)");
  cam.beginFrame();
  clearScreen(0, 0, 0);
  fillCorner(50, 50, kGreen);
  expectPixels({{10, 10, kBlack}, {110, 10, kRed}});
  // A sprite left of the screen is not culled: the program moves it in.
  Sprite::draw(Sprite::batch(), get("pic"), -50, 100, 0, 0, 0, 255, 1, 1, 0, 1, 1);
  Sprite::flush();
  EXPECT_EQ(pixel(52, 102), kRed);
  cam.endFrame();

  {
    Log::Capture quiet;  // the picture has no animation entry
    script("setCamShaderFrag('" + pic + "') setCamShaderArgImg('" + pic + "', 'pic', '" +
           ar.res("pic") + "')");
  }
  game::dt = 0.5f;  // "level" fades out, "pic" takes over
  for (int i = 0; i < 3; ++i) frame(0, 0, 255, 50, 255);
  ASSERT_EQ(sh.frag(), sh.find(pic));
  // The copy without a post program keeps every colour.
  expectPixels({{110, 10, kGreen}, {300, 300, kBlue}});
}

