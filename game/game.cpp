#include "game/game.h"

#include <SDL/SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <system_error>

#include "api/lua_funcs.h"
#include "base/frame_timing.h"
#include "base/globals.h"
#include "base/log.h"
#include "check/game_check.h"
#include "dialog/dialog.h"
#include "dialog/dialog_sprites.h"
#include "game/dev_mode.h"
#include "game/options.h"
#include "render/camera.h"
#include "render/fade.h"
#include "render/shader.h"
#include "render/sprite.h"
#include "render/text.h"
#include "resources/database.h"
#include "sound/sound.h"
#include "world/level.h"
#include "world/player.h"
#include "world/weapon.h"

namespace {

constexpr int kKeyReturn = 13;
constexpr int kKeyF4 = 285;
constexpr int kKeyRShift = 303;
constexpr int kKeyLCtrl = 306;
constexpr int kKeyLAlt = 308;
// Developer mode, with Left Ctrl: reload, overlay, one frame while paused.
constexpr int kKeyD = 100;
constexpr int kKeyN = 110;
constexpr int kKeyR = 114;
constexpr int kKeyPrint = 316;

constexpr const char* kControlsPath = "controls.bin";

// The debugging texts: fixed on the screen, in front of everything.
std::unique_ptr<Text> debugText(float x, float y, const char* str) {
  return std::make_unique<Text>(1, x, y, -999.0f, 0.0f, 0.0f, Sprite::get("data/gfx.crs:font_00"),
                                str, 640, 128, 16, 12, 32);
}

// Takes one reference of `name` into `slot` unless it already holds one.
void getOnce(Sprite*& slot, const char* name) {
  if (!slot) slot = Sprite::get(name);
}

}  // namespace

const char* const Game::kFontTest =
    "012 345 678 9\nabc\tdef ghi\njkl \tmno pqr stu vwx yz\n!\t@#$%^&*()_+-=[{]};:'\",<.>/?\\|";

Game::Game(const char* buildDate, const char* buildTime, GameSettings settings)
    : onPlayerKey([](int sym) { Player::instance().onKey(sym); }),
      buildDate_(buildDate ? buildDate : ""),
      buildTime_(buildTime ? buildTime : ""),
      settings_(std::move(settings)) {}

Game::~Game() = default;

int Game::startUp() {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  Log::info("Start");
  Log::info("Build: %s %s", buildDate_.c_str(), buildTime_.c_str());

  if (!Camera::instance().init(0)) return kNoScreen;
  game::keys = SDL_GetKeyState(nullptr);

  if (!Sound::instance().init()) return kNoSound;

  getOnce(dialog_sprites::pointer, "data/gfx.crs:npc_ptr");
  getOnce(dialog_sprites::background, "data/gfx.crs:dial_bg");
  if (!dialog_sprites::pointer || !dialog_sprites::background) {
    Log::fail("main: Nie udalo sie uruchomic dialogow");
    return kNoDialogSprites;
  }

  // The loading picture stays on the screen while the rest loads.
  setFade(Sprite::get("data/gfx.crs:fade_00"), 255, 255);
  drawFade();
  Camera::instance().endFrame();

  // The save is read before anything that may look into it (levels and
  // characters keep their state there).
  Database& db = Database::instance();
  db.clear();
  if (!db.load(settings_.save)) Log::fail("main: Nie udalo sie wczytac zapisu");

  // The weapon list; a game without weapons runs on without it.
  Weapon::load("data/weapons");

  // The level's own lines say why it failed.
  if (!Level::instance().load(settings_.level.c_str())) return kNoLevel;

  // A missing bindings file is reported and leaves every action unbound.
  Player& player = Player::instance();
  // Key presses and new characters reach the conversation from here on.
  Dialog::instance().connect(player);
  player.loadCtrls(kControlsPath);
  player.addPlayer(&Level::instance(), settings_.playerX, settings_.playerY, 0, settings_.playerHp,
                   settings_.playerSprite.c_str());

  // The game fades in from the title picture.
  setFade(Sprite::get("data/gfx.crs:fade_01"), 255, 0);

  Log::info("Wystartowano w %dms", static_cast<int>(SDL_GetTicks()));
  Log::line("%s", std::string(79, '-').c_str());

  statsText_ = debugText(8, 8, kFontTest);
  keysText_ = debugText(8, 64, "--------");

  statsStart_ = SDL_GetTicks();
  frames_ = 0;
  paused_ = false;
  started_ = true;
  return kOk;
}

