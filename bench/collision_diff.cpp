// The collision index against the list walk over at least a million
// queries of randomised worlds (see tests/unit/chaos_world.h); the unit
// test runs the same check smaller. Prints one "COLLISION_DIFF" line; the
// exit status is non-zero on any difference.
//   collision_diff [MIN_QUERIES]
#include <cstdio>
#include <cstdlib>

#include "unit/chaos_world.h"

int main(int argc, char** argv) {
  const uint64_t want = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
  chaos::Counts total;
  uint64_t frames = 0, divergent = 0;
  for (uint64_t seed = 1; total.queries < want; ++seed) {
    chaos::World indexed(seed, 400, 60), walked(seed, 400, 60);
    for (int f = 0; f < 60; ++f, ++frames) {
      ObjectIndex::enabled = true;
      indexed.frame();
      ObjectIndex::enabled = false;
      walked.frame();
      if (indexed.fingerprint() != walked.fingerprint()) ++divergent;
    }
    ObjectIndex::enabled = true;
    total.queries += indexed.counts.queries;
    total.mismatches += indexed.counts.mismatches;
  }
  std::printf("COLLISION_DIFF queries %llu mismatches %llu frames %llu divergent_frames %llu\n",
              static_cast<unsigned long long>(total.queries),
              static_cast<unsigned long long>(total.mismatches),
              static_cast<unsigned long long>(frames), static_cast<unsigned long long>(divergent));
  return total.mismatches == 0 && divergent == 0 ? 0 : 1;
}
