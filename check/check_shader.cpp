#include "check/check_shader.h"

#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>

#include <cstdlib>
#include <cstring>
#include <sstream>

#include "render/shader_runtime.h"

namespace {

// glslang wants its process state set up once and torn down at exit.
struct GlslangProcess {
  GlslangProcess() { glslang::InitializeProcess(); }
  ~GlslangProcess() { glslang::FinalizeProcess(); }
};

// One line of glslang's log, "ERROR: 0:LINE: 'token' : message".
bool parseLogLine(const std::string& l, ShaderError& out) {
  static const char kError[] = "ERROR: ";
  if (l.compare(0, sizeof kError - 1, kError) != 0) return false;
  std::string rest = l.substr(sizeof kError - 1);
  // The summary lines ("2 compilation errors", "compilation terminated")
  // say nothing of their own.
  if (rest.find("compilation errors") != std::string::npos ||
      rest.find("compilation terminated") != std::string::npos)
    return false;
  out.line = 0;
  const size_t colon = rest.find(':');
  if (colon != std::string::npos) {
    char* end = nullptr;
    const long line = std::strtol(rest.c_str() + colon + 1, &end, 10);
    if (end && *end == ':') {
      out.line = static_cast<int>(line);
      rest = end + 1;
    }
  }
  while (!rest.empty() && rest.front() == ' ') rest.erase(0, 1);
  while (!rest.empty() && rest.back() == ' ') rest.pop_back();
  out.message = rest;
  return true;
}

}  // namespace

std::vector<ShaderError> checkShaderSource(const std::string& source, const std::string& entry,
                                           bool vertex) {
  static GlslangProcess process;
  using ShaderRuntime::Stage;
  const std::string text = ShaderRuntime::assemble(vertex ? Stage::Vertex : Stage::Fragment, source, entry);
  glslang::TShader shader(vertex ? EShLangVertex : EShLangFragment);
  const char* strings[] = {text.c_str()};
  shader.setStrings(strings, 1);
  std::vector<ShaderError> errors;
  if (shader.parse(GetDefaultResources(), 450, ECompatibilityProfile, false, false,
                   EShMsgDefault))
    return errors;
  std::istringstream log(shader.getInfoLog());
  std::string l;
  ShaderError e;
  while (std::getline(log, l))
    if (parseLogLine(l, e)) errors.push_back(e);
  if (errors.empty()) errors.push_back({0, "does not compile"});
  return errors;
}
