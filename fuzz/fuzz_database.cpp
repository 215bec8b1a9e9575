// Save file loading, plus the round trip: whatever loads must save and load
// back to the same tables.
#include <cstdlib>

#include "base/log.h"
#include "fuzz/fuzz_util.h"
#include "resources/database.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string in = fuzz::scratchPath("db_in") + ".bin";
  static const std::string out = fuzz::scratchPath("db_out") + ".bin";
  if (!fuzz::writeFile(in, data, size)) return 0;
  Log::Capture quiet;
  Database db;
  db.load(in);
  for (const auto& kv : db.strs())
    if (kv.first.size() < 2) std::abort();
  for (const auto& kv : db.vals())
    if (kv.first.size() < 2) std::abort();
  if (!db.save(out)) return 0;
  Database back;
  if (!back.load(out)) std::abort();
  if (back.strs() != db.strs() || back.vals() != db.vals()) std::abort();
  return 0;
}
