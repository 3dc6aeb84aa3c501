// korvindel-sim: plays a session with the real plugin module on the stand-in host.
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <new>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <string_view>

#include "common/Joined.h"
#include "common/Quote.h"
#include "common/System.h"
#include "sim/AtomicFile.h"
#include "sim/DemoScript.h"
#include "sim/Log.h"
#include "sim/Painter.h"
#include "sim/Script.h"
#include "sim/Session.h"
#include "sim/Temporaries.h"

namespace {

using sim::Status;

constexpr std::string_view kUsage = "usage: korvindel-sim [--plugin PATH] [--json [--calls]] [SCRIPT]\n";

constexpr std::string_view kHelp = R"(
Plays a game session with the Korvindel plugin loaded on the stand-in host and prints what it draws, frame
by frame. Without SCRIPT it plays the built-in demo (writes demo.gif and demo.png); '-' reads standard input.

  --plugin PATH   the plugin module to load, by path: a bare name is the file in the current folder
                  (default: the module next to this program; where the system cannot say where that
                  is, as on Linux without /proc, there is no default)
  --json          one JSON object per frame instead of readable lines
  --calls         with --json: the host operations the plugin made in each frame

Script lines (lines end in LF, CR LF or CR; blank lines are skipped, and a word that starts with '#'
starts a comment that runs to the end of the line):
)";

constexpr std::string_view kFiles = R"(
Pictures show the canvas as the plugin drew it, with a caption band below it: the frame, the game state,
whether the readout is held or why nothing is drawn, and the last line that changed the game or the console.
A file is written beside its target, without a name where the system allows (else under one nobody can
guess), readable only by its owner until complete, and put in place once complete; on any error whatever
stood there before is left as it was. A target is judged when writing begins and again when the file is put
in place: a file it replaces keeps the owner, group and permission bits it has then (the owner where root
runs the simulator, the group where the user running it belongs to it), but not a set-user-ID or
set-group-ID bit; through a link the file the link names is replaced. Refused with status 3: a target that
is a directory, a device or a FIFO, a link to nothing, one with a link anywhere on its path, or on the way a
link of its path leads, in a sticky folder that anyone may write (such as /tmp) made by neither the folder's
owner nor the user running the simulator, a read-only file, a file with other names (hard links, which would
keep the old content), the script, the plugin module as last loaded, the font, the log's output, the error
output, and the file a running recording will become. Refused with status 2: a name with a NUL byte or
longer than a file name can be, and a script that is also the log's output (the log would feed it forever).

Signals that end a run end it cleanly: nothing of an unfinished file is left, every target is left as it
was, and the run ends by that signal; one that was ignored when the run started stays ignored. A plugin that
aborts or crashes leaves no unfinished file either, and the run ends by that signal; so does one whose
exception is no std::exception, with status 1, and one that ends the program itself (exit), with status 1
too; what a plugin's exception says is shown escaped. Where files can be written without a name, even a run
killed outright leaves nothing of a file still being written (a finished file that replaces another stands
under a name of its own for the instant before its rename). A broken output pipe is a log that cannot be
written, and a file larger than the file-size limit (ulimit -f) is a file that cannot be written (status 3).
A closed standard input, output or error stays closed to the simulator: none of its files takes its place,
and reading or writing it fails as such.
)";

// Where the help column of a script line's form starts.
constexpr std::size_t kHelpColumn = 30;

std::string scriptLines() {
  std::string text;
  for (const sim::CommandForm& form : sim::commandForms()) {
    std::string row = "  " + std::string(form.usage);
    row += row.size() + 2 <= kHelpColumn ? std::string(kHelpColumn - row.size(), ' ')
                                         : "\n" + std::string(kHelpColumn, ' ');
    text += row + std::string(form.help) + '\n';
  }
  return text;
}

// The signals this system has, by the way they end a run.
std::string signals() {
  auto names = [](std::span<const os::Signal> list) {
    return common::joined(list, ", ", [](const os::Signal& signal) { return signal.name; });
  };
  return "\nSignals that end a run:\n  " + names(os::endingSignals()) +
         "\nSignals of a plugin that aborts or crashes:\n  " + names(os::crashSignals()) + "\n";
}

