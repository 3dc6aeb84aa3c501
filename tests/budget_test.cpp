// What one frame of the plugin may cost in heap allocations, counted rather than timed so it never flakes.
#include <gtest/gtest.h>

#include "standin/validator/Allocations.h"
#include "tests/PluginFixture.h"

namespace {

class FrameBudget : public PluginFixture {
 protected:
  void SetUp() override {
    loadShowing();
    host.operations.setRecording(false);
    host.game.setVelocity(standin::kReferenceVelocity);
    frame();  // the first frame sizes whatever the plugin keeps
  }

  long allocationsOfOneFrame() {
    long before = allocations::made();
    host.drawFrame();
    return allocations::made() - before;
  }
};

TEST_F(FrameBudget, FrozenAndBallLessFramesAllocateNothing) {
  setExplosion(1.5f);
  EXPECT_EQ(allocationsOfOneFrame(), 0) << "frozen readout";
  host.game.freeplay = false;
  EXPECT_EQ(allocationsOfOneFrame(), 0) << "no ball";
}

TEST_F(FrameBudget, ARefreshingFrameAllocatesNoMoreThanFormattingTheText) {
  long before = allocations::made();
  std::string text = standin::referenceReadout(standin::kReferenceKmh, false);
  long formatting = allocations::made() - before;
  for (const char* mph : {"0", "1"}) {
    SCOPED_TRACE(mph);
    set("korvindel_mph", mph);
    frame();
    EXPECT_LE(allocationsOfOneFrame(), formatting);
  }
}

}  // namespace
