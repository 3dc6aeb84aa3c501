// Running part of the validator's work in a child process of its own, where the module it judges can crash,
// hang, exit, start threads and helpers, or write where it likes, and the validator still sees how the run
// ended and believes no report that plugin code could have written.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>

namespace standin {

/// What a run sends back when its work is done.
struct RunResult {
  enum class Kind {
    /// What the run observed, for the validator to judge. Believed only when it arrives after the judged
    /// module left the run's process, so that no plugin code can have written it.
    Report,
    /// A rule the module broke, which the run saw itself (an exception it let out, a thread left running).
    /// Believed as it stands: a module that forges a failure gains nothing by it.
    Failure,
    /// The module cannot be judged (it is no plugin module, say).
    CannotJudge,
  };
  Kind kind;
  /// For a failure: the name of the rule it breaks.
  std::string rule;
  std::string text;
};

/// How a run ended, as the validator saw it from outside.
struct RunOutcome {
  enum class End {
    /// The run's report, believed.
    Reported,
    /// The failure that the run reported (rule and text).
    Failed,
    /// The module cannot be judged (text).
    CannotJudge,
    /// The run ended otherwise than by finishing its work and reporting: by a signal, or by plugin code that
    /// exited (text says how).
    Crashed,
    /// The run was still going when its time ran out (text says the limit).
    Hung,
    /// A report arrived while plugin code could still have written it (text says how).
    Forged,
  };
  End end;
  std::string rule;
  std::string text;
  /// What the run wrote to its standard output and error, as it was written, at most kKeptOutput bytes.
  std::string output;
};

inline constexpr std::size_t kKeptOutput = 64 * 1024;

/// Runs `work` in a child process, the leader of a process group of its own, with its standard input empty
/// and its standard output and error captured, for at most `limit`; then ends that whole group, and every
/// process the run started that left it. The run's report counts only while `module`, the judged module,
/// is no longer mapped into the run's process. `work` must not throw. Where the system cannot isolate a
/// run so (anywhere but Linux), the work runs in this process instead, without a limit and without
/// capturing its output; a crash then ends the caller.
RunOutcome runIsolated(const std::filesystem::path& module, std::chrono::milliseconds limit,
                       const std::function<RunResult()>& work);

/// Whether runs are isolated in child processes here.
bool runsIsolated();

}  // namespace standin
