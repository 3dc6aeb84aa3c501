// The stand-in host as a plugin validator: the real plugin and a well-behaved test plugin pass every rule,
// the test plugin built to break each rule (breaks_<rule>) is found by that rule alone, each module built to
// attack the validator (hostile_<name>) is found by the rules its table names, and the front end reports all
// of it without a word of the module's passing for its own.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/Quote.h"
#include "standin/validator/Allocations.h"
#include "standin/validator/Isolation.h"
#include "standin/validator/KorvindelProfile.h"
#include "standin/validator/Validator.h"
#include "tests/support/Platform.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestPlugins.h"

namespace {

using ::testing::ContainsRegex;
using ::testing::HasSubstr;

// The rules whose broken plugins end or stall the process they run in, write to it, or leave a thread that
// runs in their unmapped code where the system does not say how many threads run: only a run in a child
// process of its own survives them.
bool needsIsolation(std::string_view rule) {
  return rule == "crashes" || rule == "hangs" || rule == "forges_its_report" || rule == "leaves_a_thread";
}

// A module's verdicts, judged as the plugin the profile describes: exactly the rules named fail or crash;
// every other passes, or is skipped, because this build cannot see what it judges or because a run ended as
// one of the named rules says.
void expectFoundBy(const std::filesystem::path& module, const std::vector<std::string>& rules,
                   std::chrono::milliseconds limit = standin::kRunLimit,
                   const standin::PluginProfile& profile = kTestPlugins) {
  using Status = standin::Verdict::Status;
  SCOPED_TRACE(module.filename().string());
  standin::Validation validation = standin::validate(module, profile, allocations::counter(), limit);
  for (const standin::Verdict& verdict : validation.verdicts) {
    SCOPED_TRACE(verdict.rule->name);
    bool named = std::find(rules.begin(), rules.end(), verdict.rule->name) != rules.end();
    bool notJudged = verdict.detail.starts_with("not judged");
    if (verdict.status == Status::Skipped && !notJudged) {
      // What this build cannot see, for the module that breaks the rule too.
      if (module == KORVINDEL_MODULE) {
        std::cout << "Not run here: the " << verdict.rule->check << " check, " << verdict.detail << '\n';
      }
    } else if (named) {
      EXPECT_TRUE(verdict.status == Status::Failed || verdict.status == Status::Crashed)
          << "the rule misses what the module does: " << nameOf(verdict.status) << " " << verdict.detail;
      EXPECT_NE(verdict.detail, "");
    } else if (verdict.status == Status::Skipped) {
      EXPECT_FALSE(rules.empty()) << "skipped for a run that no rule reported: " << verdict.detail;
    } else {
      EXPECT_EQ(verdict.status, Status::Passed) << verdict.detail;
    }
  }
}

TEST(Validator, FindsEachBrokenRuleByThatRuleAloneAndTheRealPluginByNone) {
  expectFoundBy(KORVINDEL_MODULE, {}, standin::kRunLimit, standin::kKorvindel);
  expectFoundBy(testPlugin("test_plugin"), {});
  for (const standin::ValidatorRule& rule : standin::validatorRules()) {
    if (!standin::runsIsolated() && needsIsolation(rule.name)) {
      std::cout << "Not run here: the " << rule.check
                << " check, whose test plugin needs a process of its own\n";
      continue;
    }
    // A run that hangs is found when its time runs out, which need not be long for a loop without end.
    auto limit = rule.name == "hangs" ? std::chrono::seconds(2) : standin::kRunLimit;
    expectFoundBy(testPlugin("breaks_" + std::string(rule.name)), {std::string(rule.name)}, limit);
  }
}

// What the hostile modules read: a folder under a name that clears a terminal's screen and returns its
// cursor.
class HostileFolder {
 public:
  explicit HostileFolder(const TempFolder& folder) : path_(folder / "\x1b[2J\rpassed") {
    std::filesystem::create_directory(path_);
    set(path_.string());
  }
  ~HostileFolder() { set(""); }
  HostileFolder(const HostileFolder&) = delete;
  HostileFolder& operator=(const HostileFolder&) = delete;

 private:
  static void set(const std::string& value) {
#if defined(_WIN32)
    _putenv_s("KORVINDEL_HOSTILE_FOLDER", value.c_str());
#else
    setenv("KORVINDEL_HOSTILE_FOLDER", value.c_str(), 1);
#endif
  }

  std::filesystem::path path_;
};

KORVINDEL_POSIX_TEST(Validator, FindsEachHostileModuleByItsRulesAndLeavesNothingOfItRunning,
                     "runs are isolated in child processes only on Linux") {
  // The processes still running whose command line holds the text.
  auto processesRunning = [](std::string_view marker) {
    std::vector<std::string> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
      std::string line = readFile(entry.path() / "cmdline");
      std::replace(line.begin(), line.end(), '\0', ' ');
      if (line.find(marker) != std::string::npos)
        found.push_back(entry.path().filename().string() + ": " + line);
    }
    return found;
  };
  auto words = [](std::string_view text) {
    std::istringstream stream{std::string(text)};
    std::vector<std::string> result;
    for (std::string word; stream >> word;) result.push_back(word);
    return result;
  };
  struct Hostile {
    std::string name;
    std::vector<std::string> rules;
  };
  const Hostile hostiles[] = {
#define HOSTILE_PLUGIN(name, rules, what) {#name, words(rules)},
#include "tests/plugins/HostilePlugins.def"
#undef HOSTILE_PLUGIN
  };
  TempFolder folder;
  HostileFolder hostileFolder(folder);
  // Descriptors the caller holds open, as a program started with a log or a report redirected holds one:
  // several, so that some have numbers above those the run's own ends take.
  std::ofstream callersFiles[4];
  for (std::ofstream& file : callersFiles) file.open(folder / "callers-file.txt", std::ios::app);
  for (const Hostile& hostile : hostiles) {
    if (KORVINDEL_ADDRESS_SANITIZER && hostile.name == "hides_a_thread") {
      std::cout
          << "Not run here: hostile_hides_a_thread, which takes away the descriptors that the sanitizer's "
             "runtime needs too\n";
      continue;
    }
    bool hangs = std::find(hostile.rules.begin(), hostile.rules.end(), "hangs") != hostile.rules.end();
    expectFoundBy(testPlugin("hostile_" + hostile.name), hostile.rules,
                  hangs ? std::chrono::seconds(2) : standin::kRunLimit);
    EXPECT_THAT(processesRunning("2147483.25"), ::testing::IsEmpty())
        << hostile.name << " left a helper running";
  }
  for (std::ofstream& file : callersFiles) file.close();
  EXPECT_EQ(readFile(folder / "callers-file.txt"), "") << "a module wrote to a descriptor of the caller's";
}

