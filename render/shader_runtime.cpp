#include "render/shader_runtime.h"

#include <GL/glew.h>
#include <SDL/SDL.h>

#include <cctype>
#include <vector>

namespace ShaderRuntime {

namespace {

// GL objects are deleted only while a window with a context exists; after
// SDL is shut down (static objects die last) the names are just dropped.
bool haveContext() {
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return false;
  const SDL_Surface* screen = SDL_GetVideoSurface();
  return screen && (screen->flags & SDL_OPENGL);
}

bool validEntry(const std::string& entry) {
  if (entry.empty() || entry.compare(0, 3, "gl_") == 0) return false;
  if (!std::isalpha(static_cast<unsigned char>(entry[0])) && entry[0] != '_') return false;
  for (char c : entry)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  return true;
}

bool isSampler2D(unsigned type) { return type == GL_SAMPLER_2D; }

}  // namespace

// The text handed to the compiler: the version line, the stage's define,
// the source with its own line numbers, and a main that calls the entry.
std::string assemble(Stage stage, const std::string& source, const std::string& entry) {
  size_t bodyStart = 0;
  std::string version =
      versionLine(reinterpret_cast<const char*>(glGetString(GL_SHADING_LANGUAGE_VERSION)));
  int firstLine = 1;
  size_t p = source.find_first_not_of(" \t\r\n");
  if (p != std::string::npos && source.compare(p, 8, "#version") == 0) {
    size_t eol = source.find('\n', p);
    bodyStart = eol == std::string::npos ? source.size() : eol + 1;
    version = source.substr(0, bodyStart);
    if (version.back() != '\n') version += '\n';
    firstLine = 1;
    for (size_t i = 0; i < bodyStart; ++i)
      if (source[i] == '\n') ++firstLine;
  }
  std::string text = version;
  text += stage == Stage::Vertex ? "#define VERTEX 1\n" : "#define FRAGMENT 1\n";
  text += "#line " + std::to_string(firstLine) + "\n";
  text.append(source, bodyStart, std::string::npos);
  if (entry != "main") text += "\nvoid main() { " + entry + "(); }\n";
  return text;
}

std::string versionLine(const char* glslVersion) {
  // "4.60 NVIDIA ...", "4.50 (Core Profile) Mesa ...": major, point, minor.
  int number = 0;
  if (glslVersion && std::isdigit(static_cast<unsigned char>(glslVersion[0]))) {
    const char* p = glslVersion;
    int major = 0;
    while (std::isdigit(static_cast<unsigned char>(*p)) && major < 100) major = major * 10 + (*p++ - '0');
    int minor = 0, digits = 0;
    if (*p == '.')
      for (++p; digits < 2 && std::isdigit(static_cast<unsigned char>(*p)); ++digits)
        minor = minor * 10 + (*p++ - '0');
    if (digits == 1) minor *= 10;
    number = major * 100 + minor;
  }
  // Nothing readable (no context: the offline checker): 4.50.
  if (number < 110) number = 450;
  // The compatibility profile (gl_Vertex, gl_FragColor, ...) is named from 1.50 on.
  return "#version " + std::to_string(number) + (number >= 150 ? " compatibility\n" : "\n");
}

bool available() {
  return (GLEW_VERSION_4_1 || GLEW_ARB_separate_shader_objects) && glCreateShaderProgramv &&
         glGenProgramPipelines && glProgramUniform1f;
}

bool supports(Stage stage) {
  if (!available()) return false;
  return stage == Stage::Vertex ? (GLEW_VERSION_2_0 || GLEW_ARB_vertex_shader)
                                : (GLEW_VERSION_2_0 || GLEW_ARB_fragment_shader);
}

unsigned textureUnits() {
  GLint n = 0;
  glGetIntegerv(GL_MAX_TEXTURE_IMAGE_UNITS, &n);
  return n > 0 ? static_cast<unsigned>(n) : 0u;
}

// --- Program -------------------------------------------------------------

Program::~Program() {
  if (id_ && haveContext()) glDeleteProgram(id_);
}

Program::Program(Program&& other) noexcept : id_(other.id_), stage_(other.stage_) {
  other.id_ = 0;
}

Program& Program::operator=(Program&& other) noexcept {
  if (this != &other) {
    if (id_ && haveContext()) glDeleteProgram(id_);
    id_ = other.id_;
    stage_ = other.stage_;
    other.id_ = 0;
  }
  return *this;
}

Program Program::compile(Stage stage, const std::string& source, const std::string& entry,
                         std::string& error) {
  Program out;
  out.stage_ = stage;
  error.clear();
  if (!available()) {
    error = "separable programs are not supported";
    return out;
  }
  if (!validEntry(entry)) {
    error = "bad entry function name";
    return out;
  }
  const std::string text = assemble(stage, source, entry);
  const char* src = text.c_str();
  GLuint id = glCreateShaderProgramv(stage == Stage::Vertex ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER,
                                     1, &src);
  if (id == 0) {
    error = "program could not be created";
    glGetError();
    return out;
  }
  GLint linked = GL_FALSE;
  glGetProgramiv(id, GL_LINK_STATUS, &linked);
  if (!linked) {
    GLint len = 0;
    glGetProgramiv(id, GL_INFO_LOG_LENGTH, &len);
    std::vector<char> log(static_cast<size_t>(len > 0 ? len : 0) + 1, '\0');
    if (len > 0) glGetProgramInfoLog(id, len, nullptr, log.data());
    error = log.data();
    while (!error.empty() && (error.back() == '\n' || error.back() == ' ')) error.pop_back();
    if (error.empty()) error = "compilation failed";
    glDeleteProgram(id);
    return out;
  }
  out.id_ = id;
  return out;
}

Uniform Program::uniform(const char* name) const {
  Uniform u;
  if (!id_ || !name) return u;
  GLint count = 0;
  glGetProgramiv(id_, GL_ACTIVE_UNIFORMS, &count);
  char found[256];
  for (GLint i = 0; i < count; ++i) {
    GLsizei len = 0;
    GLint size = 0;
    GLenum type = 0;
    glGetActiveUniform(id_, static_cast<GLuint>(i), sizeof found, &len, &size, &type, found);
    if (std::string(found, static_cast<size_t>(len)) == name) {
      u.location = glGetUniformLocation(id_, name);
      u.type = type;
      break;
    }
  }
  return u;
}

void Program::setFloat(const Uniform& u, float value) const {
  if (id_ && u.valid() && u.type == GL_FLOAT) glProgramUniform1f(id_, u.location, value);
}

void Program::setTexture(const Uniform& u, unsigned unit, unsigned texture) const {
  if (!id_ || !u.valid() || !isSampler2D(u.type) || unit >= textureUnits()) return;
  glProgramUniform1i(id_, u.location, static_cast<GLint>(unit));
  glActiveTexture(GL_TEXTURE0 + unit);
  glBindTexture(GL_TEXTURE_2D, texture);
  glActiveTexture(GL_TEXTURE0);
}

// --- Pipeline ------------------------------------------------------------

Pipeline::~Pipeline() {
  if (id_ && haveContext()) glDeleteProgramPipelines(1, &id_);
}

bool Pipeline::create() {
  if (id_ && haveContext()) glDeleteProgramPipelines(1, &id_);
  id_ = 0;
  if (!available()) return false;
  glGenProgramPipelines(1, &id_);
  if (!id_) return false;
  // A generated name becomes an object only when first bound; binding it
  // here lets alive() tell a surviving context from a new one.
  GLint previous = 0;
  glGetIntegerv(GL_PROGRAM_PIPELINE_BINDING, &previous);
  glBindProgramPipeline(id_);
  glBindProgramPipeline(static_cast<GLuint>(previous));
  return true;
}

bool Pipeline::alive() const { return id_ && available() && glIsProgramPipeline(id_); }

void Pipeline::use(Stage stage, const Program* program) {
  if (!id_) return;
  glUseProgramStages(id_, stage == Stage::Vertex ? GL_VERTEX_SHADER_BIT : GL_FRAGMENT_SHADER_BIT,
                     program && *program ? program->id() : 0);
}

void Pipeline::bind() const {
  if (!id_) return;
  // A program made current with glUseProgram would win over the pipeline.
  glUseProgram(0);
  glBindProgramPipeline(id_);
}

void Pipeline::unbind() {
  if (available()) glBindProgramPipeline(0);
}

unsigned Pipeline::bound() {
  if (!available()) return 0;
  GLint id = 0;
  glGetIntegerv(GL_PROGRAM_PIPELINE_BINDING, &id);
  return static_cast<unsigned>(id);
}

}  // namespace ShaderRuntime
