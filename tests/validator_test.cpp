// The stand-in host as a plugin validator: what it checks that a plugin does to the process, the real plugin
// passing every check, and for each check a plugin built to break it, reported by that check alone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Allocations.h"
#include "Host.h"
#include "LoadedPlugin.h"
#include "ReferenceReadout.h"
#include "Syscalls.h"

namespace {

using standin::Finding;
using standin::Game;

// A kind of frame the plugin must draw without stalling the game. The first frame after load sizes what the
// plugin keeps (the readout's text), so each kind is drawn once before it is measured.
struct FrameKind {
  const char* name;
  void (*arrange)(Game&);
  bool refreshes;
};
const FrameKind kFrameKinds[] = {
    {"free play", [](Game& game) { game.freeplay = true; }, true},
    {"training", [](Game& game) { game.training = true; }, true},
    {"replay", [](Game& game) { game.replay = true; }, true},
    {"spectating", [](Game& game) { game.spectating = true; }, true},
    {"frozen while the ball explodes",
     [](Game& game) {
       game.freeplay = true;
       game.setExplosionTime(1.5f);
     },
     false},
    {"free play without a ball",
     [](Game& game) {
       game.freeplay = true;
       game.eventBalls.clear();
     },
     false},
    {"main menu", [](Game&) {}, false},
};

// Sets the game up for one kind of frame in place, so that doing so allocates nothing once done before.
void arrange(Game& game, const FrameKind& kind) {
  game.freeplay = game.training = game.replay = game.spectating = false;
  game.eventBalls.resize(1);
  game.setVelocity({3000, 4000, 0});
  game.setExplosionTime(0);
  kind.arrange(game);
}

// What one load, frames of every kind and one unload showed.
struct Session {
  /// Host wrappers the plugin still held once its frames were drawn, and once it was unloaded.
  int wrappersKeptByFrames = 0;
  std::vector<std::string> allocatingFrames;
  std::vector<long> systemCalls;
  std::vector<Finding> findings;
  int wrappersAfterUnload = 0;
};

Session play(const std::filesystem::path& module) {
  Session run;
  auto* reporter = standin::Host::reporter();
  standin::Host::setReporter(nullptr);  // the findings are this run's results, not the test's failures
  {
    standin::Host host;
    standin::LoadedPlugin plugin(host, module);
    if (host.console.value("korvindel_show")) host.console.set("korvindel_show", "1");
    host.setRecording(false);
    long formatting = allocations::made();
    referenceReadout(180.0f, false);
    formatting = allocations::made() - formatting;
    auto frames = [&] {
      for (const FrameKind& kind : kFrameKinds) {
        arrange(host.game, kind);
        host.drawFrame();
      }
    };
    int wrappers = host.liveWrappers();
    frames();
    // Quiet from here on: the global-state check allocates what it finds, and asks for the working
    // directory, a system call of the host's own.
    host.setChecking(false);
    for (const FrameKind& kind : kFrameKinds) {
      arrange(host.game, kind);
      host.drawFrame();
      long before = allocations::made();
      host.drawFrame();
      long made = allocations::made() - before;
      if (made > (kind.refreshes ? formatting : 0)) run.allocatingFrames.push_back(kind.name);
    }
    run.wrappersKeptByFrames = host.liveWrappers() - wrappers;
    if (syscalls::unavailable().empty()) run.systemCalls = syscalls::madeBy(frames, frames);
    host.setChecking(true);
    plugin.unload();
    run.findings = host.findings();
    run.wrappersAfterUnload = host.liveWrappers();
  }
  standin::Host::setReporter(reporter);
  return run;
}

std::string join(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

std::string found(const Session& run, Finding::Check check) {
  std::string text;
  for (const Finding& finding : run.findings) {
    if (finding.check == check) text += (text.empty() ? "" : "; ") + finding.message;
  }
  return text;
}

// Every check of the validator: what it reports of a run, empty when the plugin passes, and why a build
// cannot make it (empty when it can).
struct Check {
  const char* name;
  std::string (*report)(const Session&);
  std::string (*unavailable)();
};
const Check kChecks[] = {
    {"wrappers",
     [](const Session& run) {
       if (run.wrappersKeptByFrames == 0 && run.wrappersAfterUnload == 0) return std::string();
       return "host wrappers outlive the call that got them: " + std::to_string(run.wrappersKeptByFrames) +
              " after the frames, " + std::to_string(run.wrappersAfterUnload) + " after unload";
     },
     [] { return std::string(); }},
    {"allocations",
     [](const Session& run) {
       std::string frames = join(run.allocatingFrames);
       return frames.empty() ? frames : "frames allocate: " + frames;
     },
     [] {
#if defined(_WIN32)
       return std::string(
           "each DLL carries its own C++ runtime, whose allocations this program cannot count");
#else
       return std::string();
#endif
     }},
    {"registrations", [](const Session& run) { return found(run, Finding::Check::LeftRegistered); },
     [] { return std::string(); }},
    {"calls after deleteMe", [](const Session& run) { return found(run, Finding::Check::CallAfterDelete); },
     [] { return std::string(); }},
    {"global state", [](const Session& run) { return found(run, Finding::Check::GlobalState); },
     [] { return std::string(); }},
    {"system calls",
     [](const Session& run) {
       std::string numbers;
       for (long number : run.systemCalls) numbers += (numbers.empty() ? "" : ", ") + std::to_string(number);
       return numbers.empty() ? numbers : "frames make system calls, by number: " + numbers;
     },
     &syscalls::unavailable},
};

std::filesystem::path testPlugin(const std::string& name) {
  std::filesystem::path path = TEST_PLUGIN;
  return path.replace_filename(name + path.extension().string());
}

TEST(Validator, ReportsEachBrokenRuleByItsCheckAloneAndTheRealPluginByNone) {
  struct Case {
    std::filesystem::path module;
    const char* check;
  };
  const Case cases[] = {
      {KORVINDEL_MODULE, nullptr},
      {testPlugin("test_plugin"), nullptr},
      {testPlugin("breaks_keeps_a_wrapper"), "wrappers"},
      {testPlugin("breaks_allocates_per_frame"), "allocations"},
      {testPlugin("breaks_leaves_a_drawable"), "registrations"},
      {testPlugin("breaks_calls_after_delete"), "calls after deleteMe"},
      {testPlugin("breaks_changes_global_state"), "global state"},
      {testPlugin("breaks_makes_a_system_call"), "system calls"},
  };
  for (const Check& check : kChecks) {
    if (std::string why = check.unavailable(); !why.empty()) {
      std::cout << "Not run here: the " << check.name << " check, " << why << '\n';
    }
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.module.filename().string());
    Session run = play(c.module);
    for (const Check& check : kChecks) {
      SCOPED_TRACE(check.name);
      if (!check.unavailable().empty()) continue;
      std::string report = check.report(run);
      if (c.check != nullptr && std::string(c.check) == check.name) {
        EXPECT_NE(report, "") << "the check misses what it is there to find";
      } else {
        EXPECT_EQ(report, "");
      }
    }
  }
}

}  // namespace
