#include <GL/glew.h>
#include <SDL/SDL.h>

#include <vector>

#include "base/log.h"
#include "gl/gl_fixture.h"

using CameraGl = GlTest;

namespace {

bool isFullscreen() {
  SDL_Surface* s = SDL_GetVideoSurface();
  return s && (s->flags & SDL_FULLSCREEN);
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

// Fills the screen texture with one colour (fill) or reads it back; origin bottom left.
std::vector<uint8_t> screenTexture(uint32_t tex, const uint8_t* fill = nullptr) {
  std::vector<uint8_t> px(640 * 480 * 4);
  glBindTexture(GL_TEXTURE_2D, tex);
  if (fill) {
    for (size_t i = 0; i < px.size(); ++i) px[i] = (i % 4 == 3) ? 255 : fill[i % 4];
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 640, 480, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
  } else {
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
  }
  glBindTexture(GL_TEXTURE_2D, 0);
  return px;
}

}  // namespace

TEST_F(CameraGl, StateAfterInit) {
  EXPECT_FALSE(Camera::instance().fullscreen());
  EXPECT_FALSE(isFullscreen());
  // Pixel-exact projection: a point at (10, 20) lands on pixel (10, 20).
  GLfloat proj[16];
  glGetFloatv(GL_PROJECTION_MATRIX, proj);
  EXPECT_FLOAT_EQ(proj[0], 2.0f / 640);
  EXPECT_FLOAT_EQ(proj[5], -2.0f / 480);
  char* caption = nullptr;
  SDL_WM_GetCaption(&caption, nullptr);
  ASSERT_NE(caption, nullptr);
  EXPECT_STREQ(caption, "Tervalo v3");
}

TEST_F(CameraGl, InitFlipsBetweenWindowAndFullScreen) {
  Camera& cam = Camera::instance();
  ASSERT_FALSE(cam.fullscreen());
  expectScreenTexture(cam.screenTex);
  cam.tx = 12.5f;
  cam.shade = true;
  for (bool full : {true, false}) {  // second call: full screen, third: window again
    ASSERT_TRUE(cam.init(0));
    EXPECT_EQ(cam.fullscreen(), full);
    EXPECT_EQ(isFullscreen(), full);
    expectScreenTexture(cam.screenTex);
  }
  // View values survive the switch.
  EXPECT_EQ(cam.tx, 12.5f);
  EXPECT_TRUE(cam.shade);
  cam.shade = false;
}

TEST_F(CameraGl, BeginFrameTakesTheTarget) {
  Camera& cam = Camera::instance();
  cam.x = cam.y = 1;
  cam.tx = 300.5f;
  cam.ty = -40;
  glTranslatef(5, 5, 0);
  cam.beginFrame();
  EXPECT_EQ(cam.x, 300.5f);
  EXPECT_EQ(cam.y, -40.0f);
  EXPECT_EQ(cam.ix(), 300);
  GLfloat mv[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, mv);
  EXPECT_FLOAT_EQ(mv[12], 0.0f);  // identity again
}

TEST_F(CameraGl, EndFrameCopiesTheScreenOnlyWithShade) {
  Camera& cam = Camera::instance();
  const uint8_t reddish[] = {200, 10, 10}, black[] = {0, 0, 0};
  cam.shade = false;
  screenTexture(cam.screenTex, reddish);
  clearScreen(0, 255, 0);
  uint64_t copies = cam.screenCopies();
  cam.endFrame();
  EXPECT_EQ(cam.screenCopies(), copies);
  std::vector<uint8_t> px = screenTexture(cam.screenTex);
  EXPECT_EQ(px[0], 200);
  EXPECT_EQ(px[1], 10);
  EXPECT_EQ(px[640 * 240 * 4 + 320 * 4 + 1], 10);

  cam.shade = true;
  screenTexture(cam.screenTex, black);
  clearScreen(0, 0, 255);
  // A red band over the top 10 rows of the screen.
  glDisable(GL_TEXTURE_2D);
  glDisableClientState(GL_COLOR_ARRAY);
  glColor4ub(255, 0, 0, 255);
  glRectf(0, 0, 640, 10);
  glEnableClientState(GL_COLOR_ARRAY);
  glEnable(GL_TEXTURE_2D);
  cam.endFrame();
  cam.shade = false;
  EXPECT_EQ(cam.screenCopies(), copies + 1);
  px = screenTexture(cam.screenTex);
  // The copy is upright in GL terms: the red band is in the texture's last rows.
  const size_t top = (479u * 640u + 5u) * 4u, bottom = (5u * 640u + 5u) * 4u;
  EXPECT_EQ(px[top], 255);
  EXPECT_EQ(px[top + 2], 0);
  EXPECT_EQ(px[bottom], 0);
  EXPECT_EQ(px[bottom + 2], 255);
}
