// Offline compilation of the camera's shader programs for the game checker:
// the text the shader runtime would hand to the driver, compiled by glslang
// (no GL context, no window).
#pragma once

#include <string>
#include <vector>

struct ShaderError {
  int line;  // line of the source, 0 when unknown
  std::string message;
};

// Compiles `source` with `entry` as the program's main function for the
// vertex or the fragment stage; every error the compiler names.
std::vector<ShaderError> checkShaderSource(const std::string& source, const std::string& entry,
                                           bool vertex);
