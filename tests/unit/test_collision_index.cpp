// The collision index against the list walks it replaces during the step:
// two copies of one randomised world, one stepped with the index and one
// without, must stay identical, and every query probed with the index open
// must answer as the walk does.
#include <gtest/gtest.h>

#include "unit/chaos_world.h"

TEST(CollisionIndex, AnswersExactlyAsTheListWalk) {
  worldtest::PhysicsGuard guard;
  chaos::World indexed(7, 250, 40), walked(7, 250, 40);
  for (int f = 0; f < 40; ++f) {
    ObjectIndex::enabled = true;
    indexed.frame();
    ObjectIndex::enabled = false;
    walked.frame();
    ASSERT_EQ(indexed.fingerprint(), walked.fingerprint()) << "frame " << f;
  }
  ObjectIndex::enabled = true;
  EXPECT_EQ(indexed.counts.mismatches, 0u);
  EXPECT_GT(indexed.counts.queries, 20000u);
  EXPECT_GT(indexed.lvl.objs.size(), 250u);
}
