#include "render/shader.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <type_traits>

#include "base/globals.h"
#include "base/log.h"
#include "render/sprite.h"
#include "resources/parser.h"
#include "resources/resfile.h"

using ShaderRuntime::Stage;

// --- arguments -------------------------------------------------------------

void CameraShader::ParamFloat::set(const ShaderRuntime::Program& prog) {
  prog.setFloat(param, value);
}

CameraShader::ParamImg::~ParamImg() { Sprite::release(sprite); }

void CameraShader::ParamImg::set(const ShaderRuntime::Program& prog) {
  if (sprite && Sprite::alive(sprite)) prog.setTexture(param, unit, sprite->texture);
}

// --- context -----------------------------------------------------------------

CameraShader& CameraShader::instance() {
  static CameraShader shader;
  return shader;
}

bool CameraShader::init() {
  // After a window/full-screen switch the GL context may be a new one: the
  // names of the old one mean nothing (or something else) there, so they
  // are dropped unread. reload() builds the programs again.
  if (world_ && !world_.alive()) {
    world_.abandon();
    postPipe_.abandon();
    for (auto& entry : programs_) {
      entry.second->prog.abandon();
      entry.second->ok = false;
    }
  }
  context_ = ShaderRuntime::available() && world_.create() && postPipe_.create();
  vertProfile_ = fragProfile_ = false;
  if (!context_) {
    Log::fail("Shader.init: Nie udalo sie pobrac kontekstu shaderow");
    return false;
  }
  vertProfile_ = ShaderRuntime::supports(Stage::Vertex);
  if (!vertProfile_) {
    Log::fail("Shader.init: Vertex shadery nie wspierane");
    return false;
  }
  fragProfile_ = ShaderRuntime::supports(Stage::Fragment);
  if (!fragProfile_) {
    Log::fail("Shader.init: Fragment shadery nie wspierane");
    return false;
  }
  return true;
}

void CameraShader::reload() {
  if (!context_) return;
  for (auto& entry : programs_) {
    Program& rec = *entry.second;
    rec.prog = ShaderRuntime::Program();
    rec.forceParam = rec.updParam = ShaderRuntime::Uniform();
    rec.ok = false;
    compileInto(entry.first, rec);
    for (auto& arg : rec.args) {
      arg.second->param = rec.prog.uniform(arg.first.c_str());
      arg.second->set(rec.prog);
    }
  }
}

void CameraShader::clear() {
  vert_ = frag_ = post_ = nullptr;
  nextVert_ = nextFrag_ = nextPost_ = nullptr;
  programs_.clear();
}

// --- loading -------------------------------------------------------------------

bool CameraShader::compileInto(const std::string& name, Program& rec) {
  Parser parts(name, ":");
  const char* kind = rec.vertex ? "vertex" : "fragment";
  std::string source, entry, error;
  if (parts.count() >= 3) {
    ResBuffer text = Resfile::instance().load(parts.show(0), parts.show(1));
    if (!text) {
      Log::fail("Shader.loadShader: Nie udalo sie wczytac %s shadera (\"%s\")\n", kind,
                name.c_str());
      return false;
    }
    source.assign(text.data(), text.size());
    entry = parts.show(2);
  } else {
    std::ifstream in(parts.show(0), std::ios::binary);
    if (in) source.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) error = "the file could not be read";
    entry = parts.show(1);
  }
  if (error.empty())
    rec.prog = ShaderRuntime::Program::compile(rec.vertex ? Stage::Vertex : Stage::Fragment,
                                               source, entry, error);
  if (!rec.prog) {
    Log::fail("Shader.loadShader: Nie udalo sie wczytac %s shadera (\"%s\")\n\t\"%s\"\n", kind,
              name.c_str(), error.c_str());
    return false;
  }
  rec.forceParam = rec.prog.uniform("force");
  rec.updParam = rec.prog.uniform("upd");
  rec.ok = true;
  return true;
}

void CameraShader::loadShader(const char* name, bool isVertex) {
  if (!name || !context_) return;
  if (Parser(name, ":").count() < 2) return;
  std::unique_ptr<Program>& slot = programs_[name];
  // A record already known stays where it is (slots may point at it) and
  // only its contents are made fresh.
  if (slot)
    *slot = Program();
  else
    slot = std::make_unique<Program>();
  slot->vertex = isVertex;
  compileInto(name, *slot);
}

CameraShader::Program* CameraShader::findRec(const char* name) {
  if (!name) return nullptr;
  auto it = programs_.find(name);
  return it == programs_.end() ? nullptr : it->second.get();
}

const CameraShader::Program* CameraShader::find(const std::string& name) const {
  auto it = programs_.find(name);
  return it == programs_.end() ? nullptr : it->second.get();
}

namespace {

// A record may wait only for a slot of the stage it was compiled for; one
// whose loading failed waits all the same.
CameraShader::Program* schedulable(CameraShader::Program* rec, bool wantVertex) {
  return rec && rec->vertex == wantVertex ? rec : nullptr;
}

}  // namespace

