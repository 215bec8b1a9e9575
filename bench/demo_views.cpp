// The demo game driven without a player at the keyboard, for the figures
// that need the whole program: fixed views of the demo saved as pictures
// (with the pixels written to draw each), the uncapped frame rate of a
// scripted walk, and the frame-time distribution of a long run.
//
//   demo_views GAME_DIR shots OUT_DIR      pictures OUT_DIR/NAME.png, one
//                                          "VIEW name fragments overdraw switches"
//                                          line each (switches: binds of another
//                                          texture than the last one)
//   demo_views GAME_DIR fps SECONDS        uncapped scripted walk, "FPS" line
//   demo_views GAME_DIR frames N           N frames of the scripted walk at a fixed
//                                          frame time, after 60 to warm up; under
//                                          valgrind --tool=callgrind --collect-atstart=no
//                                          only those N are counted
//   demo_views GAME_DIR pacing SECONDS capped|uncapped
//                                          "PACING" lines (level changes apart)
//
// With DEMO_VIEWS_REFERENCE=1 in the environment the engine draws
// everything it is asked to (no hidden-pixel removal): the pixel-identity
// test compares those pictures with the normal ones.
//
// The views are deterministic: a fixed frame time, a fixed random seed, an
// empty save. The program is built from the current tree and, by the bench
// script, against an older revision of the engine, so it uses only the
// engine's long-standing interfaces. Run it under Xvfb.
#include <GL/glew.h>
#include <SDL/SDL.h>
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "api/lua_funcs.h"
#include "base/globals.h"
#include "base/log.h"
#include "dialog/dialog.h"
#include "game/game.h"
#include "render/camera.h"
#include "render/fade.h"
#include "render/shader.h"
#include "render/sprite.h"
#include "render/text.h"
#include "sound/sound.h"
#include "unit/png_maker.h"
#include "world/level.h"
#include "world/npc.h"
#include "world/player.h"
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_TOGGLE_COLLECT
#endif
#if __has_include("render/cull.h")
#include "render/cull.h"
#define DEMO_VIEWS_CULL 1
#endif

namespace fs = std::filesystem;

// Texture switches: this program's own glBindTexture stands in for the
// library's (the engine calls it directly) and counts the binds of a
// texture other than the last one bound (units and unbinding aside).
namespace {
unsigned g_switches = 0;
GLuint g_last = 0;
}  // namespace

extern "C" void glBindTexture(GLenum target, GLuint texture) {
  using Fn = void (*)(GLenum, GLuint);
  static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "glBindTexture"));
  if (texture != 0 && texture != g_last) {
    ++g_switches;
    g_last = texture;
  }
  if (real) real(target, texture);
}

namespace {

constexpr int kRight = 275, kLeft = 276, kUp = 273, kRShift = 303;
constexpr int kTalk = 'e', kShoot = 'z', kFan = 'x', kNext = 13;

std::vector<uint8_t> g_keys(SDLK_LAST, 0);
// Results; the program's own console lines go to standard output.
FILE* g_out = stdout;

// A private copy of the game folder without a save, so every run starts
// from the same state and nothing is written into the build.
std::string privateGameDir(const std::string& src) {
  const fs::path dst = fs::temp_directory_path() / ("tervalo_demo_" + std::to_string(::getpid()));
  fs::remove_all(dst);
  fs::copy(src, dst, fs::copy_options::recursive);
  fs::remove_all(dst / "save");
  fs::create_directories(dst / "save");
  return dst.string();
}

// One frame as the program's loop runs it, with a fixed frame time and no
// statistics text (its numbers depend on the clock).
class Driver {
 public:
  Driver()
      : text_(1, 8, 8, -999.0f, 0.0f, 0.0f, Sprite::get("data/gfx.crs:font_00"), Game::kFontTest,
              640, 128, 16, 12, 32) {}

  void frame() {
    game::dt = 1.0f / 60.0f;
    game::frameStart = SDL_GetTicks();
    Player::instance().control(g_keys.data(), Player::kKeyCount);
    Camera& cam = Camera::instance();
    cam.beginFrame();
    Level::instance().update();
    Dialog::instance().update();
    int px = 0, py = 0;
    Player::instance().viewPoint(px, py);
    cam.x = static_cast<float>(px - 320);
    cam.y = static_cast<float>(py - 240);
    Level::instance().render();
    drawFade();
    Dialog::instance().draw();
    text_.draw();
    Sprite::flush();
    cam.endFrame();
  }
  void run(int frames) {
    for (int i = 0; i < frames; ++i) frame();
  }

