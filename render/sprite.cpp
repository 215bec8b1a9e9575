#include "render/sprite.h"

#include <GL/glew.h>
#include <SDL/SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <unordered_set>

#include "base/log.h"
#include "render/camera.h"
#include "render/cull.h"
#include "render/png_check.h"
#include "resources/parser.h"
#include "resources/resfile.h"

namespace {

// Class-wide state of the sprites. It lives in one function-local static;
// `g_stateGone` (constant-initialised, so valid at any time) tells the
// destructors of other static objects that run after it not to touch it.
bool g_stateGone = false;

struct SpriteState {
  std::map<std::string, std::unique_ptr<Sprite>> cache;
  VertexArray batch;
  Sprite* current = nullptr;
  uint64_t drawCalls = 0;
  // Every Sprite object in existence, so that a pointer to a destroyed one
  // can be told apart without reading it.
  std::unordered_set<const Sprite*> live;

  ~SpriteState() {
    // Sprites reach back into this state from their destructors: destroy
    // them while every member is still alive.
    auto doomed = std::move(cache);
    doomed.clear();
    g_stateGone = true;
  }
};

SpriteState& state() {
  static SpriteState s;
  return s;
}

// A batch longer than this many vertices is handed to GL in pieces, each
// but the last followed by a flush. A software rasteriser (Mesa's llvmpipe)
// only starts filling pixels at a flush, and until then sorts the
// triangles on the calling thread: in pieces, the pixels of one piece are
// filled on the other cores while the next is sorted. 20 000 overlapping
// sprites in one batch draw about a tenth faster; a batch of the usual size
// is one piece, as before.
constexpr size_t kPieceVertices = 4 * 4096;

// Draws the batch with the current sprite's texture and empties it. A
// sprite without a texture (never loaded into GL) has nothing to draw with.
void drawBatch(SpriteState& s) {
  if (s.batch.empty()) return;
  Sprite* sp = s.current;
  if (sp && sp->texture != 0) {
    glBindTexture(GL_TEXTURE_2D, sp->texture);
    glPushMatrix();
    glInterleavedArrays(GL_T2F_C4UB_V3F, 0, s.batch.data());
    const size_t n = s.batch.size();
    for (size_t at = 0; at < n; at += kPieceVertices) {
      if (at > 0) glFlush();
      glDrawArrays(GL_QUADS, static_cast<GLint>(at),
                   static_cast<GLsizei>(std::min(kPieceVertices, n - at)));
    }
    glPopMatrix();
    glBindTexture(GL_TEXTURE_2D, 0);
    ++s.drawCalls;
  }
  s.batch.clear();
}

}  // namespace

Sprite::Sprite() { state().live.insert(this); }

Sprite::~Sprite() {
  if (!g_stateGone) {
    SpriteState& s = state();
    s.live.erase(this);
    // The batch only ever holds quads of the current sprite; they must not
    // be drawn with a texture that is about to go, and no later flush may
    // see this object.
    if (s.current == this) {
      s.batch.clear();
      s.current = nullptr;
    }
  }
  if (texture != 0 && glReady()) {
    GLuint t = texture;
    glDeleteTextures(1, &t);
  }
}

bool Sprite::glReady() {
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return false;
  const SDL_Surface* screen = SDL_GetVideoSurface();
  return screen && (screen->flags & SDL_OPENGL);
}

bool Sprite::alive(const Sprite* sprite) {
  return sprite && !g_stateGone && state().live.count(sprite) != 0;
}

// --- the cache ----------------------------------------------------------

Sprite* Sprite::get(const char* name) {
  if (!name) return nullptr;
  SpriteState& s = state();
  auto it = s.cache.find(name);
  Sprite* sprite = it != s.cache.end() ? it->second.get() : load(name);
  if (!sprite) return nullptr;
  ++sprite->refs;
  return sprite;
}