KORVINDEL_POSIX_TEST(ValidatorFrontEnd, ReportsEveryModuleWithAStatusAndNoWordOfTheModulesAsItsOwn,
                     "runs the program through a POSIX shell") {
  TempFolder folder;
  HostileFolder hostileFolder(folder);
  auto module = [](const std::string& name) { return "'" + testPlugin(name).string() + "'"; };
  const std::string real = "'" + std::string(KORVINDEL_MODULE) + "'";
  // Folders whose paths are longer than a short buffer holds, to work in and to be led to.
  const std::string deep = (folder / std::string(150, 'd')).string();
  struct Case {
    std::string arguments;
    int status;
    std::string out;
    std::string err = "";
    std::string before = "";
  };
  const Case cases[] = {
      {"--help", 0, "usage: korvindel-validate"},
      {"--list", 0, "crashes"},
      {real, 0, "passed   crashes"},
      {module("breaks_allocates_per_frame"), 1, "failed   allocates_per_frame: frames allocate"},
      {module("breaks_crashes"), 1, "crashed  crashes: ended"},
      {"--limit 1 " + module("hostile_sleeps_in_a_frame"), 1,
       "failed   hangs: the run did not end within 1 s"},
      {module("hostile_throws_terminal_codes"), 1,
       "failed   throws: plugin code let an exception out: \\x1b[2J\\x0dpassed"},
      {module("hostile_changes_state_when_opened"), 1,
       "-> " + folder.path().string() + "/\\x1b[2J\\x0dpassed"},
      {module("hostile_changes_state_when_opened"), 1, "-> " + deep + "/to", "",
       "mkdir -p " + deep + "/from " + deep + "/to && cd " + deep +
           "/from && KORVINDEL_HOSTILE_FOLDER=" + deep + "/to "},
      {module("hostile_prints_verdicts"), 0, "passed   changes_global_state",
       "  module| \\x1b[2J\\x0dpassed   throws"},
      {module("hostile_throws_a_load_error"), 1,
       "failed   throws: plugin code let an exception out: cannot load plugin: the module is fine"},
      {module("hostile_allocates_aligned_in_a_frame"), 1, "failed   allocates_per_frame: frames allocate"},
      // Its frames crash under the count of system calls, where the validator's own crash handler would be
      // trapped with them.
      {"--limit 5 " + module("hostile_grows_its_memory"), 1, "failed   allocates_per_frame"},
      // Waiting for a run whose outputs are closed costs the validator no processor time.
      {"--limit 2 " + module("hostile_closes_its_outputs"), 1, "failed   hangs", "", "ulimit -t 1 && "},
      {"./mine.so", 3, "", "cannot judge './mine.so': its file was replaced while it was judged",
       "cp " + module("hostile_replaces_its_own_file") + " mine.so && cp " + module("test_plugin") +
           " benign.so && "},
      {"--help >/dev/full", 3, "", "cannot write the report: No space left on device"},
      // A pipe whose reader is gone before the report is written.
      {real + " >&$w", 3, "", "cannot write the report: Broken pipe", "exec {w}> >(:) && wait $! && "},
      {real + " >&-", 3, "", "cannot write the report: Bad file descriptor"},
      {"'" + (folder / "missing.so").string() + "'", 3, "", "cannot judge"},
      {"", 2, "", "no module to judge"},
      {"--limit 0 " + real, 2, "", "--limit takes a whole number of seconds from 1 to 3600"},
      {"--verbose " + real, 2, "", "unknown option '--verbose'"},
  };
  // Whatever the module wrote reaches the terminal escaped: no escape or carriage return of its own.
  auto expectNoTerminalCodes = [](const std::string& text) {
    EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
    EXPECT_EQ(text.find('\r'), std::string::npos) << text;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    ProgramRun run = runProgram(KORVINDEL_VALIDATE, folder.path(), c.arguments, c.before);
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    EXPECT_THAT(run.out, HasSubstr(c.out));
    EXPECT_THAT(run.err, HasSubstr(c.err));
    expectNoTerminalCodes(run.out);
    expectNoTerminalCodes(run.err);
    // One line per rule, and nothing of the module's among them.
    if (c.status <= 1 && !c.arguments.starts_with("--")) {
      std::size_t lines = static_cast<std::size_t>(std::count(run.out.begin(), run.out.end(), '\n'));
      EXPECT_EQ(lines, standin::validatorRules().size()) << run.out;
    }
  }
}

}  // namespace
