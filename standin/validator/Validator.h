// The stand-in host as a plugin validator: what a plugin module does to the process it runs in, judged by the
// rules of ValidatorRules.def over loads, frames of every kind and unloads, with a typed verdict per rule.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "standin/validator/Allocations.h"
#include "standin/validator/Judges.h"
#include "standin/validator/Profile.h"

namespace standin {

/// One rule's verdict on a module, and what goes with it: the finding of a failed rule, the reason a rule was
/// skipped, how a crashed run ended. Every detail is the module's doing as it was found: shown, it must be
/// escaped.
struct Verdict {
  enum class Status { Passed, Failed, Skipped, Crashed };
  const ValidatorRule* rule;
  Status status;
  std::string detail;
};

/// "passed", "failed", "skipped" or "crashed".
std::string_view nameOf(Verdict::Status status);

/// A module's verdicts, one per rule in the table's order, and what its runs wrote to their standard output
/// and error, as written.
struct Validation {
  std::vector<Verdict> verdicts;
  std::string output;
};

/// How long one run of a module may take by default.
inline constexpr std::chrono::seconds kRunLimit{60};

/// Judges a module, the plugin the profile describes, by every rule, in two runs, each in a child process of
/// its own where the system makes one (see runIsolated): the module may crash, hang, exit or write where it
/// likes without touching the caller. The first run draws every kind of frame and unloads; when it ends
/// otherwise than by reporting, the rule for how it ended says so and every other rule is skipped. The second
/// run, in a fresh host, observes what the other rules judge. Findings are the verdicts': the host's reporter
/// is not told of them. Throws std::runtime_error, with the reason, when the module cannot be judged (it
/// cannot be loaded, say).
Validation validate(const std::filesystem::path& module, const PluginProfile& profile,
                    AllocationCounter allocations, std::chrono::milliseconds limit = kRunLimit);

}  // namespace standin
