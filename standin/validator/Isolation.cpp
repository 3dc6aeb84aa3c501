#include "standin/validator/Isolation.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/Quote.h"
#include "common/System.h"

namespace standin {
namespace {

// One message: its kind, the rule, a tab, the text.
constexpr char kKinds[] = {'R', 'F', 'E'};
// What one message holds at the most; a longer text is cut.
constexpr std::size_t kMessageSize = 64 * 1024;

std::string encoded(const RunResult& result) {
  std::string message(1, kKinds[static_cast<int>(result.kind)]);
  message += result.rule + '\t' + result.text;
  if (message.size() > kMessageSize) message.resize(kMessageSize);
  return message;
}

std::optional<RunResult> decoded(std::string_view message) {
  std::size_t tab = message.find('\t');
  if (message.empty() || tab == std::string_view::npos) return std::nullopt;
  const char* kind = std::find(std::begin(kKinds), std::end(kKinds), message[0]);
  if (kind == std::end(kKinds)) return std::nullopt;
  return RunResult{static_cast<RunResult::Kind>(kind - std::begin(kKinds)),
                   std::string(message.substr(1, tab - 1)), std::string(message.substr(tab + 1))};
}

RunOutcome outcomeOf(const RunResult& result) {
  switch (result.kind) {
    case RunResult::Kind::Report:
      return {RunOutcome::End::Reported, "", result.text, ""};
    case RunResult::Kind::Failure:
      return {RunOutcome::End::Failed, result.rule, result.text, ""};
    case RunResult::Kind::CannotJudge:
      break;
  }
  return {RunOutcome::End::CannotJudge, "", result.text, ""};
}

RunResult lastResort(const std::function<RunResult()>& work) noexcept {
  try {
    return work();
  } catch (const std::exception& error) {
    return {RunResult::Kind::CannotJudge, "", std::string("the validator failed: ") + error.what()};
  } catch (...) {
    return {RunResult::Kind::CannotJudge, "", "the validator failed"};
  }
}

std::string describeEnd(const os::ProcessEnd& end) {
  if (end.exited) return "ended with status " + std::to_string(end.status) + " before its work was done";
  return "ended by " + os::signalName(end.status);
}

std::string seconds(std::chrono::milliseconds limit) {
  std::ostringstream text;
  text << static_cast<double>(limit.count()) / 1000 << " s";
  return text.str();
}

// What of a process can run code: its executable mappings, each counted by where it comes from.
using Code = std::map<std::string, int>;

Code codeOf(const std::vector<os::Mapping>& mappings) {
  Code code;
  for (const os::Mapping& mapping : mappings) {
    if (!mapping.executable) continue;
    const std::optional<os::FileIdentity>& file = mapping.file;
    ++code[file ? std::to_string(file->device) + ":" + std::to_string(file->number) : mapping.name];
  }
  return code;
}

// Why the run's process cannot be shown to hold no code of the module's, or empty when it can: it has not
// ended, its program is this validator's, the module is not mapped there, and no code runs there but what ran
// in the validator when the run began. What plugin code did to the validator's own memory is beyond what can
// be seen from here.
std::string untrusted(int run, const std::optional<os::FileIdentity>& module, const Code& codeAtStart) {
  std::vector<os::Mapping> mappings = os::mappingsOf(run);
  if (mappings.empty()) return "the run's process had ended";
  const std::optional<os::FileIdentity> program = os::programOf(0);
  if (!program || os::programOf(run) != program) return "the run's process no longer runs the validator";
  for (const os::Mapping& mapping : mappings) {
    if (module && mapping.file == module) return "the module was still loaded in the run";
  }
  for (const auto& [where, count] : codeOf(mappings)) {
    auto before = codeAtStart.find(where);
    if (before == codeAtStart.end() || before->second < count) {
      return "code that was not there when the run began was still mapped in it";
    }
  }
  if (os::programOf(run) != program) return "the run's process no longer runs the validator";
  return "";
}

// Judges a message from the run: what it says, when it can be believed. A report, or a word that the module
// cannot be judged, counts only from the run itself once no code of the module's can be there.
RunOutcome judgeMessage(const os::Message& received, int run, const std::optional<os::FileIdentity>& module,
                        const Code& codeAtStart) {
  if (received.sender != run) {
    return {RunOutcome::End::Forged, "",
            "a message came from another process than the run's (" + std::to_string(received.sender) +
                "), one the module started",
            ""};
  }
  std::optional<RunResult> result = decoded(received.text);
  if (!result) {
    return {RunOutcome::End::Forged, "", "a message the validator never writes came from the run", ""};
  }
  if (result->kind != RunResult::Kind::Failure) {
    // A module whose file cannot be told apart can still be said not to load, but cannot be shown gone.
    std::string why = result->kind == RunResult::Kind::Report && !module
                          ? "the module's file cannot be told apart"
                          : untrusted(run, module, codeAtStart);
    if (!why.empty()) return {RunOutcome::End::Forged, "", "a report came, but " + why, ""};
  }
  return outcomeOf(*result);
}

// Watches the run to its end: takes its message, captures its output, and says how it ended.
RunOutcome watch(os::ChildRun& run, std::chrono::milliseconds limit,
                 const std::optional<os::FileIdentity>& module, const Code& codeAtStart,
                 std::string& captured) {
  std::optional<RunOutcome> outcome;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  // The run's end is looked for between waits, since a process it started may hold its channel open.
  constexpr std::chrono::milliseconds kLook{10};
  for (;;) {
    std::optional<os::ProcessEnd> end = os::endOf(run);
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (!end && left.count() <= 0) {
      std::string after = outcome ? " after its report" : "";
      return {RunOutcome::End::Hung, "", "the run did not end within " + seconds(limit) + after, ""};
    }
    if (!os::awaitActivity(run, end ? std::chrono::milliseconds(0) : std::min(left, kLook))) {
      return {RunOutcome::End::CannotJudge, "",
              "the validator cannot watch the run: " + common::systemReason(errno), ""};
    }
    os::readOutput(run, captured, kKeptOutput);
    if (!outcome) {
      if (std::optional<os::Message> received = os::receiveMessage(run.channel, kMessageSize)) {
        outcome = judgeMessage(*received, run.process, module, codeAtStart);
        if (outcome->end == RunOutcome::End::Forged) return *outcome;
        os::giveWord(run.channel);
      }
    }
    if (!end) continue;
    if (!outcome) return {RunOutcome::End::Crashed, "", describeEnd(*end), ""};
    if (outcome->end == RunOutcome::End::Reported && !(end->exited && end->status == 0)) {
      return {RunOutcome::End::Crashed, "", describeEnd(*end) + ", after its report", ""};
    }
    return *outcome;
  }
}

}  // namespace

bool runsIsolated() { return os::childRuns(); }

RunOutcome runIsolated(const std::filesystem::path& module, std::chrono::milliseconds limit,
                       const std::function<RunResult()>& work) {
  if (!os::childRuns()) return outcomeOf(lastResort(work));
  const std::optional<os::FileIdentity> moduleFile = os::identityOf(module);
  const std::vector<int> callersOwn = os::childProcesses();
  // The run begins as a copy of this process: the code that may run in it then.
  const Code codeAtStart = codeOf(os::mappingsOf(0));
  os::ChildRun run;
  try {
    run = os::startChildRun([&](int channel) {
      std::string confined = os::confineRun();
      std::string message =
          encoded(confined.empty() ? lastResort(work)
                                   : RunResult{RunResult::Kind::CannotJudge, "", "the run " + confined});
      // What the module wrote and left in the C library's buffers belongs to its output too.
      std::fflush(nullptr);
      if (!os::sendMessage(channel, message)) std::_Exit(125);
      // The validator's word that it has the message; until then the run must stay, so that it can be
      // looked at.
      os::awaitWord(channel);
    });
  } catch (const std::system_error& error) {
    throw std::runtime_error(std::string("the validator ") + error.what());
  }
  std::string captured;
  RunOutcome outcome = watch(run, limit, moduleFile, codeAtStart, captured);
  os::endChildRun(run, callersOwn);
  outcome.output = std::move(captured);
  return outcome;
}

}  // namespace standin
