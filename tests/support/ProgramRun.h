// What tests that write files or run the project's programs share: a folder of the test's own, and a program
// run as a user runs it, from a shell.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <process.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

inline long processNumber() {
#if defined(_WIN32)
  return _getpid();
#else
  return static_cast<long>(getpid());
#endif
}

/// A new empty folder for one test's files, removed with everything in it when the test ends; no test writes
/// anywhere else.
class TempFolder {
 public:
  TempFolder() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    // The process's number too: two checkouts' test runs on one machine never share a folder.
    std::string name = "korvindel-" + std::string(test->test_suite_name()) + "-" + test->name() + "-" +
                       std::to_string(processNumber());
    std::replace(name.begin(), name.end(), '/', '-');
    path_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() { std::filesystem::remove_all(path_); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  const std::filesystem::path& path() const { return path_; }
  /// The names in the folder, sorted.
  std::vector<std::string> names() const {
    std::vector<std::string> result;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
      result.push_back(entry.path().filename().string());
    }
    std::sort(result.begin(), result.end());
    return result;
  }

 private:
  std::filesystem::path path_;
};

/// How a program run from a shell ended, and what reached its outputs.
struct ProgramRun {
  int status = -1;
  std::string out;
  std::string err;
};

/// Runs the program with the arguments, which may redirect, pipe or close its descriptors, in bash with
/// pipefail, in the folder, after the shell commands before (which end in &&): a pipeline's status is the
/// program's. What reaches the outputs is kept, in files of the folder that are gone again afterwards.
inline ProgramRun runProgram(const std::filesystem::path& program, const std::filesystem::path& folder,
                             const std::string& arguments, const std::string& before = "") {
  std::string command = "{ cd '" + folder.string() + "' && " + before + "'" + program.string() + "' " +
                        arguments + "; } >'" + (folder / "out.txt").string() + "' 2>'" +
                        (folder / "err.txt").string() + "'";
  std::string quoted;
  for (char c : command) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  int raw = std::system(("bash -o pipefail -c '" + quoted + "'").c_str());
  ProgramRun run;
#if !defined(_WIN32)
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#else
  run.status = raw;
#endif
  run.out = readFile(folder / "out.txt");
  run.err = readFile(folder / "err.txt");
  std::filesystem::remove(folder / "out.txt");
  std::filesystem::remove(folder / "err.txt");
  return run;
}
