#include "render/shader.h"

#include <GL/glew.h>

CameraShader& CameraShader::instance() {
  static CameraShader shader;
  return shader;
}

bool CameraShader::init() {
  // Programs are compiled by the shader runtime; with none loaded the
  // context only needs separable-program support.
  ready_ = GLEW_ARB_separate_shader_objects || GLEW_VERSION_4_1;
  return ready_;
}

void CameraShader::update() {}
void CameraShader::bind() {}
void CameraShader::unbindWorld() {}
void CameraShader::bindPost() {}
void CameraShader::unbindPost() {}
void CameraShader::reload() {}
