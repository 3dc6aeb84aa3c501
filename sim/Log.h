// The session's log: readable lines for a person, or one JSON object per frame for a program.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "standin/host/Host.h"

namespace sim {

/// One drawn frame as the log shows it.
struct FrameReport {
  std::uint64_t number = 0;
  /// The game states that were on, as GameCommands names them.
  std::string state;
  /// Whether the ball the plugin was given was exploding.
  bool exploding = false;
  std::vector<standin::DrawnText> draws;
  /// With no draws: why nothing was drawn.
  std::string whyNothing;
  /// The host operations the plugin made during the frame.
  std::vector<std::string_view> calls;
};

/// Every write is checked: a log that cannot be written throws OutputError, so that no run reports success
/// with its output lost.
class Log {
 public:
  virtual ~Log() = default;
  /// A comment of the script.
  virtual void comment(std::string_view text) = 0;
  /// A script line that changed the game, the console or the session, and what carrying it out adds.
  virtual void echo(std::string_view line, std::string_view note) = 0;
  virtual void frame(const FrameReport& report) = 0;
};

/// That the log cannot be written to its output, and the system's reason when the last failed call gave one.
std::string cannotWriteLog();

/// The readable log, or with json one JSON object per frame, with the frame's host operations where calls.
std::unique_ptr<Log> makeLog(std::ostream& out, bool json, bool calls);

}  // namespace sim
