#include <GL/glew.h>
#include <SDL/SDL.h>

#include <vector>

#include "core/log.h"
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

std::vector<uint8_t> readTexture(uint32_t tex) {
  std::vector<uint8_t> px(640 * 480 * 4);
  glBindTexture(GL_TEXTURE_2D, tex);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  return px;
}

void fillTexture(uint32_t tex, uint8_t r, uint8_t g, uint8_t b) {
  std::vector<uint8_t> px(640 * 480 * 4);
  for (size_t i = 0; i < px.size(); i += 4) {
    px[i] = r;
    px[i + 1] = g;
    px[i + 2] = b;
    px[i + 3] = 255;
  }
  glBindTexture(GL_TEXTURE_2D, tex);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 640, 480, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
  glBindTexture(GL_TEXTURE_2D, 0);
}

}  // namespace

TEST_F(CameraGl, StateAfterInit) {
  Camera& cam = Camera::instance();
  expectScreenTexture(cam.screenTex);
  EXPECT_FALSE(cam.fullscreen());
  EXPECT_FALSE(isFullscreen());
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_TRUE(glIsEnabled(GL_VERTEX_ARRAY));
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
  EXPECT_TRUE(glIsEnabled(GL_COLOR_ARRAY));
  EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
  EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
  GLint src = 0, dst = 0;
  glGetIntegerv(GL_BLEND_SRC, &src);
  glGetIntegerv(GL_BLEND_DST, &dst);
  EXPECT_EQ(src, GL_SRC_ALPHA);
  EXPECT_EQ(dst, GL_ONE_MINUS_SRC_ALPHA);
  GLfloat clear[4];
  glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
  EXPECT_FLOAT_EQ(clear[0], 0.0f);
  EXPECT_FLOAT_EQ(clear[1], 0.5f);
  EXPECT_FLOAT_EQ(clear[2], 1.0f);
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
  float keepX = 12.5f;
  cam.tx = keepX;
  cam.shade = true;
  ASSERT_TRUE(cam.init(0));  // second call: full screen
  EXPECT_TRUE(cam.fullscreen());
  EXPECT_TRUE(isFullscreen());
  expectScreenTexture(cam.screenTex);
  ASSERT_TRUE(cam.init(0));  // third call: window again
  EXPECT_FALSE(cam.fullscreen());
  EXPECT_FALSE(isFullscreen());
  expectScreenTexture(cam.screenTex);
  // View values survive the switch.
  EXPECT_EQ(cam.tx, keepX);
  EXPECT_TRUE(cam.shade);
  cam.shade = false;
}

TEST_F(CameraGl, BeginFrameTakesTheTarget) {
  Camera& cam = Camera::instance();
  cam.x = 1;
  cam.y = 2;
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

TEST_F(CameraGl, EndFrameWithoutShadeNeverWritesScreenTexture) {
  Camera& cam = Camera::instance();
  cam.shade = false;
  fillTexture(cam.screenTex, 200, 10, 10);
  clearScreen(0, 255, 0);
  uint64_t copies = cam.screenCopies();
  cam.endFrame();
  EXPECT_EQ(cam.screenCopies(), copies);
  std::vector<uint8_t> px = readTexture(cam.screenTex);
  EXPECT_EQ(px[0], 200);
  EXPECT_EQ(px[1], 10);
  EXPECT_EQ(px[640 * 240 * 4 + 320 * 4 + 1], 10);
}

TEST_F(CameraGl, EndFrameWithShadeCopiesTheFrameUpright) {
  Camera& cam = Camera::instance();
  cam.shade = true;
  fillTexture(cam.screenTex, 0, 0, 0);
  clearScreen(0, 0, 255);
  // A red band over the top 10 rows of the screen.
  glDisable(GL_TEXTURE_2D);
  glDisableClientState(GL_COLOR_ARRAY);
  glColor4ub(255, 0, 0, 255);
  glBegin(GL_QUADS);
  glVertex2f(0, 0);
  glVertex2f(0, 10);
  glVertex2f(640, 10);
  glVertex2f(640, 0);
  glEnd();
  glEnableClientState(GL_COLOR_ARRAY);
  glEnable(GL_TEXTURE_2D);
  uint64_t copies = cam.screenCopies();
  cam.endFrame();
  cam.shade = false;
  EXPECT_EQ(cam.screenCopies(), copies + 1);
  std::vector<uint8_t> px = readTexture(cam.screenTex);
  // The copy has its origin at the bottom left: the red band is in the last rows.
  size_t top = (479u * 640u + 5u) * 4u, bottom = (5u * 640u + 5u) * 4u;
  EXPECT_EQ(px[top], 255);
  EXPECT_EQ(px[top + 2], 0);
  EXPECT_EQ(px[bottom], 0);
  EXPECT_EQ(px[bottom + 2], 255);
}
