#include "Validator.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <utility>

#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "PluginHarness.h"
#include "Quote.h"
#include "ReferenceReadout.h"
#include "SyscallCounter.h"

namespace standin {
namespace {

// A kind of frame the plugin must draw without stalling the game: a game state that is on, if any, and what
// else is arranged for it.
struct FrameKind {
  std::string_view name;
  bool GameStates::*state;
  void (*extra)(Game&);
  bool refreshes;
};

// Beyond a frame in each game state: a readout that holds, a state without its ball, and the main menu.
const FrameKind kFurtherKinds[] = {
    {"frozen while the ball explodes", &GameStates::freeplay, [](Game& game) { game.setExplosionTime(1.5f); },
     false},
    {"free play without a ball", &GameStates::freeplay, [](Game& game) { game.eventBalls.clear(); }, false},
    {"main menu", nullptr, nullptr, false},
};

template <typename Visit>
void forEachFrameKind(Visit visit) {
  for (const GameState& state : kGameStates) visit(FrameKind{state.name, state.on, nullptr, true});
  for (const FrameKind& kind : kFurtherKinds) visit(kind);
}

// Sets the game up for one kind of frame in place, so that doing so allocates nothing once done before.
void arrange(Game& game, const FrameKind& kind) {
  static_cast<GameStates&>(game) = {};
  game.eventBalls.resize(1);
  game.setVelocity(kReferenceVelocity);
  game.setExplosionTime(0);
  if (kind.state != nullptr) game.*kind.state = true;
  if (kind.extra != nullptr) kind.extra(game);
}

// Draws one frame of every kind.
void drawEveryKind(Host& host) {
  forEachFrameKind([&](const FrameKind& kind) {
    arrange(host.game, kind);
    host.drawFrame();
  });
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
  auto frames = [&] { drawEveryKind(host); };
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
    forEachFrameKind([&](const FrameKind& kind) {
      arrange(host.game, kind);
      host.drawFrame();
      long before = allocations.made();
      host.drawFrame();
      if (allocations.made() - before > (kind.refreshes ? formatting : 0)) {
        seen.allocatingFrames.emplace_back(kind.name);
      }
    });
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

// What a rule's check found in a run (empty when nothing), or why it could not look (empty when it could).
struct Judged {
  std::string found;
  std::string unseen;
};

// Each rule's check of what a run showed, named as the rule.
namespace judge {

// Reached only when the run of its own survived.
Judged crashes_in_a_frame(const Observed&) { return {}; }

Judged keeps_a_wrapper(const Observed& seen) {
  if (seen.wrappersKeptByFrames == 0 && seen.wrappersAfterUnload == 0) return {};
  return {"host wrappers outlive the call that got them: " + std::to_string(seen.wrappersKeptByFrames) +
              " after the frames, " + std::to_string(seen.wrappersAfterUnload) + " after unload",
          ""};
}

Judged allocates_per_frame(const Observed& seen) {
  std::string frames = joined(seen.allocatingFrames, [](const std::string& name) { return name; });
  return {frames.empty() ? "" : "frames allocate: " + frames, seen.allocationsUnseen};
}

Judged leaves_a_drawable(const Observed& seen) { return {found(seen, Finding::Check::LeftRegistered), ""}; }

Judged calls_after_delete(const Observed& seen) { return {found(seen, Finding::Check::CallAfterDelete), ""}; }

Judged changes_global_state(const Observed& seen) { return {found(seen, Finding::Check::GlobalState), ""}; }

Judged makes_a_system_call(const Observed& seen) {
  std::string numbers = joined(seen.systemCalls, [](long number) { return std::to_string(number); });
  return {numbers.empty() ? "" : "frames make system calls, by number: " + numbers, seen.systemCallsUnseen};
}

}  // namespace judge

constexpr ValidatorRule kRules[] = {
#define VALIDATOR_RULE(name, check, reports, brokenBy) {#name, check, reports, brokenBy},
#include "ValidatorRules.def"
#undef VALIDATOR_RULE
};

constexpr Judged (*kJudges[])(const Observed&) = {
#define VALIDATOR_RULE(name, check, reports, brokenBy) &judge::name,
#include "ValidatorRules.def"
#undef VALIDATOR_RULE
};

static_assert(kRules[0].name == "crashes_in_a_frame", "the first rule is judged on a run of its own");

#if !defined(_WIN32)
std::string describeSignal(int signal) {
  const char* name = strsignal(signal);
  return "ended by signal " + std::to_string(signal) +
         (name != nullptr ? " (" + std::string(name) + ")" : "");
}
#endif

// What work wrote, from a child process where the system makes one, or the signal that ended that process.
// Work that throws leaves "!" and the reason.
struct Isolated {
  std::string output;
  // How the child ended when it did not end by itself: a signal, or a status other than 0 (a sanitizer's
  // runtime, say, that reports a crash and exits); empty when it did.
  std::string crash;
};

std::string caught(const std::function<std::string()>& work) noexcept {
  try {
    return work();
  } catch (const std::exception& error) {
    return std::string("!") + error.what();
  } catch (...) {
    return "!an exception that is not a std::exception";
  }
}

#if defined(_WIN32)
// No fork here: the work runs in this process, and a crash ends it.
Isolated isolated(const std::function<std::string()>& work) { return {caught(work), ""}; }
#else
Isolated isolated(const std::function<std::string()>& work) {
  int channel[2];
  if (pipe(channel) != 0)
    throw std::runtime_error("the validator cannot make a pipe: " + systemReason(errno));
  pid_t child = fork();
  if (child < 0) {
    close(channel[0]);
    close(channel[1]);
    throw std::runtime_error("the validator cannot start a child process: " + systemReason(errno));
  }
  if (child == 0) {
    close(channel[0]);
    std::string output = caught(work);
    for (std::size_t done = 0; done < output.size();) {
      ssize_t written = write(channel[1], output.data() + done, output.size() - done);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) _exit(1);
      done += static_cast<std::size_t>(written);
    }
    // Nothing of the parent's, a test framework's included, may run its exit handlers here.
    _exit(0);
  }
  close(channel[1]);
  Isolated result;
  char buffer[4096];
  for (ssize_t got; (got = read(channel[0], buffer, sizeof buffer)) != 0;) {
    if (got > 0) result.output.append(buffer, static_cast<std::size_t>(got));
    if (got < 0 && errno != EINTR) break;
  }
  close(channel[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFSIGNALED(status)) result.crash = describeSignal(WTERMSIG(status));
  if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
    result.crash = "ended with status " + std::to_string(WEXITSTATUS(status));
  }
  return result;
}
#endif

// Throws the reason that work which threw left in its output.
const std::string& unlessThrown(const std::string& output) {
  if (!output.empty() && output.front() == '!') throw std::runtime_error(output.substr(1));
  return output;
}

// The verdicts of every rule but the first, one line each: a status letter, a tab, the detail.
std::string judgeAllButTheFirst(const std::filesystem::path& module, AllocationCounter allocations) {
  Observed seen = observe(module, allocations);
  std::string lines;
  for (std::size_t i = 1; i < std::size(kRules); ++i) {
    Judged judged = kJudges[i](seen);
    char status = !judged.unseen.empty() ? 'S' : !judged.found.empty() ? 'F' : 'P';
    std::string detail = status == 'S' ? judged.unseen : judged.found;
    std::replace(detail.begin(), detail.end(), '\n', ' ');
    lines += status + ("\t" + detail + "\n");
  }
  return lines;
}

}  // namespace

std::span<const ValidatorRule> validatorRules() { return kRules; }

std::string_view nameOf(Verdict::Status status) {
  switch (status) {
    case Verdict::Status::Passed:
      return "passed";
    case Verdict::Status::Failed:
      return "failed";
    case Verdict::Status::Skipped:
      return "skipped";
    case Verdict::Status::Crashed:
      return "crashed";
  }
  return "?";
}

std::vector<Verdict> validate(const std::filesystem::path& module, AllocationCounter allocations) {
  using Status = Verdict::Status;
  struct QuietReporter {
    void (*saved)(const Finding&) = Host::reporter();
    QuietReporter() { Host::setReporter(nullptr); }
    ~QuietReporter() { Host::setReporter(saved); }
  } quiet;
  std::vector<Verdict> verdicts;
  for (const ValidatorRule& rule : kRules) verdicts.push_back({&rule, Status::Skipped, ""});

  Isolated survival = isolated([&] {
    PluginHarness harness;
    harness.load(module);
    if (harness.host.console.value("korvindel_show")) harness.show(true);
    drawEveryKind(harness.host);
    harness.plugin->unload();
    return std::string();
  });
  if (!survival.crash.empty()) {
    verdicts[0] = {&kRules[0], Status::Crashed, survival.crash};
    for (std::size_t i = 1; i < verdicts.size(); ++i) {
      verdicts[i].detail =
          "not run: the module crashed drawing its frames (" + std::string(kRules[0].name) + ")";
    }
    return verdicts;
  }
  unlessThrown(survival.output);
  verdicts[0].status = Status::Passed;

  Isolated judged = isolated([&] { return judgeAllButTheFirst(module, allocations); });
  std::istringstream lines(unlessThrown(judged.output));
  std::string line;
  for (std::size_t i = 1; i < verdicts.size(); ++i) {
    if (!judged.crash.empty() || !std::getline(lines, line) || line.size() < 2) {
      verdicts[i] = {&kRules[i], Status::Crashed,
                     !judged.crash.empty() ? judged.crash : "the run ended without a verdict"};
      continue;
    }
    Status status = line[0] == 'P' ? Status::Passed : line[0] == 'F' ? Status::Failed : Status::Skipped;
    verdicts[i] = {&kRules[i], status, line.substr(2)};
  }
  return verdicts;
}

}  // namespace standin