Sprite* Sprite::load(const char* name) {
  if (!name || !*name) {
    Log::fail("Sprite.load: name: \"%s\"\n", name ? name : "(null)");
    return nullptr;
  }
  SpriteState& s = state();
  auto it = s.cache.find(name);
  if (it != s.cache.end()) return it->second.get();

  std::unique_ptr<Sprite> sprite;
  try {
    sprite = std::make_unique<Sprite>();
    s.batch.reserve(1000);
  } catch (const std::bad_alloc&) {
    Log::fail("Sprite.load: Nie udalo sie wczytac \"%s\"\n", name);
    return nullptr;
  }
  if (!sprite->loadGfx(name)) {
    Log::fail("Sprite.load: Nie wczytano grafiki");
    return nullptr;
  }
  if (!sprite->loadAnims(name)) {
    Log::fail("Sprite.load: Nie wczytano animacji");
    return nullptr;
  }
  Sprite* raw = sprite.get();
  s.cache.emplace(name, std::move(sprite));
  return raw;
}

void Sprite::release(Sprite* sprite) {
  if (!sprite || g_stateGone) return;
  SpriteState& s = state();
  if (s.cache.empty()) return;
  // A pointer kept past Sprite::clear must not be read.
  if (!s.live.count(sprite)) return;
  // One release too many would wrap the count and keep the sprite forever.
  if (sprite->refs == 0) return;
  if (--sprite->refs != 0) return;
  for (auto it = s.cache.begin(); it != s.cache.end(); ++it) {
    if (it->second.get() == sprite) {
      // Take it out of the map first: its destructor must see a consistent cache.
      std::unique_ptr<Sprite> doomed = std::move(it->second);
      s.cache.erase(it);
      return;
    }
  }
}

void Sprite::clear() {
  if (g_stateGone) return;
  Log::info("Sprite.clear: Kasowanie grafik");
  SpriteState& s = state();
  auto doomed = std::move(s.cache);
  s.cache.clear();
  doomed.clear();
  Log::ok("Sprite.clear: Grafiki skasowane");
  if (glReady()) {
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
  }
}

size_t Sprite::clearUnused() {
  if (g_stateGone) return 0;
  // The same lines as clear(): scripts see one "unloadSprite".
  Log::info("Sprite.clear: Kasowanie grafik");
  SpriteState& s = state();
  std::vector<std::unique_ptr<Sprite>> doomed;
  for (auto it = s.cache.begin(); it != s.cache.end();) {
    if (it->second->refs == 0) {
      doomed.push_back(std::move(it->second));
      it = s.cache.erase(it);
    } else {
      ++it;
    }
  }
  // Destroyed once the cache is consistent again, as in release().
  const size_t n = doomed.size();
  doomed.clear();
  Log::ok("Sprite.clear: Grafiki skasowane");
  return n;
}

void Sprite::reload() {
  SpriteState& s = state();
  for (auto& entry : s.cache) {
    s.batch.clear();
    Sprite& sp = *entry.second;
    sp.mask.clear();
    sp.mask.shrink_to_fit();
    sp.opaque.clear();
    // The old texture name belonged to the context that is gone; deleting
    // it here could hit a fresh texture of another sprite.
    if (!sp.loadGfx(entry.first.c_str()))
      Log::fail("Sprite.reload: Nie udalo sie wczytac grafiki \"%s\"\n", entry.first.c_str());
  }
}

bool Sprite::refresh(const std::string& name) {
  SpriteState& s = state();
  auto it = s.cache.find(name);
  if (it == s.cache.end()) return false;
  Sprite fresh;
  if (!fresh.loadGfx(name.c_str()) || !fresh.loadAnims(name.c_str())) {
    Log::fail("Sprite.refresh: Nie udalo sie przeladowac grafiki \"%s\"\n", name.c_str());
    return false;
  }
  Sprite& sp = *it->second;
  // Quads batched for the old texture are drawn with it before it goes.
  if (s.current == &sp) drawBatch(s);
  std::swap(sp.texture, fresh.texture);
  sp.mask.swap(fresh.mask);
  sp.anims.swap(fresh.anims);
  sp.animsByName.swap(fresh.animsByName);
  std::swap(sp.width, fresh.width);
  std::swap(sp.height, fresh.height);
  return true;  // `fresh` takes the old texture with it
}

