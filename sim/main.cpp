// korvindel-sim: plays a session with the real plugin module on the stand-in host.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include "DemoScript.h"
#include "Process.h"
#include "Quote.h"
#include "Session.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

using sim::Status;

constexpr std::string_view kUsage = "usage: korvindel-sim [--plugin PATH] [--json [--calls]] [SCRIPT]\n";

constexpr std::string_view kHelp = R"(
Plays a game session with the Korvindel plugin loaded on the stand-in host and prints what it draws, frame
by frame. Without SCRIPT it plays the built-in demo (writes demo.gif and demo.png); '-' reads standard input.

  --plugin PATH   the plugin module to load, by path: a bare name is the file in the current folder
                  (default: the module next to this program)
  --json          one JSON object per frame instead of readable lines
  --calls         with --json: the host operations the plugin made in each frame

Script lines (lines end in LF, CR LF or CR; blank lines are skipped, and a word that starts with '#'
starts a comment that runs to the end of the line):
  NAME VALUE                  set a console variable, e.g. korvindel_show 1
  state [freeplay] [training] [replay] [spectate]
                              the game states that are on; 'state' alone is the main menu
  balls N                     balls in the free-play and training event
  balls replay|online 0|1     whether the replay or the online match has a ball
  velocity X Y Z              velocity of every ball, balls added later included
  explosion T                 explosion time of every ball (nonzero: the readout holds)
  canvas W H                  canvas size in pixels
  frame [N]                   draw N frames (default 1)
  snapshot FILE.png           write the last frame as a picture
  record FILE.gif             keep every frame drawn from now on
  record stop                 write the recording as an animated GIF
  unload, load                unload the plugin as the host does, load it again

Pictures show the canvas as the plugin drew it, with a caption band below it: the frame, the game state,
whether the readout is held or why nothing is drawn, and the last line that changed the game or the console.
A file is written under a temporary name beside it and renamed into place once complete; on any error
whatever stood there before is left as it was. A file it replaces keeps its permission bits; through a link
the file the link names is replaced. Refused: a target that is a directory, a device or a FIFO, a link to
nothing, a read-only file, a file with other names (hard links, which would keep the old content), the file
a running recording will become (status 3), and a name with a NUL byte or longer than a file name can be
(status 2).

SIGINT, SIGTERM and SIGHUP end a run cleanly: every temporary file is removed, every target is left as it
was, and the run ends by that signal. A broken output pipe is a log that cannot be written (status 3). A
closed standard input, output or error stays closed to the simulator: none of its files takes its place,
and reading or writing it fails as such.
)";

std::string limits() {
  return "Limits: canvas sides 1 to " + std::to_string(sim::kMaxCanvasSide) + " pixels; 1 to " +
         std::to_string(sim::kMaxFrames) + " frames per 'frame' line; 0 to " +
         std::to_string(sim::kMaxBalls) + " balls;\na recording holds at most " +
         std::to_string(sim::kMaxRecordedFrames) + " frames and " + std::to_string(sim::kMaxRecordedPixels) +
         " pixels in all, caption bands included.\n";
}

std::string statuses() {
  std::string text = "\nExit status:\n";
  for (const sim::StatusMeaning& status : sim::kStatuses) {
    text +=
        "  " + std::to_string(static_cast<int>(status.status)) + "  " + std::string(status.meaning) + "\n";
  }
  return text;
}

std::filesystem::path programDirectory() {
#if defined(_WIN32)
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::filesystem::path(std::wstring(path, length)).parent_path();
#else
  std::error_code error;
  return std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
#endif
}

int fail(Status status, const std::string& message) {
  std::cerr << "korvindel-sim: " << message << '\n';
  return static_cast<int>(status);
}

// Everything the run printed has reached its output, or the run has failed.
int finish(Status status) {
  std::cout.flush();
  if (!std::cout) return fail(Status::OutputFailed, "cannot write the log to standard output");
  return static_cast<int>(status);
}

int usage(const std::string& message) {
  std::cerr << "korvindel-sim: " << message << '\n' << kUsage;
  return static_cast<int>(Status::BadInput);
}

}  // namespace

int main(int argc, char** argv) {
  sim::protectStandardDescriptors();
  sim::endCleanlyOnSignals();
  // The log's own buffer, so that a failed write to standard output shows in the stream's state.
  std::ios::sync_with_stdio(false);
  sim::Options options;
  options.font = KORVINDEL_FONT;
#if defined(_WIN32)
  options.plugin = programDirectory() / "Korvindel.dll";
#else
  options.plugin = programDirectory() / "Korvindel.so";
#endif
  std::string scriptPath;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--plugin") {
      if (i + 1 == argc) return usage("--plugin needs a path");
      options.plugin = argv[++i];
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--calls") {
      options.calls = true;
    } else if (arg == "--help" || arg == "-h") {
      std::cout << kUsage << kHelp << '\n' << limits() << statuses();
      return finish(Status::Done);
    } else if (scriptPath.empty() && (arg == "-" || !arg.starts_with("-"))) {
      scriptPath = arg;
    } else {
      return usage("unexpected argument " + standin::quote(arg));
    }
  }
  if (options.calls && !options.json) return usage("--calls goes with --json");

  std::ifstream file;
  std::istringstream demo;
  std::istream* script = &demo;
  if (scriptPath.empty()) {
    demo.str(std::string(sim::kDemoScript));
  } else if (scriptPath == "-") {
    script = &std::cin;
  } else {
    std::error_code error;
    if (std::filesystem::is_directory(scriptPath, error)) {
      return fail(Status::BadInput,
                  "cannot read the script " + standin::escape(scriptPath) + ": it is a directory");
    }
    file.open(scriptPath, std::ios::binary);
    if (!file) return fail(Status::BadInput, "cannot read the script " + standin::escape(scriptPath));
    script = &file;
  }

  try {
    sim::Session session(options, std::cout);
    session.run(*script);
  } catch (const sim::SessionError& error) {
    std::cout.flush();
    return fail(error.status(), error.what());
  } catch (const std::exception& error) {
    std::cout.flush();
    return fail(Status::PluginFailed, error.what());
  }
  return finish(Status::Done);
}
