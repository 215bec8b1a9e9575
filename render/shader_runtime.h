// The engine's small shader runtime: GLSL programs of one stage each
// (separable programs) combined by program pipelines, so a vertex program
// and a fragment program chosen apart can run together or alone beside
// the fixed-function pipeline of the compatibility profile.
//
// Sources are GLSL compatibility-profile text. A source that starts with
// its own #version line keeps it; the others get the newest version the
// context's compiler knows (GL_SHADING_LANGUAGE_VERSION). The named
// entry function `void entry()` becomes the stage's main, so one source can
// hold several programs; "VERTEX" or "FRAGMENT" is defined for the stage.
// Programs read the fixed-function inputs (gl_Vertex, gl_Color,
// gl_MultiTexCoord0, gl_ModelViewProjectionMatrix in a vertex program;
// gl_TexCoord[0], gl_Color and a sampler2D on unit 0 in a fragment program).
//
// Everything here acts on the current GL context; GLEW must be initialised.
#pragma once

#include <string>

namespace ShaderRuntime {

enum class Stage { Vertex, Fragment };

// Separable programs and pipelines are usable in the current context.
bool available();
// The stage can be programmed in the current context.
bool supports(Stage stage);
// The text handed to the compiler for `source` with `entry` as its main: the
// version line, the stage's define, the source with its own line numbers and
// a main that calls the entry. Needs no GL context (the game checker
// compiles the same text offline).
std::string assemble(Stage stage, const std::string& source, const std::string& entry);

// Units a program can sample at once (unit 0 is the drawn texture's).
unsigned textureUnits();
// The #version line (with its newline) for a compiler that reports
// `glslVersion` ("4.10", "4.60 NVIDIA ..."); 4.50 when that says nothing
// (no context, as in the offline checker).
std::string versionLine(const char* glslVersion);

// A named input of a program; invalid when the program has none (then
// setting it does nothing).
struct Uniform {
  int location = -1;
  unsigned type = 0;  // GL type of the input (GL_FLOAT, GL_SAMPLER_2D, ...)
  bool valid() const { return location >= 0; }
};

// One linked program of one stage. Owns its GL object.
class Program {
 public:
  Program() = default;
  ~Program();
  Program(Program&& other) noexcept;
  Program& operator=(Program&& other) noexcept;
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // Compiles and links `source` with `entry` as its main. On failure the
  // result is empty and `error` holds the compiler's text.
  static Program compile(Stage stage, const std::string& source, const std::string& entry,
                         std::string& error);

  explicit operator bool() const { return id_ != 0; }
  unsigned id() const { return id_; }
  Stage stage() const { return stage_; }

  Uniform uniform(const char* name) const;
  // Applies at once and stays until set again. A float goes only to a
  // float input, a texture only to a sampler input.
  void setFloat(const Uniform& u, float value) const;
  // Points the sampler at `unit` and binds `texture` (a 2D texture) there.
  void setTexture(const Uniform& u, unsigned unit, unsigned texture) const;

  // Forgets the GL object without deleting it: the context it lived in is
  // gone, and its name may already mean something else in the new one.
  void abandon() { id_ = 0; }

 private:
  unsigned id_ = 0;
  Stage stage_ = Stage::Fragment;
};

// A program pipeline: the stages drawn with while it is bound.
class Pipeline {
 public:
  Pipeline() = default;
  ~Pipeline();
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;

  // Creates the GL object in the current context; false when that fails.
  bool create();
  explicit operator bool() const { return id_ != 0; }
  // True while the object still exists in the current context (false after
  // the context it was made in was replaced).
  bool alive() const;
  void abandon() { id_ = 0; }

  // Uses `program` for `stage`, or the fixed-function stage for null.
  void use(Stage stage, const Program* program);
  void bind() const;
  // No program of any stage: fixed-function drawing again.
  static void unbind();
  // The pipeline bound now (0 for none), for checks.
  static unsigned bound();

 private:
  unsigned id_ = 0;
};

}  // namespace ShaderRuntime