std::vector<std::string> Sprite::cachedNames() {
  std::vector<std::string> names;
  for (const auto& entry : state().cache) names.push_back(entry.first);
  return names;
}

std::string Sprite::nameOf(const Sprite* sprite) {
  if (!sprite) return std::string();
  for (const auto& entry : state().cache)
    if (entry.second.get() == sprite) return entry.first;
  return std::string();
}

size_t Sprite::cacheSize() { return state().cache.size(); }

// --- images -------------------------------------------------------------

std::string Sprite::resourceFileName(const std::string& name, const char* ext) {
  Parser parts(name, ":");
  std::string file = name;
  if (parts.count() < 2 || Parser(parts.show(1), ".").count() < 2) {
    file += ext;
  } else {
    file.resize(file.size() >= 4 ? file.size() - 4 : 0);
    file += ext;
  }
  return file;
}

namespace {

bool readWholeFile(const char* path, std::vector<uint8_t>& out) {
  std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path, "rb"), &std::fclose);
  if (!f) return false;
  if (std::fseek(f.get(), 0, SEEK_END) != 0) return false;
  long len = std::ftell(f.get());
  if (len < 0 || len > 0x7fffffffL) return false;
  std::rewind(f.get());
  try {
    out.resize(static_cast<size_t>(len));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return std::fread(out.data(), 1, out.size(), f.get()) == out.size();
}

struct SurfaceLock {
  explicit SurfaceLock(SDL_Surface* s) : s_(s) {
    if (SDL_MUSTLOCK(s_)) locked_ = SDL_LockSurface(s_) == 0;
  }
  ~SurfaceLock() {
    if (locked_) SDL_UnlockSurface(s_);
  }
  SDL_Surface* s_;
  bool locked_ = false;
};

}  // namespace

bool Sprite::loadGfx(const char* name) {
  if (!name) return false;
  SurfacePtr decoded;
  Parser parts(name, ":");
  if (parts.count() >= 2) {
    std::string file;
    try {
      file = resourceFileName(name, ".png");
    } catch (const std::bad_alloc&) {
      Log::fail("Sprite.loadGfx: Nie udalo sie zajac pamieci na nazwe pliku");
      return false;
    }
    ResBuffer bytes = Resfile::instance().load(file);
    if (!bytes) {
      Log::fail("Sprite.loadGfx: Nie udalo sie wczytac grafiki \"%s\"\n", file.c_str());
      return false;
    }
    decoded = decodeImage(bytes.bytes(), bytes.size());
  } else {
    // Plain files go through the same check as archive entries.
    std::vector<uint8_t> bytes;
    if (readWholeFile(name, bytes)) decoded = decodeImage(bytes.data(), bytes.size());
  }
  if (!decoded) {
    Log::fail("Sprite.loadGfx: Nie udalo sie zdekompresowac grafiki \"%s\"\n", name);
    return false;
  }

  SurfacePtr image(SDL_DisplayFormatAlpha(decoded.get()));
  if (!image || image->format->BytesPerPixel != 4) {
    Log::fail("Sprite.loadGfx: Nie udalo sie przekonwertowac grafiki");
    return false;
  }
  decoded.reset();

  SurfaceLock lock(image.get());
  const uint32_t w = static_cast<uint32_t>(image->w), h = static_cast<uint32_t>(image->h);
  const uint32_t rowPixels = static_cast<uint32_t>(image->pitch) / 4;
  const uint32_t* pixels = static_cast<const uint32_t*>(image->pixels);
  std::vector<uint32_t> packed;
  if (rowPixels != w && pixels) {
    // The mask reads the pixels back to back; close the gaps between rows.
    try {
      packed.resize(size_t(w) * h);
    } catch (const std::bad_alloc&) {
      Log::fail("Sprite.loadMask: Nie udalo sie zajac pamieci na maske kolizji");
      Log::fail("Sprite.loadGfx: Nie udalo sie wygenerowac maski kolizji");
      return false;
    }
    for (uint32_t row = 0; row < h; ++row)
      std::copy(pixels + size_t(row) * rowPixels, pixels + size_t(row) * rowPixels + w,
                packed.begin() + size_t(row) * w);
    pixels = packed.data();
  }
  if (!loadMask(pixels, w, h, image->format->Amask)) {
    Log::fail("Sprite.loadGfx: Nie udalo sie wygenerowac maski kolizji");
    return false;
  }

  while (glGetError() != GL_NO_ERROR) {
  }
  GLuint tex = 0;
  glGenTextures(1, &tex);
  if (tex == 0) {
    Log::fail("Sprite.loadGfx: Nie udalo sie wygenerowac tekstury");
    return false;
  }
  width = static_cast<float>(w);
  height = static_cast<float>(h);
  // SDL puts red either in the third byte (BGRA in memory) or the first.
  const GLenum format = image->format->Rmask == 0x000000ffu ? GL_RGBA : GL_BGRA;
  glBindTexture(GL_TEXTURE_2D, tex);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, static_cast<GLsizei>(w), static_cast<GLsizei>(h), 0,
               format, GL_UNSIGNED_BYTE, pixels);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glBindTexture(GL_TEXTURE_2D, 0);
  if (GLenum err = glGetError()) {
    Log::fail("Sprite.loadGfx: Nie udalo sie wygenerowac tekstury (%d)\n", static_cast<int>(err));
    glDeleteTextures(1, &tex);
    return false;
  }
  texture = tex;
  return true;
}

