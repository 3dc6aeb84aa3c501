// The stand-in host as a plugin validator: what a plugin module does to the process it runs in, judged by the
// rules of ValidatorRules.def over one load, frames of every kind and one unload.
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

/// One rule's verdict on a module: what the check found (empty when the module passed), or why this build
/// cannot make the check (empty when it can).
struct Verdict {
  const ValidatorRule* rule;
  std::string found;
  std::string notRun;
};

/// Loads the module into a fresh host, shows the readout, draws every kind of frame (free play, training,
/// replay, spectating, frozen while the ball explodes, free play without a ball, the main menu), unloads it,
/// and judges it by every rule. Findings are this run's results: the host's reporter is not told of them.
std::vector<Verdict> validate(const std::filesystem::path& module, AllocationCounter allocations);

}  // namespace standin