void Game::handleEvent(const SDL_Event& event) {
  switch (event.type) {
    case SDL_KEYDOWN: {
      int sym = event.key.keysym.sym;
      // The event's own modifiers as well as the keyboard state: on a slow
      // frame the whole Alt+F4 arrives at once, and by the time F4 is read
      // the state already says Left Alt was let go.
      if (game::keyHeld(kKeyLAlt) || (event.key.keysym.mod & KMOD_LALT)) {
        // Left Alt shortcuts; any other key with Left Alt reaches nobody.
        if (sym == kKeyF4) {
          game::running = false;
        } else if (sym == kKeyReturn) {
          Camera::instance().toggleFullscreen();
        }
        break;
      }
      if (dev_ && game::keyHeld(kKeyLCtrl) && (sym == kKeyR || sym == kKeyD || sym == kKeyN)) {
        if (sym == kKeyR) dev_->requestReload();
        if (sym == kKeyD) dev_->toggleOverlay();
        if (sym == kKeyN && paused_) ++stepFrames_;
        break;
      }
      if (sym == kKeyPrint) {
        paused_ = !paused_;
        stepFrames_ = 0;
      } else if (!paused_ && onPlayerKey) {
        onPlayerKey(sym);
      }
      break;
    }
    case SDL_QUIT:
      game::running = false;
      break;
    default:
      break;
  }
}

void Game::pollEvents() {
  SDL_Event event;
  while (SDL_PollEvent(&event)) handleEvent(event);
}

void Game::update() {
  // The level carries out the script requests gathered during its update;
  // the player's dialog comes after it.
  Level::instance().update();
  Dialog::instance().update();
  ++updatedFrames_;
}

void Game::placeCamera() {
  // Every frame, paused or not; overrides whatever scripts set.
  Camera& cam = Camera::instance();
  int px = 0, py = 0;
  Player::instance().viewPoint(px, py);
  cam.x = static_cast<float>(px - Camera::kWidth / 2);
  cam.y = static_cast<float>(py - Camera::kHeight / 2);
}

void Game::draw() {
  Level::instance().render();
  ++drawnFrames_;
  drawFade();
  Dialog::instance().draw();
  if (statsText_) statsText_->draw();
  if (keysText_) keysText_->draw();
  Sprite::flush();
  if (dev_) dev_->drawOverlay();
}

void Game::present() { Camera::instance().endFrame(); }

std::string Game::statsLine(uint32_t frames, uint32_t statsStart, uint32_t a, uint32_t b,
                            uint32_t c, uint32_t objs, uint32_t allObjs, uint32_t parts,
                            uint32_t npcs, int px, int py) {
  char buf[512];
  double fps = frames * 1000.0 / static_cast<double>(c - statsStart);
  double msPerFrame = frames ? static_cast<double>(a - statsStart) / frames : 0.0;
  std::snprintf(buf, sizeof buf,
                "INFO: %.2ffps \t(%uf/%ums) \t%.2fms/f\nObjs: %u/%u \t Parts: %u\tNpcs: %u\n"
                "Player: x, y: %d, %d",
                fps, frames, b - statsStart, msPerFrame, objs, allObjs, parts, npcs, px, py);
  return buf;
}

void Game::updateStats() {
  uint32_t now = SDL_GetTicks();
  ++frames_;
  if (now - statsStart_ > 1000) {
    uint32_t a = SDL_GetTicks(), b = SDL_GetTicks(), c = SDL_GetTicks();
    const Level& lvl = Level::instance();
    int px = 0, py = 0;
    Player::instance().viewPoint(px, py);
    if (statsText_)
      statsText_->setStr(statsLine(
          frames_, statsStart_, a, b, c, static_cast<uint32_t>(lvl.objs.size()), lvl.countObjs(),
          static_cast<uint32_t>(lvl.parts.size()), lvl.countNpcs(), px, py));
    statsStart_ = SDL_GetTicks();
    frames_ = 0;
  }
}