bool Sprite::loadMask(const uint32_t* pixels, uint32_t w, uint32_t h, uint32_t alphaMask) {
  if (!pixels) return false;
  try {
    mask.assign(size_t(w) * h, 0);
  } catch (const std::bad_alloc&) {
    Log::fail("Sprite.loadMask: Nie udalo sie zajac pamieci na maske kolizji");
    return false;
  }
  const size_t n = mask.size();
  for (size_t i = 0; i < n; ++i) mask[i] = (pixels[i] & alphaMask) > 31u ? 1 : 0;
  opaqueFirst_.clear();
  try {
    opaque.assign(n, 0);
    for (size_t i = 0; i < n; ++i) opaque[i] = alphaMask && (pixels[i] & alphaMask) == alphaMask;
  } catch (const std::bad_alloc&) {
    opaque.clear();
  }
  return true;
}

bool Sprite::opaqueFrame(uint32_t anim, uint32_t frame) const {
  if (anim >= anims.size() || opaque.empty()) return false;
  if (frame != 0) return scanOpaque(anim, frame);
  // The first frame is asked for every frame (sky images, blocks): once.
  if (opaqueFirst_.size() != anims.size()) opaqueFirst_.assign(anims.size(), -1);
  int8_t& known = opaqueFirst_[anim];
  if (known < 0) known = scanOpaque(anim, 0) ? 1 : 0;
  return known == 1;
}

bool Sprite::scanOpaque(uint32_t anim, uint32_t frame) const {
  const Anim& a = anims[anim];
  const uint64_t w = static_cast<uint64_t>(width), h = static_cast<uint64_t>(height);
  const uint64_t x0 = uint64_t(a.x) + uint64_t(frame) * a.w, y0 = a.y;
  if (a.w == 0 || a.h == 0 || x0 + a.w > w || y0 + a.h > h || opaque.size() < w * h) return false;
  for (uint64_t y = y0; y < y0 + a.h; ++y)
    for (uint64_t x = x0; x < x0 + a.w; ++x)
      if (!opaque[y * w + x]) return false;
  return true;
}

bool Sprite::isSolid(uint32_t x, uint32_t y, uint32_t anim) const {
  if (mask.empty()) return true;
  if (anim >= anims.size()) return true;
  const Anim& a = anims[anim];
  if (x < a.boxX1 || x > a.boxX2 || y < a.boxY1 || y > a.boxY2) return false;
  // The box includes its far edges, which for a frame at the image's right
  // or bottom border lie outside the image: such points are free.
  const uint64_t col = uint64_t(a.x) + x, row = uint64_t(a.y) + y;
  const uint64_t w = static_cast<uint64_t>(width), h = static_cast<uint64_t>(height);
  if (col >= w || row >= h) return false;
  const uint64_t at = row * w + col;
  return at < mask.size() && mask[at] != 0;
}

