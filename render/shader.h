// Post-processing programs of the camera (Camera::Shader): a vertex and a
// fragment program active while the world is drawn, and a post program
// through which the finished frame is copied to the screen.
//
// Programs are asked for by name: "file:entry" is a source file on disk,
// "archive:entry name:entry" a source in a resource archive; the last part
// names the entry function. Each program gets two inputs from the engine:
// "force" fades in from 0 to 1 over a second after the program becomes
// active and falls back to 0 before a waiting program replaces it; "upd" is
// the seconds since it became active. Time advances only in update(), which
// the camera calls while its shade switch is on.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "render/shader_runtime.h"

class Sprite;

class CameraShader {
 public:
  // An argument set by scripts, applied to its program input by set().
  class Param {
   public:
    explicit Param(ShaderRuntime::Uniform u) : param(u) {}
    virtual ~Param() = default;
    virtual void set(const ShaderRuntime::Program& prog) = 0;
    ShaderRuntime::Uniform param;
  };
  class ParamFloat : public Param {
   public:
    using Param::Param;
    void set(const ShaderRuntime::Program& prog) override;
    float value = 0;
  };
  class ParamImg : public Param {
   public:
    ParamImg(ShaderRuntime::Uniform u, unsigned unit) : Param(u), unit(unit) {}
    // Gives back the sprite's cache reference.
    ~ParamImg() override;
    ParamImg(const ParamImg&) = delete;
    ParamImg& operator=(const ParamImg&) = delete;
    // Binds the sprite's current texture (sprites get new textures after a
    // context switch); nothing without a sprite.
    void set(const ShaderRuntime::Program& prog) override;
    Sprite* sprite = nullptr;  // holds one cache reference
    unsigned unit;             // texture unit the input samples
  };

  struct Program {
    bool ok = false;      // compiled and its inputs looked up
    bool vertex = false;  // asked for as a vertex program
    float force = 0;
    float upd = 0;
    ShaderRuntime::Program prog;  // empty when loading failed
    ShaderRuntime::Uniform forceParam, updParam;
    std::map<std::string, std::unique_ptr<Param>> args;
  };

  static CameraShader& instance();

  // Sets up the shader context for the current GL context; called by every
  // Camera::init. Programs and slots are kept; programs made in a context
  // that is gone lose their GL objects until reload().
  bool init();
  // Compiles every known program again (from its source, so edited files
  // are picked up) into the current context and re-applies its arguments.
  void reload();

  // (Re)creates the record for `name` and compiles the program into it.
  void loadShader(const char* name, bool isVertex);
  void setVert(const char* name);
  void setFrag(const char* name);
  void setPost(const char* name);
  void setArgFloat(const char* name, const char* arg, float value);
  // Takes over one cache reference of `sprite` (from Sprite::get), which
  // the argument gives back when it is replaced or forgotten.
  void setArgImg(const char* name, const char* arg, Sprite* sprite);
  void delArg(const char* name, const char* arg);

  // Per frame, while the camera shades.
  void update();
  void bind();
  void unbind();
  void bindPost();
  void unbindPost();

  bool hasContext() const { return context_; }
  const Program* vert() const { return vert_; }
  const Program* frag() const { return frag_; }
  const Program* post() const { return post_; }
  const Program* nextVert() const { return nextVert_; }
  const Program* nextFrag() const { return nextFrag_; }
  const Program* nextPost() const { return nextPost_; }
  const Program* find(const std::string& name) const;
  // Forgets every program and slot (tests start from a clean state).
  void clear();

 private:
  bool compileInto(const std::string& name, Program& rec);
  Program* findRec(const char* name);
  template <class Kind>
  Kind* argEntry(Program& rec, const char* arg);
  void bindWith(ShaderRuntime::Pipeline& pipe, Program* vertex, Program* fragment);

  bool context_ = false;
  bool vertProfile_ = false, fragProfile_ = false;
  ShaderRuntime::Pipeline world_, postPipe_;
  Program *vert_ = nullptr, *frag_ = nullptr, *post_ = nullptr;
  Program *nextVert_ = nullptr, *nextFrag_ = nullptr, *nextPost_ = nullptr;
  // Records never move: the slots point into them.
  std::map<std::string, std::unique_ptr<Program>> programs_;
};
