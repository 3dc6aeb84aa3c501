// korvindel-validate: the validator's rules listed, or a plugin module judged by them, one line per rule.
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "common/Quote.h"
#include "common/System.h"
#include "standin/validator/Allocations.h"
#include "standin/validator/KorvindelProfile.h"
#include "standin/validator/Validator.h"

namespace {

constexpr std::string_view kUsage =
    "usage: korvindel-validate [--limit SECONDS] MODULE   judge a plugin module by every rule, one line per "
    "rule\n"
    "       korvindel-validate --list                     the rules: name, check, what it reports\n";

constexpr std::string_view kHelp =
    "\nEach run of the module goes on in a child process of its own (on Linux), which the module may crash,\n"
    "hang or end without touching the validator: --limit bounds each run, 60 seconds unless given (1 to\n"
    "3600), and at its end every process the run started is ended. What the module writes to its standard\n"
    "output and error comes after the verdicts, on standard error, each line marked and every text from the\n"
    "module escaped.\n"
    "\n"
    "Exit status: 0 when no rule failed or crashed, 1 when one did, 2 for a wrong command line, 3 when the\n"
    "module cannot be judged (it cannot be loaded, say) or the report cannot be written.\n";

int usage(std::string_view message) {
  std::fprintf(stderr, "korvindel-validate: %.*s\n%.*s", static_cast<int>(message.size()), message.data(),
               static_cast<int>(kUsage.size()), kUsage.data());
  return 2;
}

// Everything printed has reached standard output, or the report is lost: status 3, with the reason.
int finish(int status) {
  errno = 0;
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
  std::string why = errno != 0 ? common::systemReason(errno) : std::string("the output failed");
  std::fprintf(stderr, "korvindel-validate: cannot write the report: %s\n", why.c_str());
  return 3;
}

void print(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

// What the module wrote, line by line on standard error, escaped and marked as the module's.
void showOutput(const std::string& output) {
  if (output.empty()) return;
  std::fputs("korvindel-validate: the module wrote to its standard output and error:\n", stderr);
  std::size_t start = 0;
  while (start < output.size()) {
    std::size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    std::fprintf(stderr, "  module| %s\n",
                 common::escape(std::string_view(output).substr(start, end - start)).c_str());
    start = end + 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  os::protectStandardDescriptors();
  // Stopped by a signal, the validator takes the run it watches with it; a broken pipe is a report that
  // cannot be written.
  os::endCleanlyOnSignals(&os::endChildRunsNow);
  std::chrono::milliseconds limit = standin::kRunLimit;
  const char* module = nullptr;
  bool list = false;
  for (int at = 1; at < argc; ++at) {
    std::string_view argument = argv[at];
    if (argument == "--help" || argument == "-h") {
      print(kUsage);
      print(kHelp);
      return finish(0);
    } else if (argument == "--list") {
      list = true;
    } else if (argument == "--limit") {
      if (at + 1 == argc) return usage("--limit needs a number of seconds");
      std::string_view text = argv[++at];
      int seconds = 0;
      auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
      if (error != std::errc() || end != text.data() + text.size() || seconds < 1 || seconds > 3600) {
        return usage("--limit takes a whole number of seconds from 1 to 3600, not " + common::quote(text));
      }
      limit = std::chrono::seconds(seconds);
    } else if (argument.starts_with("-")) {
      return usage("unknown option " + common::quote(argument));
    } else if (module != nullptr) {
      return usage("one module at a time");
    } else {
      module = argv[at];
    }
  }
  if (list == (module != nullptr)) return usage(list ? "--list takes no module" : "no module to judge");
  if (list) {
    for (const standin::ValidatorRule& rule : standin::validatorRules()) {
      std::printf("%-22.*s %.*s: %.*s\n", static_cast<int>(rule.name.size()), rule.name.data(),
                  static_cast<int>(rule.check.size()), rule.check.data(),
                  static_cast<int>(rule.reports.size()), rule.reports.data());
    }
    return finish(0);
  }
  try {
    standin::Validation validation =
        standin::validate(module, standin::kKorvindel, allocations::counter(), limit);
    bool allPassed = true;
    for (const standin::Verdict& verdict : validation.verdicts) {
      std::string_view status = standin::nameOf(verdict.status);
      std::printf("%-8.*s %.*s%s%s\n", static_cast<int>(status.size()), status.data(),
                  static_cast<int>(verdict.rule->name.size()), verdict.rule->name.data(),
                  verdict.detail.empty() ? "" : ": ", common::escape(verdict.detail).c_str());
      allPassed = allPassed && verdict.status != standin::Verdict::Status::Failed &&
                  verdict.status != standin::Verdict::Status::Crashed;
    }
    showOutput(validation.output);
    return finish(allPassed ? 0 : 1);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "korvindel-validate: cannot judge %s: %s\n", common::quote(module).c_str(),
                 common::escape(error.what()).c_str());
    return 3;
  }
}