// A level change frees most of what the old level held, in pieces spread
// over the heap between what stays; the allocator keeps such free pages
// unless asked. Given back after every change, a long session's footprint
// stays that of the levels it plays.
void Game::trimAfterLevelChange() {
  const uint64_t loads = Level::instance().loads;
  if (loads == levelLoads_) return;
  levelLoads_ = loads;
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

void Game::pace() {
  uint32_t work = SDL_GetTicks() - game::frameStart;
  if (frame_timing::shouldSleep(work, game::keyHeld(kKeyRShift))) {
    uint32_t wait = frame_timing::sleepMs(game::frameStart, SDL_GetTicks());
    if (wait) SDL_Delay(wait);
  }
  const uint32_t took = SDL_GetTicks() - game::frameStart;
  ++frameMs_[std::min<size_t>(took, frameMs_.size() - 1)];
  game::dt = frame_timing::frameDt(took);
}

void Game::writeFrameLog() const {
  const char* path = std::getenv("TERVALO_FRAME_LOG");
  if (!path || !*path) return;
  if (FILE* f = std::fopen(path, "w")) {
    std::fprintf(f, "# frame length in ms, frames\n");
    for (size_t ms = 0; ms < frameMs_.size(); ++ms)
      if (frameMs_[ms]) std::fprintf(f, "%zu %llu\n", ms, static_cast<unsigned long long>(frameMs_[ms]));
    std::fclose(f);
  }
}

void Game::enableDevMode() {
  if (!dev_) dev_ = std::make_unique<DevMode>();
}

void Game::frame() {
  game::frameStart = SDL_GetTicks();
  pollEvents();
  // A reload runs here, where no script is running, like other level changes.
  if (dev_) dev_->beforeFrame(SDL_GetTicks());
  // While paused, Left Ctrl+N lets exactly one frame through.
  const bool advance = !paused_ || stepFrames_ > 0;
  if (paused_ && stepFrames_ > 0) --stepFrames_;
  using Clock = std::chrono::steady_clock;
  const Clock::time_point t0 = dev_ ? Clock::now() : Clock::time_point();
  if (advance) Player::instance().control(game::keys, SDLK_LAST);
  Sound::instance().update();
  Camera::instance().beginFrame();
  if (advance) update();
  placeCamera();
  const Clock::time_point t1 = dev_ ? Clock::now() : Clock::time_point();
  draw();
  const Clock::time_point t2 = dev_ ? Clock::now() : Clock::time_point();
  present();
  if (dev_) {
    auto ms = [](Clock::time_point a, Clock::time_point b) {
      return std::chrono::duration<float, std::milli>(b - a).count();
    };
    dev_->recordFrame({ms(t0, t1), ms(t1, t2), ms(t2, Clock::now())});
  }
  trimAfterLevelChange();
  updateStats();
  // The contact flags of the player's character; dashes while it has none.
  if (keysText_) keysText_->setStr(Player::instance().contactLine());
  pace();
}

int Game::shutdown() {
  dev_.reset();
  // Characters write their state into the save before it is stored.
  Level::instance().unload();
  Dialog::instance().reset();
  // The texts and fades give their sprite references back before the
  // sprite cache is emptied, so nothing releases a destroyed sprite.
  statsText_.reset();
  keysText_.reset();
  Fades::instance().clear();
  dialog_sprites::pointer = nullptr;
  dialog_sprites::background = nullptr;
  Sprite::clear();
  // A save file in a folder of its own gets that folder first.
  std::error_code ec;
  std::filesystem::path savePath(settings_.save);
  if (savePath.has_parent_path()) std::filesystem::create_directories(savePath.parent_path(), ec);
  Database::instance().save(settings_.save);
  writeFrameLog();
  Log::info("Zatrzymano (%.2fs)", SDL_GetTicks() / 1000.0);
  Camera::instance().shutdown();
  Sound::instance().shutdown();
  SDL_Quit();
  return kOk;
}

int Game::run() {
  int code = startUp();
  if (code != kOk) return code;
  if (dev_) dev_->start();
  while (game::running) frame();
  return shutdown();
}

namespace {

// The folder of the running program, or "" when it cannot be found.
std::string programFolder(const char* argv0) {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec && argv0 && std::string(argv0).find('/') != std::string::npos)
    exe = std::filesystem::absolute(argv0, ec);
  if (ec || exe.empty()) return std::string();
  return exe.parent_path().string();
}

}  // namespace

int runGame(int argc, const char* const* argv, const char* buildDate, const char* buildTime) {
  Log::initStdout();
  const std::string prog = argc > 0 && argv[0] && *argv[0]
                               ? std::filesystem::path(argv[0]).filename().string()
                               : std::string("tervalo");
  Options opts = Options::parse(argc, argv);
  if (!opts.error.empty()) {
    std::fprintf(stderr, "%s: %s\n%s", prog.c_str(), opts.error.c_str(),
                 Options::usage(prog).c_str());
    return Options::kUsageExit;
  }
  if (opts.mode == Options::Mode::kHelp) {
    std::fputs(Options::usage(prog).c_str(), stdout);
    return 0;
  }

  // Everything is read relative to the game folder.
  std::string dir = opts.gameDir.empty() ? programFolder(argc > 0 ? argv[0] : nullptr) : opts.gameDir;
  std::error_code ec;
  if (!dir.empty()) std::filesystem::current_path(dir, ec);
  if (ec) {
    std::fprintf(stderr, "%s: cannot enter the game folder %s: %s\n", prog.c_str(), dir.c_str(),
                 ec.message().c_str());
    return Options::kUsageExit;
  }

  // The checker reads everything itself, game.ini included, and opens no
  // window or sound.
  if (opts.mode == Options::Mode::kCheck) return runCheck(opts.level, stdout);

  GameSettings settings;
  settings.load(GameSettings::kFileName);
  if (!opts.level.empty()) settings.level = opts.level;

  LuaFuncs::install();
  Lua::setBudgetMs(settings.scriptBudgetMs);
  Lua::setMemoryCap(static_cast<size_t>(settings.scriptMemoryMb) << 20);
  Game game(buildDate, buildTime, std::move(settings));
  if (opts.dev) game.enableDevMode();
  return game.run();
}
