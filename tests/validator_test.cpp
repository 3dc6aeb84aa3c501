// The stand-in host as a plugin validator: the real plugin and a well-behaved test plugin pass every rule,
// and the test plugin built to break each rule (breaks_<rule>) is found by that rule alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "Allocations.h"
#include "Validator.h"

namespace {

standin::AllocationCounter allocationCounter() {
#if defined(_WIN32)
  return {nullptr, "each DLL carries its own C++ runtime, whose allocations this program cannot count"};
#else
  return {&allocations::made, ""};
#endif
}

std::filesystem::path testPlugin(const std::string& name) {
  std::filesystem::path path = TEST_PLUGIN;
  return path.replace_filename(name + path.extension().string());
}

TEST(Validator, FindsEachBrokenRuleByThatRuleAloneAndTheRealPluginByNone) {
  using Status = standin::Verdict::Status;
  // Each module, and the rule it breaks (none for the first two).
  std::vector<std::pair<std::filesystem::path, std::string>> modules = {{KORVINDEL_MODULE, ""},
                                                                        {testPlugin("test_plugin"), ""}};
  for (const standin::ValidatorRule& rule : standin::validatorRules()) {
#if defined(_WIN32)
    if (rule.name == standin::validatorRules().front().name) {
      std::cout << "Not run here: the " << rule.check
                << " check, a crash is caught only in a child process\n";
      continue;
    }
#endif
    modules.push_back({testPlugin("breaks_" + std::string(rule.name)), std::string(rule.name)});
  }
  for (const auto& [module, broken] : modules) {
    SCOPED_TRACE(module.filename().string());
    bool crashed = false;
    for (const standin::Verdict& verdict : standin::validate(module, allocationCounter())) {
      SCOPED_TRACE(verdict.rule->name);
      bool skippedForTheCrash = verdict.detail.starts_with("not run: the module crashed");
      if (verdict.status == Status::Skipped && !skippedForTheCrash) {
        // What this build cannot check, the rule's own test plugin included.
        if (module == KORVINDEL_MODULE) {
          std::cout << "Not run here: the " << verdict.rule->check << " check, " << verdict.detail << '\n';
        }
      } else if (verdict.rule->name == broken) {
        crashed = verdict.status == Status::Crashed;
        EXPECT_TRUE(verdict.status == Status::Failed || crashed)
            << "the rule misses what its test plugin breaks";
        EXPECT_NE(verdict.detail, "");
      } else if (skippedForTheCrash) {
        EXPECT_TRUE(crashed) << "skipped for a crash that no rule reported";
      } else {
        EXPECT_EQ(verdict.status, Status::Passed) << verdict.detail;
      }
    }
  }
}

}  // namespace
