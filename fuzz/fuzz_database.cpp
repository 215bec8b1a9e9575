// Save file loading, plus the round trip: whatever loads must save and load
// back to the same tables.
#include "fuzz/fuzz_util.h"
#include "resources/database.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FUZZ_INPUT_FILE(in, "db_in", ".bin");
  static const std::string out = fuzz::scratchPath("db_out", ".bin");
  Database db;
  db.load(in);
  for (const auto& kv : db.strs())
    if (kv.first.size() < 2) std::abort();
  for (const auto& kv : db.vals())
    if (kv.first.size() < 2) std::abort();
  if (!db.save(out)) return 0;
  Database back;
  if (!back.load(out) || back.strs() != db.strs() || back.vals() != db.vals()) std::abort();
  return 0;
}