 private:
  Text text_;
};

bool savePicture(const std::string& path) {
  pngtest::Image img(640, 480);
  std::vector<uint8_t> raw(640 * 480 * 4);
  // The software rasteriser keeps the back buffer through the swap: what
  // was presented is read from there (the front buffer reads back empty).
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, 640, 480, GL_RGBA, GL_UNSIGNED_BYTE, raw.data());
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      const uint8_t* p = &raw[(static_cast<size_t>(479 - y) * 640 + x) * 4];
      img.at(x, y) = {p[0], p[1], p[2], 255};
    }
  std::ofstream out(path, std::ios::binary);
  const std::string bytes = img.encode();
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// Draws one more frame of the view, counting the fragments it rasterises,
// then keeps the picture.
void shot(Driver& d, const std::string& outDir, const char* name) {
  GLuint q = 0;
  glGenQueries(1, &q);
  glBeginQuery(GL_SAMPLES_PASSED, q);
  g_switches = 0;
  d.frame();
  const unsigned switches = g_switches;
  glEndQuery(GL_SAMPLES_PASSED);
  GLuint fragments = 0;
  glGetQueryObjectuiv(q, GL_QUERY_RESULT, &fragments);
  glDeleteQueries(1, &q);
  savePicture(outDir + "/" + name + ".png");
  std::fprintf(g_out, "VIEW %s %u %.3f %u\n", name, fragments, fragments / (640.0 * 480.0),
               switches);
  std::fflush(g_out);
}

Npc* hero() { return Player::instance().npc.get(); }

void place(int x, int y) {
  if (Npc* c = hero()) {
    c->x = static_cast<float>(x);
    c->y = static_cast<float>(y);
    c->spdX = c->spdY = 0;
  }
}

int shots(const std::string& outDir) {
  fs::create_directories(outDir);
  Driver d;
  d.run(19);
  shot(d, outDir, "1_fade_in");
  d.run(70);
  shot(d, outDir, "2_start");
  // Next to the village elder, and talk.
  if (Npc* elder = Level::instance().getNpcByName("soltys")) {
    place(static_cast<int>(elder->x) - 24, static_cast<int>(elder->y) - 8);
    elder->spdX = 0;
  }
  d.run(20);
  Player::instance().onKey(kTalk);
  d.run(40);
  shot(d, outDir, "3_dialog");
  for (int i = 0; i < 12; ++i) {
    Player::instance().onKey(kNext);
    d.run(5);
  }
  Dialog::instance().reset();
  // A walk to the right with the slingshot.
  place(1350, 300);
  g_keys[kRight] = 1;
  d.run(120);
  Player::instance().onKey(kShoot);
  d.run(6);
  Player::instance().onKey(kFan);
  d.run(4);
  g_keys[kRight] = 0;
  shot(d, outDir, "4_walk_shoot");
  // The dusk side of the valley: the sky changes and cross-fades.
  place(2300, 300);
  d.run(30);
  shot(d, outDir, "5_dusk_sky_fade");
  d.run(90);
  shot(d, outDir, "6_dusk");
  // A post-processing program over the finished picture.
  CameraShader::instance().setPost("data/shaders.crs:post.glsl:sepia");
  Camera::instance().shade = true;
  d.run(40);
  shot(d, outDir, "7_post_sepia");
  Camera::instance().shade = false;
  // A cross-fade between two pictures over the world.
  addFade(Sprite::get("data/gfx.crs:fade_00"), 0, 255);
  d.run(20);
  shot(d, outDir, "8_cross_fade");
  place(300, 700);
  d.run(80);
  shot(d, outDir, "9_lower_left");
  return 0;
}

double cpuNow() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// The scripted walk of the timed runs: right for four seconds, jumps, shots,
// then left; repeated.
void script(double t) {
  const double p = std::fmod(t, 8.0);
  g_keys[kRight] = p < 4.0;
  g_keys[kLeft] = p >= 4.0;
  g_keys[kUp] = std::fmod(t, 1.5) < 0.1;
}

