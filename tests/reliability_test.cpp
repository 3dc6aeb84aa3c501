// Failure at every host operation, failed allocations and repeated load cycles: the plugin lives in someone
// else's process, so none of these may leak, crash or leave anything half-done.
#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <new>
#include <optional>
#include <string>

#include "standin/validator/Allocations.h"
#include "tests/support/KorvindelHarness.h"
#include "tests/support/Platform.h"

namespace {

using standin::Host;
using standin::InjectedFault;
using standin::LoadedPlugin;

// A fresh host for each run, with the plugin loaded into it when the scenario asks for it.
using Run = KorvindelHarness;

struct Scenario {
  std::string name;
  std::function<void(Run&)> arrange;
  std::function<void(Run&)> act;
  /// What must hold after the act failed, given the number of live wrappers from before the act.
  std::function<void(Run&, int liveBefore)> afterFault;
};

void expectNothingLeft(Run& run, int = 0) {
  run.plugin.reset();
  EXPECT_EQ(run.host.operations.liveWrappers(), 0);
  EXPECT_EQ(run.host.drawableCount(), 0u);
  EXPECT_EQ(run.host.console.hookCount(), 0u);
  EXPECT_EQ(run.host.console.bindingCount(), 0u);
  EXPECT_FALSE(standin::DynamicLibrary::isMapped(KORVINDEL_MODULE));
}

// Runs the act once to count its host operations, then once more for each of them with that one failing.
std::uint64_t injectEveryFault(const Scenario& scenario) {
  std::uint64_t operations = 0;
  {
    Run run;
    scenario.arrange(run);
    std::uint64_t before = run.host.operations.operationCount();
    scenario.act(run);
    operations = run.host.operations.operationCount() - before;
  }
  EXPECT_GT(operations, 0u) << scenario.name;
  for (std::uint64_t n = 1; n <= operations; ++n) {
    SCOPED_TRACE(scenario.name + ", failing operation " + std::to_string(n));
    Run run;
    scenario.arrange(run);
    int live = run.host.operations.liveWrappers();
    run.host.operations.failAt(n);
    EXPECT_THROW(scenario.act(run), InjectedFault);
    scenario.afterFault(run, live);
  }
  return operations;
}

void removeBall(standin::Game& game, standin::BallSource source) {
  switch (source) {
    case standin::BallSource::LocalEvent:
      game.eventBalls.clear();
      break;
    case standin::BallSource::Replay:
      game.replayBall.reset();
      break;
    case standin::BallSource::OnlineMatch:
      game.onlineBall.reset();
      break;
  }
}

std::vector<Scenario> scenarios() {
  std::vector<Scenario> all;
  all.push_back({"load", [](Run&) {}, [](Run& run) { run.load(); }, expectNothingLeft});

  // Each game state, and how it loses its ball; the main menu has none.
  struct State {
    std::string name;
    bool standin::GameStates::*on;
    standin::BallSource ball;
  };
  std::vector<State> states;
  for (const standin::GameState& state : standin::kGameStates) {
    states.push_back({std::string(state.name), state.on, state.ball});
  }
  states.push_back({"main menu", nullptr, {}});
  for (const State& state : states) {
    for (bool withBall : {true, false}) {
      if (withBall && state.on == nullptr) continue;
      all.push_back({std::string("render in ") + state.name + (withBall ? " with a ball" : " without a ball"),
                     [state, withBall](Run& run) {
                       run.load();
                       run.show(true);
                       if (state.on != nullptr) run.host.game.*state.on = true;
                       if (!withBall && state.on != nullptr) removeBall(run.host.game, state.ball);
                       run.host.game.setVelocity({1000, 0, 0});
                     },
                     [](Run& run) { run.host.drawFrame(); },
                     [withBall](Run& run, int live) {
                       EXPECT_EQ(run.host.operations.liveWrappers(), live);
                       // Nothing half-done: the next frame draws as if the failed one had never been.
                       auto expected =
                           withBall ? std::vector<std::string>{"36.00 km/h"} : std::vector<std::string>{};
                       EXPECT_EQ(run.frameTexts(), expected);
                       expectNothingLeft(run);
                     }});
    }
  }

  for (bool on : {true, false}) {
    all.push_back({std::string("switching the readout ") + (on ? "on" : "off"),
                   [on](Run& run) {
                     run.load();
                     run.show(!on);
                   },
                   [on](Run& run) { run.show(on); },
                   [on](Run& run, int live) {
                     EXPECT_EQ(run.host.operations.liveWrappers(), live);
                     EXPECT_EQ(run.host.drawableCount(), on ? 0u : 1u);
                     expectNothingLeft(run);
                   }});
  }

  all.push_back({"a load, draw and unload cycle", [](Run& run) { run.host.game.freeplay = true; },
                 [](Run& run) {
                   run.load();
                   run.show(true);
                   run.host.drawFrame();
                   run.show(false);
                   run.plugin->unload();
                 },
                 expectNothingLeft});
  return all;
}

TEST(Reliability, EveryHostFailureReachesTheHostAndLeavesNothingBehind) {
  std::uint64_t faults = 0;
  for (const Scenario& scenario : scenarios()) faults += injectEveryFault(scenario);
  std::cout << "injected " << faults << " host faults\n";
  RecordProperty("injected_faults", std::to_string(faults));
  EXPECT_GT(faults, 100u) << "every scenario of the table ran";
}

KORVINDEL_POSIX_TEST(
    Reliability, AFailedAllocationLeavesThePluginHandleEmpty,
    "each DLL carries its own C++ runtime, whose allocations this program's counter cannot see") {
  Host host;
  standin::PluginModule module(KORVINDEL_MODULE);
  PluginHandle* handle = module.getPlugin();
  module.deleteMe();
  long before = allocations::made();
  module.getPlugin();
  long count = allocations::made() - before;
  module.deleteMe();
  EXPECT_EQ(count, 2) << "the object and its control block";
  for (long n = 1; n <= count; ++n) {
    allocations::failAt(n);
    EXPECT_THROW(module.getPlugin(), std::bad_alloc);
    EXPECT_FALSE(*handle);
  }
  EXPECT_TRUE(*module.getPlugin());
  module.deleteMe();
}

TEST(Reliability, ThousandsOfLoadCyclesLeaveNothingBehind) {
  Host host;
  host.operations.setRecording(false);
  host.game.freeplay = true;
#if defined(__MINGW32__)
  // MinGW's static runtime takes a thread-local storage slot each time its DLL is loaded and never gives it
  // back, and a process has 1088 of them.
  constexpr int kCycles = 1000;
#else
  constexpr int kCycles = 10000;
#endif
  long settled = 0;
  for (int cycle = 1; cycle <= kCycles; ++cycle) {
    {
      LoadedPlugin plugin(host, KORVINDEL_MODULE);
      host.console.set("korvindel_show", "1");
      host.drawFrame();
      host.console.set("korvindel_show", "0");
    }
    if (cycle == 1) settled = allocations::live();
  }
  EXPECT_EQ(allocations::live(), settled) << "heap allocations grew over the cycles";
  EXPECT_EQ(host.operations.liveWrappers(), 0);
  EXPECT_EQ(host.console.registrations().size(), 9u);
  EXPECT_EQ(host.drawableCount(), 0u);
  EXPECT_EQ(host.console.hookCount(), 0u);
  EXPECT_EQ(host.console.bindingCount(), 0u);
  std::cout << kCycles << " load cycles\n";
}

}  // namespace
