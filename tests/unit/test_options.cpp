// The command line, the game folder's game.ini, and how a crash ends the process.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/fatal_signal.h"
#include "game/options.h"
#include "resources/game_settings.h"

namespace {

struct ParseRow {
  std::vector<std::string> args;
  Options::Mode mode;
  const char* dir;
  const char* level;
  bool bad;
};

std::string fields(const GameSettings& gs) {
  return gs.level + " " + gs.playerSprite + " " + std::to_string(gs.playerX) + " " +
         std::to_string(gs.playerY) + " " + std::to_string(gs.playerHp) + " " + gs.save;
}

}  // namespace

TEST(Options, ParsesCommandLines) {
  using M = Options::Mode;
  const ParseRow rows[] = {
      {{}, M::kRun, "", "", false},
      {{"games/one"}, M::kRun, "games/one", "", false},
      {{"--check"}, M::kCheck, "", "", false},
      {{"--check", "g"}, M::kCheck, "g", "", false},
      {{"g", "--level", "data/lvl/a.crs:lvl"}, M::kRun, "g", "data/lvl/a.crs:lvl", false},
      {{"--level=data/x.crs:lvl", "g"}, M::kRun, "g", "data/x.crs:lvl", false},
      {{"--", "--odd-folder"}, M::kRun, "--odd-folder", "", false},
      {{"-h"}, M::kHelp, "", "", false},
      {{"--help"}, M::kHelp, "", "", false},
      {{"--frobnicate"}, M::kRun, "", "", true},
      {{"-x", "g"}, M::kRun, "", "", true},
      {{"--level"}, M::kRun, "", "", true},
      {{"--level="}, M::kRun, "", "", true},
      {{"--check=yes"}, M::kRun, "", "", true},
      {{"a", "b"}, M::kRun, "a", "", true},
  };
  for (const ParseRow& r : rows) {
    std::string line;
    for (const auto& a : r.args) line += a + " ";
    Options o = Options::parse(r.args);
    EXPECT_EQ(!o.error.empty(), r.bad) << line << o.error;
    if (r.bad) continue;
    EXPECT_EQ(o.mode, r.mode) << line;
    EXPECT_EQ(o.gameDir, r.dir) << line;
    EXPECT_EQ(o.level, r.level) << line;
  }
  EXPECT_NE(Options::usage("tervalo").find("--level NAME"), std::string::npos);
  // Developer mode is off unless asked for; it takes no value.
  EXPECT_FALSE(Options::parse(std::vector<std::string>{"g"}).dev);
  EXPECT_TRUE(Options::parse(std::vector<std::string>{"g", "--dev"}).dev);
  EXPECT_FALSE(Options::parse(std::vector<std::string>{"--dev=1"}).error.empty());
}

TEST(GameSettings, EachKeyAndItsBadValues) {
  GameSettings gs;
  auto problems = gs.parse(
      "; settings\n"
      "[game]\n"
      "level = data/lvl/b.crs:lvl\n"
      "player_sprite=data/gfx.crs:hero\r\n"
      "player_x=-40\n"
      "player_y = 300\n"
      "player_hp=7\n"
      "save=slots/one.bin\n");
  EXPECT_TRUE(problems.empty());
  EXPECT_EQ(fields(gs), "data/lvl/b.crs:lvl data/gfx.crs:hero -40 300 7 slots/one.bin");

  // Every wrong line is reported with its number and keeps the default.
  GameSettings bad;
  const GameSettings defaults;
  problems = bad.parse(
      "level=early\n"          // 1: before the section
      "[game]\n"
      "player_x=12abc\n"       // 3
      "player_hp=0\n"          // 4
      "player_y=99999999999\n" // 5
      "save=../outside.bin\n"  // 6
      "save=/abs.bin\n"        // 7
      "level=\n"               // 8
      "palyer_x=5\n"           // 9
      "just words\n"           // 10
      "[Game]\n"               // 11
      "player_x=1\n");
  std::vector<int> lines;
  for (const auto& p : problems) lines.push_back(p.line);
  EXPECT_EQ(lines, (std::vector<int>{1, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  EXPECT_NE(problems[1].message.find("player_x"), std::string::npos);
  EXPECT_NE(problems[1].message.find("default is kept"), std::string::npos);
  EXPECT_EQ(fields(bad), fields(defaults));
}

// A child process whose earlier crash handler hangs, exits or is missing
// faults: it ends every time, by the alarm, the handler's exit or the fault.
TEST(FatalSignal, ACrashAlwaysEndsTheProcess) {
  using Handler = void (*)(int);
  const Handler hangs = [](int) { for (;;) pause(); };
  const Handler exits = [](int) { _exit(3); };
  // An ignored signal stays ignored: the child goes on to exit 0.
  for (auto [old, status] : {std::pair{hangs, SIGALRM}, {exits, 3 << 8}, {SIG_DFL, SIGSEGV},
                             {SIG_IGN, 0}}) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      signal(SIGSEGV, old);
      signal(SIGQUIT, old);
      fatal_signal::bound(1);
      raise(old == SIG_IGN ? SIGQUIT : SIGSEGV);
      _exit(0);
    }
    int got = 0;
    ASSERT_EQ(waitpid(child, &got, 0), child);
    EXPECT_EQ(WIFSIGNALED(got) ? WTERMSIG(got) : got, status);
  }
}
