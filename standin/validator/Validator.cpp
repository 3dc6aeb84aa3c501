#include "standin/validator/Validator.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <optional>
#include <stdexcept>
#include <utility>

#include "common/System.h"
#include "standin/loader/DynamicLibrary.h"
#include "standin/loader/PluginHarness.h"
#include "standin/validator/Isolation.h"

namespace standin {
namespace {

// What a run sends once its module is unloaded: its report, or the thread the plugin left running, which kept
// the module mapped (so that the report could as well be the module's).
RunResult afterUnload(const std::vector<Finding>& findings, std::string report) {
  for (const Finding& finding : findings) {
    if (finding.check == Finding::Check::LeftThread) {
      return {RunResult::Kind::Failure, "leaves_a_thread", finding.message};
    }
  }
  return {RunResult::Kind::Report, "", std::move(report)};
}

// A run's work, with what escapes it: a module that cannot be loaded cannot be judged, and any other
// exception comes from plugin code (a static constructor, onLoad, a frame, onUnload), a LoadError too once
// the plugin is loaded. It is caught while the run's harness still holds the module, whose own runtime the
// exception may live in.
RunResult judgedRun(const PluginHarness& harness, const std::function<RunResult()>& work) {
  try {
    return work();
  } catch (const LoadError& error) {
    if (harness.plugin) {
      return {RunResult::Kind::Failure, "throws",
              std::string("plugin code let an exception out: ") + error.what()};
    }
    return {RunResult::Kind::CannotJudge, "", error.what()};
  } catch (const std::exception& error) {
    return {RunResult::Kind::Failure, "throws",
            std::string("plugin code let an exception out: ") + error.what()};
  } catch (...) {
    return {RunResult::Kind::Failure, "throws",
            "plugin code let out an exception that is not a std::exception"};
  }
}

// The first run: every kind of frame, and an unload.
RunResult survive(const std::filesystem::path& module, const PluginProfile& profile) {
  PluginHarness harness;
  return judgedRun(harness, [&] {
    loadSwitchedOn(harness, module, profile);
    drawEveryKind(harness.host, profile);
    harness.plugin->unload();
    return afterUnload(harness.host.findings(), "");
  });
}

// The second run: what the rules after those on how a run ends judge.
RunResult observeInRun(const std::filesystem::path& module, const PluginProfile& profile,
                       AllocationCounter allocations) {
  PluginHarness harness;
  return judgedRun(harness, [&] {
    Observed seen = observe(harness, module, profile, allocations);
    return afterUnload(seen.findings, encoded(seen));
  });
}

// The rule that judges how a run ended, for an end other than a report, and its verdict.
Verdict verdictOnTheEnd(const RunOutcome& outcome) {
  using End = RunOutcome::End;
  switch (outcome.end) {
    case End::Crashed:
      return {ruleNamed("crashes"), Verdict::Status::Crashed, outcome.text};
    case End::Hung:
      return {ruleNamed("hangs"), Verdict::Status::Failed, outcome.text + "; its processes were ended"};
    case End::Forged:
      return {ruleNamed("forges_its_report"), Verdict::Status::Failed, outcome.text};
    case End::Failed:
      if (const ValidatorRule* rule = ruleNamed(outcome.rule)) {
        return {rule, Verdict::Status::Failed, outcome.text};
      }
      return {ruleNamed("forges_its_report"), Verdict::Status::Failed,
              "the run named a rule the validator does not have"};
    case End::Reported:
    case End::CannotJudge:
      break;
  }
  throw std::logic_error("the run reported");
}

// Settles a run that did not report: its rule's verdict, and every rule still unjudged skipped for it.
void settleUnreported(std::vector<Verdict>& verdicts, const RunOutcome& outcome, const std::string& run) {
  if (outcome.end == RunOutcome::End::CannotJudge) throw std::runtime_error(outcome.text);
  Verdict ended = verdictOnTheEnd(outcome);
  for (Verdict& verdict : verdicts) {
    if (verdict.rule == ended.rule) {
      verdict = ended;
    } else if (verdict.status == Verdict::Status::Skipped && verdict.detail.empty()) {
      verdict.detail = "not judged: " + run + " ended as " + std::string(ended.rule->name) + " says";
    }
  }
}

Verdict::Status statusOf(const Judged& judged) {
  if (!judged.found.empty()) return Verdict::Status::Failed;
  return judged.unseen.empty() ? Verdict::Status::Passed : Verdict::Status::Skipped;
}

}  // namespace

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

Validation validate(const std::filesystem::path& module, const PluginProfile& profile,
                    AllocationCounter allocations, std::chrono::milliseconds limit) {
  struct QuietReporter {
    void (*saved)(const Finding&) = Host::reporter();
    QuietReporter() { Host::setReporter(nullptr); }
    ~QuietReporter() { Host::setReporter(saved); }
  } quiet;
  Validation validation;
  for (const ValidatorRule& rule : validatorRules())
    validation.verdicts.push_back({&rule, Verdict::Status::Skipped, ""});

  // Every run must load the same file: a module that puts another in its place while it is judged would have
  // the other judged.
  const std::optional<os::FileIdentity> file = os::identityOf(module);
  RunOutcome survival = runIsolated(module, limit, [&] { return survive(module, profile); });
  validation.output = survival.output;
  if (survival.end != RunOutcome::End::Reported) {
    settleUnreported(validation.verdicts, survival, "the run of every kind of frame");
    return validation;
  }

  if (os::identityOf(module) != file) throw std::runtime_error("its file was replaced while it was judged");
  RunOutcome observed =
      runIsolated(module, limit, [&] { return observeInRun(module, profile, allocations); });
  validation.output += observed.output;
  std::optional<Observed> seen;
  if (observed.end == RunOutcome::End::Reported) {
    seen = decoded(observed.text);
    if (!seen) observed = {RunOutcome::End::Forged, "", "the run's report cannot be read", ""};
  }
  if (!seen) {
    settleUnreported(validation.verdicts, observed, "the measuring run");
    return validation;
  }
  for (Verdict& verdict : validation.verdicts) {
    Judged judged = judge(*verdict.rule, *seen);
    verdict.status = statusOf(judged);
    verdict.detail = verdict.status == Verdict::Status::Failed ? judged.found : judged.unseen;
  }
  return validation;
}

}  // namespace standin
