// korvindel-sim: plays a session with the real plugin module on the stand-in host.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include "Session.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

constexpr std::string_view kUsage = "usage: korvindel-sim [--plugin PATH] [--json] [--calls] [SCRIPT]\n";

constexpr std::string_view kHelp = R"(
Plays a game session with the Korvindel plugin loaded on the stand-in host and prints what it draws, frame
by frame. Without SCRIPT it plays the built-in demo (writes demo.gif and demo.png); '-' reads standard input.

  --plugin PATH   the plugin module to load (default: the one next to this program)
  --json          one JSON object per frame instead of readable lines
  --calls         with --json: the host operations the plugin made in each frame

Script lines (blank lines and # comments are skipped):
  NAME VALUE                  set a console variable, e.g. korvindel_show 1
  state [freeplay] [training] [replay] [spectate]
                              the game states that are on; 'state' alone is the main menu
  balls N                     balls in the free-play and training event
  balls replay|online 0|1     whether the replay or the online match has a ball
  velocity X Y Z              velocity of every ball
  explosion T                 explosion time of every ball (nonzero: the readout holds)
  canvas W H                  canvas size in pixels
  frame [N]                   draw N frames (default 1)
  snapshot FILE.png           write the last frame as a picture
  record FILE.gif             keep every frame drawn from now on
  record stop                 write the recording as an animated GIF
  unload, load                unload the plugin as the host does, load it again

Exit status: 0 done, 1 the plugin cannot be loaded or failed, 2 bad arguments or a bad script line.
)";

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

}  // namespace

int main(int argc, char** argv) {
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
    if (arg == "--plugin" && i + 1 < argc) {
      options.plugin = argv[++i];
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--calls") {
      options.calls = true;
    } else if (arg == "--help" || arg == "-h") {
      std::cout << kUsage << kHelp;
      return 0;
    } else if (scriptPath.empty() && (arg == "-" || !arg.starts_with("-"))) {
      scriptPath = arg;
    } else {
      std::cerr << "korvindel-sim: unexpected argument '" << arg << "'\n" << kUsage;
      return 2;
    }
  }

  std::ifstream file;
  std::istringstream demo;
  std::istream* script = &demo;
  if (scriptPath.empty()) {
    demo.str(std::string(sim::kDemoScript));
  } else if (scriptPath == "-") {
    script = &std::cin;
  } else {
    file.open(scriptPath);
    if (!file) {
      std::cerr << "korvindel-sim: cannot read script " << scriptPath << '\n';
      return 2;
    }
    script = &file;
  }

  try {
    sim::Session session(options, std::cout);
    session.run(*script);
  } catch (const standin::LoadError& error) {
    std::cerr << "korvindel-sim: " << error.what() << '\n';
    return 1;
  } catch (const sim::SessionError& error) {
    std::cout.flush();
    std::cerr << "korvindel-sim: " << error.what() << '\n';
    return 2;
  } catch (const std::exception& error) {
    std::cout.flush();
    std::cerr << "korvindel-sim: the plugin failed: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
