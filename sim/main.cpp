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
      std::cout << kUsage;
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
