#include <GL/glew.h>
#include <SDL/SDL.h>

#include "core/log.h"
#include "gl/gl_fixture.h"

using CameraGl = GlTest;

TEST_F(CameraGl, StateAfterInit) {
  GLint tex = 0;
  EXPECT_NE(Camera::instance().screenTex, 0u);
  glBindTexture(GL_TEXTURE_2D, Camera::instance().screenTex);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &tex);
  EXPECT_EQ(tex, 640);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &tex);
  EXPECT_EQ(tex, 480);
  glBindTexture(GL_TEXTURE_2D, 0);
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
  EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
  char* caption = nullptr;
  SDL_WM_GetCaption(&caption, nullptr);
  ASSERT_NE(caption, nullptr);
  EXPECT_STREQ(caption, "Tervalo v3");
}
