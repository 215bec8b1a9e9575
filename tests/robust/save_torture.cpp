// Helper of tests/robust/test_saves.py. A generation's contents follow from its number alone (sizes
// vary with it), so a torn or mixed file cannot pass for a whole one.
//   save_torture loop FILE [FROM]  saves generations FROM (1), FROM + 1... for ever, printing each
//   save_torture once FILE GEN     saves generation GEN; exit 1 when the save fails
//   save_torture check FILE        prints "gen N" for a whole save, else "lost: why" and exit 1
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/log.h"
#include "resources/database.h"

namespace {

constexpr int kStrs = 24, kVals = 24;

std::string strValue(int gen, int i) {
  return std::string(1 + (gen * 7 + i * 13) % 90, static_cast<char>('a' + (gen + i) % 26)) +
         std::to_string(gen);
}

void fill(Database& db, int gen) {
  db.clear();
  db.setVal("gen", gen);
  for (int i = 0; i < kStrs; ++i) db.setStr("s" + std::to_string(i), strValue(gen, i));
  for (int i = 0; i < kVals; ++i) db.setVal("v" + std::to_string(i), gen * 1000 + i);
}

// The generation held, or -1 with `why` set.
int whole(const Database& db, std::string& why) {
  const int gen = db.getVal("gen");
  Database want;
  if (gen > 0) fill(want, gen);
  if (gen > 0 && db.strs() == want.strs() && db.vals() == want.vals()) return gen;
  why = gen > 0 ? "contents differ" : "no generation";
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  Log::initStdout();
  const std::string cmd = argc > 2 ? argv[1] : "";
  Database& db = Database::instance();
  if (cmd == "loop") {
    for (int gen = argc > 3 ? std::atoi(argv[3]) : 1;; ++gen) {
      fill(db, gen);
      if (!db.save(argv[2])) return 1;
      std::printf("saved %d\n", gen);
      std::fflush(stdout);
    }
  }
  if (cmd == "once" && argc > 3) {
    fill(db, std::atoi(argv[3]));
    return db.save(argv[2]) ? 0 : 1;
  }
  if (cmd == "check") {
    Log::Capture quiet;
    std::string why = "cannot load";
    const int gen = db.load(argv[2]) ? whole(db, why) : -1;
    if (gen < 0) {
      std::printf("lost: %s\n", why.c_str());
      return 1;
    }
    std::printf("gen %d\n", gen);
    return 0;
  }
  std::fprintf(stderr, "usage: save_torture loop FILE | once FILE GEN | check FILE\n");
  return 2;
}
