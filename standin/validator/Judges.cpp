#include "standin/validator/Judges.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "common/Joined.h"
#include "common/System.h"
#include "src/host/BakkesModPlugin.h"

namespace standin {
namespace {

std::string found(const Observed& seen, Finding::Check check) {
  std::vector<std::string_view> messages;
  for (const Finding& finding : seen.findings) {
    if (finding.check == check) messages.push_back(finding.message);
  }
  return common::joined(messages, "; ");
}

// Each rule's check of what a run showed, named as the rule.
namespace judge {

// The rules that judge how a run ends: a run that reported ended as it should.
Judged crashes(const Observed&) { return {}; }
Judged hangs(const Observed&) { return {}; }
Judged throws(const Observed&) { return {}; }
Judged forges_its_report(const Observed&) { return {}; }
Judged leaves_a_thread(const Observed& seen) {
  return {found(seen, Finding::Check::LeftThread),
          os::threads() == 0 ? "this system does not say how many threads a process runs" : ""};
}

Judged misdescribes_itself(const Observed& seen) {
  std::vector<std::string> faults;
  if (seen.apiVersion != kPluginApiVersion) {
    faults.push_back("its descriptor names API version " + std::to_string(seen.apiVersion) +
                     ", the host's is " + std::to_string(kPluginApiVersion));
  }
  if (!seen.entriesAreExports) {
    faults.emplace_back("its descriptor's entry points are not its exports getPlugin and deleteMe");
  }
  return {common::joined(faults, "; "), ""};
}

Judged keeps_a_wrapper(const Observed& seen) {
  if (seen.wrappersKeptByFrames == 0 && seen.wrappersAfterUnload == 0) return {};
  return {"host wrappers outlive the call that got them: " + std::to_string(seen.wrappersKeptByFrames) +
              " after the frames, " + std::to_string(seen.wrappersAfterUnload) + " after unload",
          ""};
}

Judged allocates_per_frame(const Observed& seen) {
  std::string frames = common::joined(seen.allocatingFrames, ", ");
  return {frames.empty() ? "" : "frames allocate: " + frames, seen.allocationsUnseen};
}

Judged leaves_a_drawable(const Observed& seen) { return {found(seen, Finding::Check::LeftRegistered), ""}; }

Judged calls_after_delete(const Observed& seen) { return {found(seen, Finding::Check::CallAfterDelete), ""}; }

Judged changes_global_state(const Observed& seen) { return {found(seen, Finding::Check::GlobalState), ""}; }

Judged makes_a_system_call(const Observed& seen) {
  std::vector<std::string> faults;
  if (!seen.systemCalls.empty()) {
    faults.push_back(
        "frames make system calls, by number: " +
        common::joined(seen.systemCalls, ", ", [](long number) { return std::to_string(number); }));
  }
  if (!seen.systemCallsCutShort.empty()) faults.push_back(seen.systemCallsCutShort);
  return {common::joined(faults, "; "), seen.systemCallsUnseen};
}

}  // namespace judge

constexpr ValidatorRule kRules[] = {
#define VALIDATOR_RULE(name, check, reports, brokenBy) {#name, check, reports, brokenBy},
#include "standin/validator/ValidatorRules.def"
#undef VALIDATOR_RULE
};

constexpr Judged (*kJudges[])(const Observed&) = {
#define VALIDATOR_RULE(name, check, reports, brokenBy) &judge::name,
#include "standin/validator/ValidatorRules.def"
#undef VALIDATOR_RULE
};

}  // namespace

std::span<const ValidatorRule> validatorRules() { return kRules; }

const ValidatorRule* ruleNamed(std::string_view name) {
  auto rule = std::find_if(std::begin(kRules), std::end(kRules),
                           [&](const ValidatorRule& candidate) { return candidate.name == name; });
  return rule == std::end(kRules) ? nullptr : &*rule;
}

Judged judge(const ValidatorRule& rule, const Observed& seen) {
  return kJudges[static_cast<std::size_t>(&rule - std::begin(kRules))](seen);
}

}  // namespace standin
