// The stand-in host as a plugin validator: what a plugin module does to the process it runs in, judged by the
// rules of ValidatorRules.def over loads, frames of every kind and unloads, with a typed verdict per rule.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

struct ValidatorRule {
  /// The rule's name; the test plugin that breaks it is breaks_<name>.
  std::string_view name;
  /// The check that judges it.
  std::string_view check;
  std::string_view reports;
  std::string_view brokenBy;
};

/// Every rule, in the order of ValidatorRules.def.
std::span<const ValidatorRule> validatorRules();

/// How the running program counts heap allocations (its own operator new sees those of the modules it
/// loads): the count so far, or nullptr and why it cannot.
struct AllocationCounter {
  long (*made)() = nullptr;
  std::string_view cannot;
};

/// One rule's verdict on a module, and what goes with it: the finding of a failed rule, the reason a rule was
/// skipped, the signal that ended a crashed one.
struct Verdict {
  enum class Status { Passed, Failed, Skipped, Crashed };
  const ValidatorRule* rule;
  Status status;
  std::string detail;
};

/// "passed", "failed", "skipped" or "crashed".
std::string_view nameOf(Verdict::Status status);

/// Judges a module by every rule, in a child process where the system makes one (POSIX), so that a module
/// that crashes ends that process, not the caller. First it draws every kind of frame (free play, training,
/// replay, spectating, frozen while the ball explodes, free play without a ball, the main menu) and unloads:
/// a module that dies there has crashed by the first rule, and the others are skipped. Then, in a fresh host,
/// it loads the module, shows the readout, draws every kind of frame again and unloads it, and judges the
/// other rules by what that run showed. Findings are this run's results: the host's reporter is not told of
/// them. Throws std::runtime_error, with the reason, when the module cannot be loaded.
std::vector<Verdict> validate(const std::filesystem::path& module, AllocationCounter allocations);

}  // namespace standin
