// What the simulator's tests share: options for the real module, and playing a script in a session.
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

#include "sim/Session.h"
#include "tests/support/ProgramRun.h"

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

/// Runs a script in a session; the error it ends with, or none.
inline std::optional<sim::SessionError> play(const std::string& script, std::ostream& out,
                                             sim::Options options = simOptions()) {
  std::istringstream in(script);
  return sim::play(in, out, options);
}
