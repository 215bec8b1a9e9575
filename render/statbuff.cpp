#include "render/statbuff.h"

#include <GL/glew.h>

#include <cmath>

#include "base/log.h"
#include "render/camera.h"
#include "render/cull.h"
#include "render/sprite.h"

StatBuff::~StatBuff() {
  if (vbo != 0 && glDeleteBuffers && Sprite::glReady()) {
    GLuint b = vbo;
    glDeleteBuffers(1, &b);
  }
}

bool StatBuff::init(Sprite* s) {
  if (!s) {
    Log::fail("StatBuff.init: NULL sprite");
    return false;
  }
  sprite = s;
  // A second init without clear would otherwise lose the first name.
  if (vbo != 0 && glDeleteBuffers) {
    GLuint old = vbo;
    glDeleteBuffers(1, &old);
  }
  vbo = 0;
  if (glGenBuffers) {
    while (glGetError() != GL_NO_ERROR) {
    }
    GLuint b = 0;
    glGenBuffers(1, &b);
    vbo = b;
    if (GLenum err = glGetError()) {
      Log::fail("StatBuff.init: Blad przy uruchamianiu VBO, uzywanie tablicy wierzcholkow, %u\n",
                static_cast<unsigned>(err));
      if (vbo != 0) glDeleteBuffers(1, &b);
      vbo = 0;
    } else if (vbo == 0) {
      Log::fail("StatBuff.init: VBO nie wspierane, uzywanie tablicy wierzcholkow");
    }
  } else {
    Log::fail("StatBuff.init: VBO nie wspierane, uzywanie tablicy wierzcholkow");
  }
  verts.reserve(1200);
  ready = true;
  return true;
}

void StatBuff::clear() {
  if (vbo != 0 && glDeleteBuffers) {
    GLuint b = vbo;
    glDeleteBuffers(1, &b);
  }
  // Forgetting the deleted name keeps a later clear from deleting a name
  // that GL has since handed to another buffer.
  vbo = 0;
  verts.clear();
  count = 0;
  opaque = 0;
  ready = false;
}

void StatBuff::print(float camX, float camY) {
  if (!ready) {
    if (!sprite) {
      Log::fail("StatBuff.print: Wywolaj funkcje init() przed wyswietlaniem");
      return;
    }
    if (!init(sprite)) return;
  }
  if (verts.empty()) return;
  // Never hand GL more vertices than the list holds.
  const size_t n = count < verts.size() ? count : verts.size();
  const size_t solid = opaque <= n && cull::active() ? opaque : 0;
  const Camera& cam = Camera::instance();
  const float dx = std::floor(camX * static_cast<float>(-cam.ix()));
  const float dy = std::floor(camY * static_cast<float>(-cam.iy()));
  glInterleavedArrays(GL_T2F_C4UB_V3F, 0, verts.data());
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glTranslatef(dx, dy, 0.0f);
  glBindTexture(GL_TEXTURE_2D, sprite->texture);
  if (solid > 0) {
    glDisable(GL_BLEND);
    glDrawArrays(GL_QUADS, 0, static_cast<GLsizei>(solid));
    glEnable(GL_BLEND);
  }
  if (n > solid) glDrawArrays(GL_QUADS, static_cast<GLint>(solid), static_cast<GLsizei>(n - solid));
  if (glBindBuffer) glBindBuffer(GL_ARRAY_BUFFER, 0);
  glPopMatrix();
}