void CameraShader::setVert(const char* name) {
  if (!name) return;
  if (!findRec(name)) loadShader(name, true);
  if (Program* rec = schedulable(findRec(name), true)) nextVert_ = rec;
}

void CameraShader::setFrag(const char* name) {
  if (!name) return;
  if (!findRec(name)) loadShader(name, false);
  if (Program* rec = schedulable(findRec(name), false)) nextFrag_ = rec;
}

void CameraShader::setPost(const char* name) {
  if (!name) return;
  if (!findRec(name)) loadShader(name, false);
  if (Program* rec = schedulable(findRec(name), false)) nextPost_ = rec;
}

// --- arguments -------------------------------------------------------------------

// The entry `arg` of `rec` as a `Kind`: created on first use, and made anew
// when it was set as the other kind before (the latest call decides what
// the input receives).
template <class Kind>
Kind* CameraShader::argEntry(Program& rec, const char* arg) {
  std::unique_ptr<Param>& entry = rec.args[arg];
  if (auto* same = dynamic_cast<Kind*>(entry.get())) return same;
  ShaderRuntime::Uniform u = rec.prog.uniform(arg);
  if constexpr (std::is_same_v<Kind, ParamImg>) {
    // Unit 0 is the drawn texture's; every image of every program gets a
    // unit of its own, since a vertex and a fragment program draw together
    // and each binds its images where it samples them.
    std::set<unsigned> taken;
    for (auto& program : programs_)
      for (auto& other : program.second->args)
        if (auto* img = dynamic_cast<ParamImg*>(other.second.get())) taken.insert(img->unit);
    unsigned unit = 1;
    while (taken.count(unit)) ++unit;
    entry = std::make_unique<ParamImg>(u, unit);
  } else {
    entry = std::make_unique<Kind>(u);
  }
  return static_cast<Kind*>(entry.get());
}

void CameraShader::setArgFloat(const char* name, const char* arg, float value) {
  Program* rec = arg ? findRec(name) : nullptr;
  if (!rec) return;
  ParamFloat* p = argEntry<ParamFloat>(*rec, arg);
  p->value = value;
  p->set(rec->prog);
}

void CameraShader::setArgImg(const char* name, const char* arg, Sprite* sprite) {
  Program* rec = arg ? findRec(name) : nullptr;
  if (!rec) {
    Sprite::release(sprite);
    return;
  }
  ParamImg* p = argEntry<ParamImg>(*rec, arg);
  if (p->sprite != sprite) {
    Sprite::release(p->sprite);
    p->sprite = sprite;
  } else {
    Sprite::release(sprite);  // the entry already holds one reference
  }
  p->set(rec->prog);
}

void CameraShader::delArg(const char* name, const char* arg) {
  Program* rec = arg ? findRec(name) : nullptr;
  if (rec) rec->args.erase(arg);
}

// --- per frame ---------------------------------------------------------------------

namespace {

void advance(CameraShader::Program*& active, CameraShader::Program*& next, float dt) {
  if (!active) {
    active = next;
    next = nullptr;
  } else if (next) {
    if (active->force > 0) {
      active->force -= dt;
      active->upd += dt;
    } else {
      active = next;
      active->force = 0;
      active->upd = 0;
      next = nullptr;
      active->upd += dt;
    }
  } else {
    active->force = std::min(active->force + dt, 1.0f);
    active->upd += dt;
  }
}

// Feeds the engine's inputs and the arguments to a program about to draw.
void feed(CameraShader::Program& rec) {
  rec.prog.setFloat(rec.forceParam, rec.force);
  rec.prog.setFloat(rec.updParam, rec.upd);
  for (auto& arg : rec.args)
    if (dynamic_cast<CameraShader::ParamImg*>(arg.second.get())) arg.second->set(rec.prog);
}

}  // namespace

void CameraShader::update() {
  if (!context_) return;
  const float dt = game::dt;
  advance(vert_, nextVert_, dt);
  advance(frag_, nextFrag_, dt);
  advance(post_, nextPost_, dt);
}

void CameraShader::bindWith(ShaderRuntime::Pipeline& pipe, Program* vertex, Program* fragment) {
  const bool useVert = vertex && vertex->prog;
  const bool useFrag = fragment && fragment->prog;
  pipe.use(Stage::Vertex, useVert ? &vertex->prog : nullptr);
  pipe.use(Stage::Fragment, useFrag ? &fragment->prog : nullptr);
  if (useVert) feed(*vertex);
  if (useFrag) feed(*fragment);
  // With no program at all drawing stays fixed-function.
  if (useVert || useFrag) pipe.bind();
}

void CameraShader::bind() {
  if (context_) bindWith(world_, vert_, frag_);
}

void CameraShader::unbind() {
  if (context_) ShaderRuntime::Pipeline::unbind();
}

void CameraShader::bindPost() {
  if (context_ && post_) bindWith(postPipe_, nullptr, post_);
}

void CameraShader::unbindPost() {
  if (context_) ShaderRuntime::Pipeline::unbind();
}
