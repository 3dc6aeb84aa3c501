// What the simulator's tests share: options for the real module, a folder of their own for files, and
// running the simulator as a user does.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "Session.h"

#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

inline sim::Options simOptions(bool json = true) {
  sim::Options result;
  result.plugin = KORVINDEL_MODULE;
  result.font = KORVINDEL_FONT;
  result.json = json;
  return result;
}

inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) result.push_back(line);
  return result;
}

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

/// Runs a script in a session; the error it ends with, or none.
inline std::optional<sim::SessionError> play(const std::string& script, std::ostream& out,
                                             sim::Options options = simOptions()) {
  std::istringstream in(script);
  return sim::play(in, out, options);
}
