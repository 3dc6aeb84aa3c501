#include "Validator.h"

#include <iterator>
#include <utility>

#include "PluginHarness.h"
#include "ReferenceReadout.h"
#include "SyscallCounter.h"

namespace standin {
namespace {

// A kind of frame the plugin must draw without stalling the game.
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
  game.setVelocity(kReferenceVelocity);
  game.setExplosionTime(0);
  kind.arrange(game);
}

// What one load, frames of every kind and one unload showed, and which of it this build could not see.
struct Observed {
  int wrappersKeptByFrames = 0;
  int wrappersAfterUnload = 0;
  std::vector<std::string> allocatingFrames;
  std::string allocationsUnseen;
  std::vector<long> systemCalls;
  std::string systemCallsUnseen;
  std::vector<Finding> findings;
};

Observed observe(const std::filesystem::path& module, AllocationCounter allocations) {
  Observed seen;
  PluginHarness harness;
  harness.load(module);
  Host& host = harness.host;
  if (host.console.value("korvindel_show")) harness.show(true);
  host.operations.setRecording(false);
  auto frames = [&] {
    for (const FrameKind& kind : kFrameKinds) {
      arrange(host.game, kind);
      host.drawFrame();
    }
  };
  int wrappers = host.operations.liveWrappers();
  // The first frame of each kind sizes what the plugin keeps (the readout's text), so each is drawn once
  // before it is measured.
  frames();
  // Quiet from here on: the global-state check allocates what it finds, and asks for the working directory,
  // a system call of the host's own.
  host.setChecking(false);
  seen.allocationsUnseen = allocations.made == nullptr ? std::string(allocations.cannot) : "";
  if (allocations.made != nullptr) {
    long formatting = allocations.made();
    referenceReadout(kReferenceKmh, false);
    formatting = allocations.made() - formatting;
    for (const FrameKind& kind : kFrameKinds) {
      arrange(host.game, kind);
      host.drawFrame();
      long before = allocations.made();
      host.drawFrame();
      if (allocations.made() - before > (kind.refreshes ? formatting : 0)) {
        seen.allocatingFrames.push_back(kind.name);
      }
    }
  }
  seen.wrappersKeptByFrames = host.operations.liveWrappers() - wrappers;
  seen.systemCallsUnseen = syscallcounter::unavailable();
  if (seen.systemCallsUnseen.empty()) seen.systemCalls = syscallcounter::madeBy(frames, frames);
  host.setChecking(true);
  harness.plugin->unload();
  seen.findings = host.findings();
  seen.wrappersAfterUnload = host.operations.liveWrappers();
  return seen;
}

template <typename Items, typename Show>
std::string joined(const Items& items, Show show) {
  std::string text;
  for (const auto& item : items) text += (text.empty() ? "" : ", ") + show(item);
  return text;
}

std::string found(const Observed& seen, Finding::Check check) {
  std::string text;
  for (const Finding& finding : seen.findings) {
    if (finding.check == check) text += (text.empty() ? "" : "; ") + finding.message;
  }
  return text;
}

// Each rule's check of what a run showed, named as the rule: what it found, or why it could not look.
namespace judge {

Verdict keeps_a_wrapper(const Observed& seen) {
  if (seen.wrappersKeptByFrames == 0 && seen.wrappersAfterUnload == 0) return {};
  return {nullptr,
          "host wrappers outlive the call that got them: " + std::to_string(seen.wrappersKeptByFrames) +
              " after the frames, " + std::to_string(seen.wrappersAfterUnload) + " after unload",
          ""};
}

Verdict allocates_per_frame(const Observed& seen) {
  std::string frames = joined(seen.allocatingFrames, [](const std::string& name) { return name; });
  return {nullptr, frames.empty() ? "" : "frames allocate: " + frames, seen.allocationsUnseen};
}

Verdict leaves_a_drawable(const Observed& seen) {
  return {nullptr, found(seen, Finding::Check::LeftRegistered), ""};
}

Verdict calls_after_delete(const Observed& seen) {
  return {nullptr, found(seen, Finding::Check::CallAfterDelete), ""};
}

Verdict changes_global_state(const Observed& seen) {
  return {nullptr, found(seen, Finding::Check::GlobalState), ""};
}

Verdict makes_a_system_call(const Observed& seen) {
  std::string numbers = joined(seen.systemCalls, [](long number) { return std::to_string(number); });
  return {nullptr, numbers.empty() ? "" : "frames make system calls, by number: " + numbers,
          seen.systemCallsUnseen};
}

}  // namespace judge

constexpr ValidatorRule kRules[] = {
#define VALIDATOR_RULE(name, check, reports, brokenBy) {#name, check, reports, brokenBy},
#include "ValidatorRules.def"
#undef VALIDATOR_RULE
};

constexpr Verdict (*kJudges[])(const Observed&) = {
#define VALIDATOR_RULE(name, check, reports, brokenBy) &judge::name,
#include "ValidatorRules.def"
#undef VALIDATOR_RULE
};

}  // namespace

std::span<const ValidatorRule> validatorRules() { return kRules; }

std::vector<Verdict> validate(const std::filesystem::path& module, AllocationCounter allocations) {
  auto* reporter = Host::reporter();
  Host::setReporter(nullptr);
  Observed seen;
  try {
    seen = observe(module, allocations);
  } catch (...) {
    Host::setReporter(reporter);
    throw;
  }
  Host::setReporter(reporter);
  std::vector<Verdict> verdicts;
  for (std::size_t i = 0; i < std::size(kRules); ++i) {
    Verdict verdict = kJudges[i](seen);
    verdict.rule = &kRules[i];
    if (!verdict.notRun.empty()) verdict.found.clear();
    verdicts.push_back(std::move(verdict));
  }
  return verdicts;
}

}  // namespace standin
