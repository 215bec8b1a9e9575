#include "render/cull.h"

#include "render/camera.h"
#include "render/shader.h"

namespace cull {

bool enabled = true;

bool active() {
  if (!enabled) return false;
  if (!Camera::instance().shade) return true;
  const CameraShader& s = CameraShader::instance();
  return !s.vert() && !s.frag() && !s.nextVert() && !s.nextFrag();
}

}  // namespace cull