std::string limits() {
  return "Limits: canvas sides 1 to " + std::to_string(sim::kMaxCanvasSide) + " pixels; 1 to " +
         std::to_string(sim::kMaxFrames) + " frames per 'frame' line; 0 to " +
         std::to_string(sim::kMaxBalls) + " balls;\na recording holds at most " +
         std::to_string(sim::kMaxRecordedFrames) + " frames and " + std::to_string(sim::kMaxRecordedPixels) +
         " pixels in all, caption bands included;\na script line holds at most " +
         std::to_string(sim::kMaxLineLength) +
         " bytes (a longer one ends the run with status 2, and the script is read no\nfurther); a caption "
         "shows the first " +
         std::to_string(sim::kMaxCaptionText) + " bytes of the last change.\n";
}

std::string statuses() {
  std::string text = "\nExit status:\n";
  for (const sim::StatusMeaning& status : sim::kStatuses) {
    text +=
        "  " + std::to_string(static_cast<int>(status.status)) + "  " + std::string(status.meaning) + "\n";
  }
  return text;
}

std::string why() { return common::systemReason(errno); }

// Every message is escaped once more as it leaves, which changes nothing in one escaped already: what
// plugin code threw reaches the terminal only as text.
int fail(Status status, const std::string& message) {
  std::cerr << "korvindel-sim: " << common::escape(message) << '\n';
  return static_cast<int>(status);
}

// Everything the run printed has reached its output, or the run has failed.
int finish(Status status) {
  std::cout.flush();
  if (!std::cout) return fail(Status::OutputFailed, sim::cannotWriteLog());
  return static_cast<int>(status);
}

int usage(const std::string& message) {
  std::cerr << "korvindel-sim: " << message << '\n' << kUsage;
  return static_cast<int>(Status::BadInput);
}

// What the command line asks for.
struct Run {
  sim::Options options;
  std::string scriptPath;
  bool help = false;
};

// Each step of main: the status the program ends with, when the step ends it.
using Ended = std::optional<int>;

Ended readArguments(int argc, char** argv, Run& run) {
  run.options.font = KORVINDEL_FONT;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--plugin") {
      if (i + 1 == argc) return usage("--plugin needs a path");
      run.options.plugin = argv[++i];
    } else if (arg == "--json") {
      run.options.json = true;
    } else if (arg == "--calls") {
      run.options.calls = true;
    } else if (arg == "--help" || arg == "-h") {
      run.help = true;
      return std::nullopt;
    } else if (run.scriptPath.empty() && (arg == "-" || !arg.starts_with("-"))) {
      run.scriptPath = arg;
    } else {
      return usage("unexpected argument " + common::quote(arg));
    }
  }
  if (run.options.calls && !run.options.json) return usage("--calls goes with --json");
  return std::nullopt;
}

int printHelp() {
  // A failed write is reported with errno's reason (cannotWriteLog): none may be left from before.
  errno = 0;
  std::cout << kUsage << kHelp << scriptLines() << kFiles << signals() << '\n' << limits() << statuses();
  return finish(Status::Done);
}

Ended findTheModule(sim::Options& options) {
  if (!options.plugin.empty()) return std::nullopt;
  // Where the system does not say (Linux without /proc) no folder is guessed, least of all the current one,
  // where anyone may have put a module.
  std::optional<std::filesystem::path> folder = os::programFolder();
  if (!folder) {
    return fail(Status::PluginFailed,
                "cannot find the folder of this program, where its plugin module is (the system does not say "
                "without /proc); name the module with --plugin");
  }
  options.plugin = *folder / KORVINDEL_MODULE_FILE_NAME;
  return std::nullopt;
}

// The script the run reads: the built-in demo, standard input or a file.
struct Script {
  std::ifstream file;
  std::istringstream demo;
  std::istream* in = &demo;
};