// --- drawing ------------------------------------------------------------

void Sprite::draw(VertexArray& out, Sprite* sprite, float x, float y, float z, uint32_t anim,
                  uint32_t frame, uint8_t alpha, float parallaxX, float parallaxY, float angle,
                  float scaleX, float scaleY) {
  if (!sprite || anim >= sprite->anims.size()) return;
  const Anim& a = sprite->anims[anim];
  if (frame >= a.frames.size()) return;
  SpriteState& s = state();
  if (s.current != sprite) {
    drawBatch(s);
    s.current = sprite;
  }
  // A quad of opacity 0 leaves the picture as it was (after the switch
  // above, so that earlier quads still reach GL in the same order).
  const bool intoBatch = &out == &s.batch;
  if (alpha == 0 && intoBatch && cull::active()) return;
  const Frame& f = a.frames[frame];
  const Camera& cam = Camera::instance();
  const float cx = static_cast<float>(cam.ix()), cy = static_cast<float>(cam.iy());
  const float ax = x - parallaxX * cx, ay = y - parallaxY * cy;
  const float x0 = ax - static_cast<float>(f.offsetX), y0 = ay - static_cast<float>(f.offsetY);
  const float x1 = x0 + static_cast<float>(a.w) * scaleX;
  const float y1 = y0 + static_cast<float>(a.h) * scaleY;
  const float fw = static_cast<float>(a.w);
  const float left = static_cast<float>(a.x) + static_cast<float>(frame) * fw;
  const float uL = left / sprite->width, uR = (left + fw) / sprite->width;
  const float vT = static_cast<float>(a.y) / sprite->height;
  const float vB = (static_cast<float>(a.y) + static_cast<float>(a.h)) / sprite->height;

  const size_t n = out.size();
  out.resize(n + 4);
  SpriteVertex* v = out.data() + n;
  v[0] = SpriteVertex{uL, vT, 255, 255, 255, alpha, x0, y0, z};
  v[1] = SpriteVertex{uL, vB, 255, 255, 255, alpha, x0, y1, z};
  v[2] = SpriteVertex{uR, vB, 255, 255, 255, alpha, x1, y1, z};
  v[3] = SpriteVertex{uR, vT, 255, 255, 255, alpha, x1, y0, z};
  if (angle != 0.0f) {
    // Turn the quad about the point that was placed at (x, y), clockwise
    // on the screen for a positive angle in degrees.
    const float rad = angle * 3.14159265358979f / 180.0f;
    const float c = std::cos(rad), sn = std::sin(rad);
    for (int i = 0; i < 4; ++i) {
      const float dx = v[i].x - ax, dy = v[i].y - ay;
      v[i].x = ax + dx * c - dy * sn;
      v[i].y = ay + dx * sn + dy * c;
    }
  }
  // Wholly off the screen (the batch is drawn without a transform): it
  // covers no pixel centre.
  if (intoBatch) {
    float x0m = v[0].x, x1m = v[0].x, y0m = v[0].y, y1m = v[0].y;
    for (int i = 1; i < 4; ++i) {
      x0m = std::fmin(x0m, v[i].x);
      x1m = std::fmax(x1m, v[i].x);
      y0m = std::fmin(y0m, v[i].y);
      y1m = std::fmax(y1m, v[i].y);
    }
    if ((x1m <= 0.0f || y1m <= 0.0f || x0m >= static_cast<float>(Camera::kWidth) ||
         y0m >= static_cast<float>(Camera::kHeight)) &&
        cull::active())
      out.resize(n);
  }
}

void Sprite::flush(Sprite* sprite) {
  SpriteState& s = state();
  drawBatch(s);
  s.current = sprite;
}

void Sprite::flush() { drawBatch(state()); }

VertexArray& Sprite::batch() { return state().batch; }

Sprite* Sprite::current() { return state().current; }

uint64_t Sprite::drawCalls() { return state().drawCalls; }
