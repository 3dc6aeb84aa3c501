// korvindel-validate: the validator's rules listed, or a plugin module judged by them, one line per rule.
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "Quote.h"
#include "Validator.h"

namespace {

int usage() {
  std::fputs(
      "usage: korvindel-validate MODULE   judge a plugin module by every rule, one line per rule\n"
      "       korvindel-validate --list   the rules: name, check, what it reports\n"
      "Exit status: 0 when no rule failed or crashed, 1 when one did, 2 for a wrong command line,\n"
      "3 when the module cannot be judged (it cannot be loaded, say).\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return usage();
  std::string_view argument = argv[1];
  if (argument == "--list") {
    for (const standin::ValidatorRule& rule : standin::validatorRules()) {
      std::printf("%-22.*s %.*s: %.*s\n", static_cast<int>(rule.name.size()), rule.name.data(),
                  static_cast<int>(rule.check.size()), rule.check.data(),
                  static_cast<int>(rule.reports.size()), rule.reports.data());
    }
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 3;
  }
  if (argument.starts_with("-")) return usage();
  try {
    // Counting the module's allocations needs a program whose operator new counts them, as the tests' does.
    auto verdicts = standin::validate(argv[1], {nullptr, "this program does not count allocations"});
    bool allPassed = true;
    for (const standin::Verdict& verdict : verdicts) {
      std::string_view status = standin::nameOf(verdict.status);
      std::printf("%-8.*s %.*s%s%s\n", static_cast<int>(status.size()), status.data(),
                  static_cast<int>(verdict.rule->name.size()), verdict.rule->name.data(),
                  verdict.detail.empty() ? "" : ": ", verdict.detail.c_str());
      allPassed = allPassed && verdict.status != standin::Verdict::Status::Failed &&
                  verdict.status != standin::Verdict::Status::Crashed;
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) return 3;
    return allPassed ? 0 : 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "korvindel-validate: cannot judge %s: %s\n", standin::quote(argv[1]).c_str(),
                 error.what());
    return 3;
  }
}
