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
  // Each module, and the rule it breaks (none for the first two).
  std::vector<std::pair<std::filesystem::path, std::string>> modules = {{KORVINDEL_MODULE, ""},
                                                                        {testPlugin("test_plugin"), ""}};
  for (const standin::ValidatorRule& rule : standin::validatorRules()) {
    modules.push_back({testPlugin("breaks_" + std::string(rule.name)), std::string(rule.name)});
  }
  for (const auto& [module, broken] : modules) {
    SCOPED_TRACE(module.filename().string());
    for (const standin::Verdict& verdict : standin::validate(module, allocationCounter())) {
      SCOPED_TRACE(verdict.rule->name);
      if (!verdict.notRun.empty()) {
        if (module == KORVINDEL_MODULE) {
          std::cout << "Not run here: the " << verdict.rule->check << " check, " << verdict.notRun << '\n';
        }
      } else if (verdict.rule->name == broken) {
        EXPECT_NE(verdict.found, "") << "the rule misses what its test plugin breaks";
      } else {
        EXPECT_EQ(verdict.found, "");
      }
    }
  }
}

}  // namespace
