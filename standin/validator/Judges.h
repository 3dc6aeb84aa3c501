// The validator's rules (ValidatorRules.def) and each one's judge of what a run observed.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "standin/validator/Observation.h"

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

/// The rule of that name; nullptr for none.
const ValidatorRule* ruleNamed(std::string_view name);

/// What a rule's check found in a run (empty when nothing), or why it could not look (empty when it could).
struct Judged {
  std::string found;
  std::string unseen;
};

/// The rule's judge of what the run observed. A rule that judges how a run ends finds nothing here: a run
/// that reported has ended as it should.
Judged judge(const ValidatorRule& rule, const Observed& seen);

}  // namespace standin