Ended openScript(const std::string& path, Script& script) {
  if (path.empty()) {
    script.demo.str(std::string(sim::kDemoScript));
    return std::nullopt;
  }
  if (path == "-") {
    script.in = &std::cin;
    return std::nullopt;
  }
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    return fail(Status::BadInput, "cannot read the script " + common::escape(path) + ": it is a directory");
  }
  // Opening a file may fail without a reason of the system's (errno stays 0); then none is given.
  errno = 0;
  script.file.open(path, std::ios::binary);
  if (!script.file) {
    return fail(Status::BadInput, "cannot read the script " + common::escape(path) +
                                      (errno != 0 ? ": " + why() : std::string()));
  }
  script.in = &script.file;
  return std::nullopt;
}

// Nothing the run writes may land on what it reads: a log appended to its own script would feed it forever,
// and a picture written over the script, the module or the log would destroy it.
Ended keepTheRunsOwnFiles(const std::string& scriptPath, sim::Options& options) {
  std::optional<os::FileIdentity> scriptFile = scriptPath.empty()  ? std::nullopt
                                               : scriptPath == "-" ? os::identityOfStandard(0)
                                                                   : os::identityOf(scriptPath);
  std::optional<os::FileIdentity> logFile = os::identityOfStandard(1);
  if (scriptFile && scriptFile == logFile) {
    return fail(Status::BadInput, "cannot read the script " + common::escape(scriptPath) +
                                      ": it is also the log's output, which would feed it forever");
  }
  if (scriptFile) options.kept.push_back({*scriptFile, "the script"});
  if (logFile) options.kept.push_back({*logFile, "the log's output"});
  if (std::optional<os::FileIdentity> errors = os::identityOfStandard(2)) {
    options.kept.push_back({*errors, "the error output"});
  }
  return std::nullopt;
}

// Set while the session plays. The simulator's own code ends a run only by returning from it, so an exit
// meanwhile comes from plugin code: the run has not done its work, whatever status the plugin chose.
std::atomic<bool> playing{false};

void endedWhilePlaying() {
  if (!playing) return;
  std::cout.flush();
  std::fputs("korvindel-sim: the plugin ended the program before the script's end\n", stderr);
  sim::removeTemporaries();
  std::_Exit(static_cast<int>(Status::PluginFailed));
}

// An exception that nothing can catch (one that a static constructor of the module throws through the
// system's loader, say) ends the run as it would have, its words escaped first.
[[noreturn]] void endedByAnUncaughtException() {
  std::string words;
  try {
    if (std::exception_ptr current = std::current_exception()) std::rethrow_exception(current);
  } catch (const std::exception& error) {
    words = ": " + common::escape(error.what());
  } catch (...) {
  }
  std::fprintf(stderr, "korvindel-sim: an exception that nothing could catch%s\n", words.c_str());
  std::abort();
}

int play(const sim::Options& options, std::istream& script) {
  std::atexit(&endedWhilePlaying);
  playing = true;
  struct Played {
    ~Played() { playing = false; }
  } played;
  try {
    sim::Session session(options, std::cout);
    session.run(script);
  } catch (const sim::SessionError& error) {
    std::cout.flush();
    return fail(error.status(), error.what());
  } catch (const std::bad_alloc&) {
    std::cout.flush();
    return fail(Status::OutputFailed, "out of memory");
  } catch (const std::exception& error) {
    std::cout.flush();
    return fail(Status::PluginFailed, error.what());
  }
  return finish(Status::Done);
}

}  // namespace

int main(int argc, char** argv) {
  os::protectStandardDescriptors();
  sim::endCleanlyOnSignals();
  std::set_terminate(&endedByAnUncaughtException);
  // The log's own buffer, so that a failed write to standard output shows in the stream's state.
  std::ios::sync_with_stdio(false);
  Run run;
  Script script;
  if (Ended ended = readArguments(argc, argv, run)) return *ended;
  if (run.help) return printHelp();
  if (Ended ended = findTheModule(run.options)) return *ended;
  if (Ended ended = openScript(run.scriptPath, script)) return *ended;
  if (Ended ended = keepTheRunsOwnFiles(run.scriptPath, run.options)) return *ended;
  return play(run.options, *script.in);
}
