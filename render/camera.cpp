#include "render/camera.h"

#include <GL/glew.h>
#include <SDL/SDL.h>

#include "base/fatal_signal.h"
#include "base/log.h"
#include "render/shader.h"
#include "render/sprite.h"

namespace {
struct SpriteQuad {
  float u, v, x, y;
};
}  // namespace

Camera& Camera::instance() {
  static Camera camera;
  return camera;
}

bool Camera::init(uint32_t flags) {
  if (!sdlStarted_) {
    sdlStarted_ = true;
    if (SDL_Init(SDL_INIT_VIDEO) < 0) {
      Log::fail("init: Nie udalo sie zainicjowac sdl'a");
      sdlStarted_ = false;  // a later call may try again instead of flipping
      return false;
    }
    // SDL's crash handler shuts SDL down from inside the signal handler,
    // which can hang for good after a fault in the allocator: give it two
    // seconds.
    fatal_signal::bound(2);
    SDL_WM_SetCaption("Tervalo v3", nullptr);
    SDL_GL_SetAttribute(SDL_GL_SWAP_CONTROL, 0);
    // Everything is drawn in order, without a depth test. A window with no
    // depth buffer lets software rasterisers (Mesa's llvmpipe) take their
    // fast path for flat textured quads, about 1.4 times the frame rate of
    // the demo; with a depth buffer they never do.
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
  } else {
    fullscreen_ = !fullscreen_;
    if (fullscreen_) flags |= SDL_FULLSCREEN;
  }
  if (!SDL_SetVideoMode(kWidth, kHeight, 32, flags | SDL_OPENGL)) {
    Log::fail("init: Nie udalo sie ustawic trybu video");
    return false;
  }
  // The context is new: entry points of buffer objects and shaders are
  // looked up again.
  glewExperimental = GL_TRUE;
  glewInit();
  glGetError();  // glewInit may leave an error behind on core contexts
  // The screen texture tells a surviving context from a new one: a new
  // context has no texture objects yet.
  contextKept_ = screenTex != 0 && glIsTexture(screenTex) == GL_TRUE;

  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, kWidth, kHeight, 0, 1000, -1000);
  glClearColor(0.0f, 0.5f, 1.0f, 0.0f);
  glDisable(GL_CULL_FACE);
  glEnable(GL_TEXTURE_2D);
  glEnable(GL_BLEND);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  if (GLenum err = glGetError()) {
    Log::fail("init: Nie udalo sie wystartowac OpenGl'a (%d)\n", static_cast<int>(err));
    return false;
  }

  // The old context is gone with its textures, but the name is given back
  // all the same, as the GL state is rebuilt from scratch.
  if (screenTex != 0) {
    GLuint old = screenTex;
    glDeleteTextures(1, &old);
    glGetError();
  }
  GLuint tex = 0;
  glGenTextures(1, &tex);
  screenTex = tex;
  if (glGetError() != 0 || tex == 0) {
    Log::fail("init: Nie udalo sie zajac pamieci na ekran");
    return false;
  }
  glBindTexture(GL_TEXTURE_2D, tex);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kWidth, kHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  if (glGetError() != 0) {
    Log::fail("init: Nie udalo sie uruchomic ekranu");
    return false;
  }
  glBindTexture(GL_TEXTURE_2D, 0);

  Shader::instance().init();
  return true;
}

bool Camera::toggleFullscreen() {
  if (!init(0)) return false;
  if (!contextKept_) {
    Shader::instance().reload();
    Sprite::reload();
  }
  return true;
}

void Camera::beginFrame() {
  glLoadIdentity();
  if (shade) {
    Shader::instance().update();
    Shader::instance().bind();
  }
  x = tx;
  y = ty;
}

void Camera::endFrame() {
  if (shade) {
    Shader& sh = Shader::instance();
    sh.unbind();
    sh.bindPost();
    glBindTexture(GL_TEXTURE_2D, screenTex);
    // Into the storage made at start-up: no new texture every frame.
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, kWidth, kHeight);
    ++screenCopies_;
    glPushMatrix();
    glLoadIdentity();
    // The copy has its origin at the bottom left: these coordinates put
    // it back upright.
    const SpriteQuad quad[4] = {
        {0, 1, 0, 0}, {0, 0, 0, kHeight}, {1, 0, kWidth, kHeight}, {1, 1, kWidth, 0}};
    glColor4ub(255, 255, 255, 255);
    glDisableClientState(GL_COLOR_ARRAY);
    glBegin(GL_QUADS);
    for (const auto& q : quad) {
      glTexCoord2f(q.u, q.v);
      glVertex2f(q.x, q.y);
    }
    glEnd();
    glEnableClientState(GL_COLOR_ARRAY);
    glPopMatrix();
    glBindTexture(GL_TEXTURE_2D, 0);
    sh.unbindPost();
  }
  SDL_GL_SwapBuffers();
}

void Camera::shutdown() {
  if (screenTex != 0 && sdlStarted_) {
    GLuint old = screenTex;
    glDeleteTextures(1, &old);
  }
  screenTex = 0;
  if (sdlStarted_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
  sdlStarted_ = false;
  fullscreen_ = false;
}
