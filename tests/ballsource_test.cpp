// Which ball the readout measures in each game state, asked of the host in a fixed order.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/PluginFixture.h"
#include "tests/support/FrameCalls.h"

namespace {

using ::testing::ElementsAreArray;

class BallSource : public PluginFixture {
 protected:
  void SetUp() override {
    loadShowing();
    host.game.freeplay = false;
    // Every ball moves at its own speed, so the readout tells which one was measured.
    host.game.eventBalls = {{{1000, 0, 0}, 0}, {{2000, 0, 0}, 0}, {{4000, 0, 0}, 0}};
    host.game.replayBall = standin::Ball{{300, 400, 0}, 0};
    host.game.onlineBall = standin::Ball{{0, 0, -100}, 0};
  }
};

TEST_F(BallSource, AsksTheGameStatesInOrderAndOnlyAsFarAsNeeded) {
  struct Case {
    const char* name;
    std::function<void(standin::Game&)> arrange;
    Calls calls;
    std::vector<std::string> drawn;
  };
  const Calls emptyLocal = {"IsInFreeplay", "GetGameEventAsServer", "GetGameBalls", "Count"};
  const Case cases[] = {
      {"free play takes ball 0 of three",
       [](auto& g) { g.freeplay = true; },
       concat({kLocalBallCalls, kDrawingCalls}),
       {"36.00 km/h"}},
      {"custom training asked only after free play",
       [](auto& g) { g.training = true; },
       concat({{"IsInFreeplay", "IsInCustomTraining"},
               Calls(kLocalBallCalls.begin() + 1, kLocalBallCalls.end()),
               kDrawingCalls}),
       {"36.00 km/h"}},
      {"free play wins over replay without asking it",
       [](auto& g) {
         g.freeplay = true;
         g.replay = true;
       },
       concat({kLocalBallCalls, kDrawingCalls}),
       {"36.00 km/h"}},
      {"empty free play falls through to the replay",
       [](auto& g) {
         g.freeplay = true;
         g.replay = true;
         g.eventBalls.clear();
       },
       concat({emptyLocal, {"IsInReplay", "GetGameEventAsReplay", "GetBall", "IsNull"}, kDrawingCalls}),
       {"18.00 km/h"}},
      {"a negative count means no ball",
       [](auto& g) {
         g.freeplay = true;
         g.replay = true;
         g.reportedBallCount = -3;
       },
       concat({emptyLocal, {"IsInReplay", "GetGameEventAsReplay", "GetBall", "IsNull"}, kDrawingCalls}),
       {"18.00 km/h"}},
      {"empty free play and nothing else draws nothing",
       [](auto& g) {
         g.freeplay = true;
         g.eventBalls.clear();
       },
       concat({emptyLocal, {"IsInReplay", "IsSpectatingInOnlineGame", "BallWrapper", "IsNull"}}),
       {}},
      {"a replay without a ball is returned as it is, spectating not asked",
       [](auto& g) {
         g.replay = true;
         g.spectating = true;
         g.replayBall.reset();
       },
       {"IsInFreeplay", "IsInCustomTraining", "IsInReplay", "GetGameEventAsReplay", "GetBall", "IsNull"},
       {}},
      {"spectating takes the online match's ball",
       [](auto& g) { g.spectating = true; },
       concat({{"IsInFreeplay", "IsInCustomTraining", "IsInReplay", "IsSpectatingInOnlineGame",
                "GetOnlineGame", "GetBall", "IsNull"},
               kDrawingCalls}),
       {"3.60 km/h"}},
      {"all four states off gives the null ball",
       [](auto&) {},
       {"IsInFreeplay", "IsInCustomTraining", "IsInReplay", "IsSpectatingInOnlineGame", "BallWrapper",
        "IsNull"},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    standin::Game saved = host.game;
    c.arrange(host.game);
    EXPECT_THAT(frame(), ElementsAreArray(c.calls));
    std::vector<std::string> drawn;
    for (const auto& text : host.canvas.texts()) drawn.push_back(text.text);
    EXPECT_EQ(drawn, c.drawn);
    host.game = saved;
  }
}

TEST_F(BallSource, ReleasesEachArrayBeforeItsEventAndEverythingWithinTheFrame) {
  struct Case {
    const char* name;
    bool standin::Game::*state;
    std::vector<std::string> lives;
  };
  const std::vector<std::string> local = {"+ServerWrapper",
                                          "+ArrayWrapper<BallWrapper>",
                                          "-ArrayWrapper<BallWrapper>",
                                          "-ServerWrapper",
                                          "+ServerWrapper",
                                          "+ArrayWrapper<BallWrapper>",
                                          "+BallWrapper",
                                          "-ArrayWrapper<BallWrapper>",
                                          "-ServerWrapper",
                                          "-BallWrapper"};
  const Case cases[] = {
      {"free play", &standin::Game::freeplay, local},
      {"custom training", &standin::Game::training, local},
      {"replay",
       &standin::Game::replay,
       {"+ReplayServerWrapper", "+BallWrapper", "-ReplayServerWrapper", "-BallWrapper"}},
      {"spectating",
       &standin::Game::spectating,
       {"+ServerWrapper", "+BallWrapper", "-ServerWrapper", "-BallWrapper"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host.game.*c.state = true;
    int before = host.operations.liveWrappers();
    frame();
    std::vector<std::string> lives;
    for (const standin::LogEntry& entry : host.operations.log()) {
      if (entry.kind == standin::LogEntry::Kind::Call || entry.name == "CanvasWrapper") continue;
      lives.push_back((entry.kind == standin::LogEntry::Kind::Created ? "+" : "-") + std::string(entry.name));
    }
    EXPECT_THAT(lives, ElementsAreArray(c.lives));
    EXPECT_EQ(host.operations.liveWrappers(), before);
    host.game.*c.state = false;
  }
}

}  // namespace