struct Stats {
  std::vector<double> ms;
  void print(const char* what, const char* kind) {
    if (ms.empty()) {
      std::fprintf(g_out, "PACING %s %s frames 0\n", what, kind);
      return;
    }
    std::vector<double> s = ms;
    std::sort(s.begin(), s.end());
    auto at = [&](double q) {
      return s[std::min(s.size() - 1, static_cast<size_t>(q * s.size()))];
    };
    size_t over = 0;
    for (double v : s) over += v > 20.0;
    std::fprintf(g_out, "PACING %s %s frames %zu median %.2f p99 %.2f worst %.2f over20 %zu\n",
                 what, kind, s.size(), at(0.5), at(0.99), s.back(), over);
  }
};

// Runs the program's own frame (with its pacing) for `seconds`.
int timed(Game& game, double seconds, bool capped, bool levelChanges, const char* kind) {
  g_keys[kRShift] = capped ? 0 : 1;
  Stats normal, changes;
  const double cpuStart = cpuNow();
  const double start = now();
  double last = start;
  bool wentThere = false, cameBack = false;
  while (last - start < seconds) {
    const double t = last - start;
    script(t);
    bool change = false;
    if (levelChanges && !wentThere && t > seconds / 3) {
      wentThere = change = true;
      Dialog::instance().exec("goto data/lvl/miedzyczas.crs:lvl 2300 300 0 0");
    } else if (levelChanges && !cameBack && t > 2 * seconds / 3) {
      cameBack = change = true;
      Dialog::instance().exec("goto data/lvl/miedzyczas.crs:lvl 960 96 0 0");
    }
    game.frame();
    const double n = now();
    (change ? changes : normal).ms.push_back(1000.0 * (n - last));
    last = n;
  }
  if (!levelChanges) {
    const double ms = 1000.0 * (last - start) / static_cast<double>(normal.ms.size());
    // CPU time (the rasteriser's threads included) is steadier than the
    // wall clock on a busy machine.
    const double cpu = 1000.0 * (cpuNow() - cpuStart) / static_cast<double>(normal.ms.size());
    std::fprintf(g_out, "FPS %s frames %zu ms_per_frame %.3f fps %.2f cpu_ms_per_frame %.3f\n",
                 kind, normal.ms.size(), ms, 1000.0 / ms, cpu);
  } else {
    normal.print(kind, "frames");
    changes.print(kind, "level_change");
  }
  std::fflush(g_out);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: demo_views GAME_DIR shots OUT_DIR | fps SECONDS | pacing SECONDS "
                 "capped|uncapped\n");
    return 2;
  }
  const std::string mode = argv[2];
  std::string outDir = argv[3];
  if (mode == "shots") outDir = fs::absolute(outDir).string();
  const std::string dir = privateGameDir(argv[1]);
  if (::chdir(dir.c_str()) != 0) return 2;
  // The console log is silenced unless DEMO_VIEWS_LOG is set.
  std::fflush(stdout);
  g_out = fdopen(::dup(1), "w");
  if (!std::getenv("DEMO_VIEWS_LOG")) {
    FILE* null = std::fopen("/dev/null", "w");
    if (null) ::dup2(fileno(null), 1);
  }
#ifdef DEMO_VIEWS_CULL
  if (const char* ref = std::getenv("DEMO_VIEWS_REFERENCE"))
    cull::enabled = std::string(ref) != "1";
#endif
  LuaFuncs::install();
  Game game("bench", "bench");
  if (game.startUp() != 0) return 1;
  std::srand(1);
  game::keys = g_keys.data();
  int rc = 0;
  if (mode == "shots") {
    rc = shots(outDir);
  } else if (mode == "frames") {
    Driver d;
    const int n = std::atoi(argv[3]);
    for (int i = 0; i < 60 + n; ++i) {
      script(i / 60.0);
      if (i == 60) CALLGRIND_TOGGLE_COLLECT;
      d.frame();
    }
    CALLGRIND_TOGGLE_COLLECT;
    std::fprintf(g_out, "FRAMES %d\n", n);
  } else if (mode == "fps") {
    rc = timed(game, std::atof(argv[3]), false, false, "uncapped");
  } else if (mode == "pacing") {
    const bool capped = argc > 4 && std::string(argv[4]) == "capped";
    rc = timed(game, std::atof(argv[3]), capped, true, capped ? "capped" : "uncapped");
  }
  fs::remove_all(dir);
  std::fflush(g_out);
  std::fflush(stdout);
  std::_Exit(rc);
}
