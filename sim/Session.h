// A simulated game session: the real plugin on the stand-in host, driven by a script, frame by frame.
#pragma once

#include <cstdint>
#include <filesystem>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/System.h"

namespace sim {

/// A file that no snapshot or recording may replace, and what it is to the run ("the script").
struct KeptFile {
  os::FileIdentity identity;
  std::string what;
};

struct Options {
  std::filesystem::path plugin;
  std::filesystem::path font;
  /// One JSON object per frame instead of readable lines.
  bool json = false;
  /// With json: the host operations the plugin made during each frame.
  bool calls = false;
  /// The run's own inputs and outputs (the script, the log's output, the error output): a picture written
  /// there would destroy them. The plugin module is kept too, as it is at each load.
  std::vector<KeptFile> kept;
};

/// How a run ends, as the program's exit status.
enum class Status : int { Done = 0, PluginFailed = 1, BadInput = 2, OutputFailed = 3 };

struct StatusMeaning {
  Status status;
  std::string_view meaning;
};

/// Every exit status, for --help and the README.
inline constexpr StatusMeaning kStatuses[] = {
    {Status::Done, "done"},
    {Status::PluginFailed, "the plugin cannot be loaded (at start or at a 'load' line), or it failed"},
    {Status::BadInput,
     "bad arguments, a script that cannot be read, or a line that cannot be understood "
     "or carried out"},
    {Status::OutputFailed,
     "an output cannot be written (a snapshot, a recording or the log), or the run is out of memory"},
};

/// A recording's bound, in frames and in pixels of all its frames (caption bands included): whatever a
/// script records, painting and encoding it takes at most a few minutes.
inline constexpr std::int64_t kMaxRecordedFrames = 10000;
inline constexpr std::int64_t kMaxRecordedPixels = 1'000'000'000;

/// A failure that stops the run: the number of the script line that caused it (0: before any line) and the
/// exit status it gives.
class SessionError : public std::runtime_error {
 public:
  SessionError(std::size_t line, Status status, const std::string& message)
      : std::runtime_error(line == 0 ? message : "line " + std::to_string(line) + ": " + message),
        line_(line),
        status_(status) {}
  std::size_t line() const { return line_; }
  Status status() const { return status_; }

 private:
  std::size_t line_;
  Status status_;
};

class Session {
 public:
  /// Loads the plugin; throws SessionError (PluginFailed) when it cannot.
  Session(Options options, std::ostream& out);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  /// Runs every line of a script in order. Throws SessionError at the first line that cannot be carried out;
  /// what was logged before stays logged, and no file the line would have written is changed. A recording
  /// still running at the end is written then; one that ends with an error is dropped.
  void run(std::istream& script);

 private:
  class State;
  std::unique_ptr<State> state_;
};

/// Plays a whole script in a session of its own: the error that stopped it, or nothing when every line ran.
std::optional<SessionError> play(std::istream& script, std::ostream& log, const Options& options);

}  // namespace sim
