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

#include "sim/Animation.h"
#include "sim/AtomicFile.h"
#include "sim/GameCommands.h"
#include "sim/Log.h"
#include "sim/Painter.h"
#include "sim/Png.h"
#include "sim/Script.h"
#include "standin/host/Host.h"
#include "standin/loader/LoadedPlugin.h"

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

  /// Runs every line of a script in order. Throws SessionError at the first line that cannot be carried out;
  /// what was logged before stays logged, and no file the line would have written is changed. A recording
  /// still running at the end is written then; one that ends with an error is dropped.
  void run(std::istream& script);

 private:
  void runLine(std::string_view text, std::size_t line);
  /// Carries out one command: the game model takes those that change the game, the session the rest.
  /// Returns what the readable log adds to the line's echo.
  std::string execute(const Command& command, std::size_t line);

  std::string carryOut(const command::SetVariable& order);
  std::string carryOut(const command::Frame& order);
  std::string carryOut(const command::Snapshot& order);
  /// Records from the script's line given on: the recording names it when another 'record' comes.
  std::string carryOut(const command::Record& order, std::size_t line);
  std::string carryOut(const command::RecordStop& order);
  std::string carryOut(const command::Unload& order);
  std::string carryOut(const command::Load& order);

  void load();
  /// Ends the recording; the note for the log.
  std::string stopRecording();

  /// Throws OutputError for a destination that is a kept file: the refusal every file of the run is judged
  /// by, when writing it begins and when it is put in place.
  void refuseKept(const std::filesystem::path& target, const std::filesystem::path& destination) const;
  Refusal refusal() const;
  /// Throws OutputError for a target that the running recording will become.
  void refuseTheRecordingsTarget(const std::filesystem::path& target) const;
  std::string whyNothingDrawn() const;
  /// The last frame as a picture: the canvas as the plugin drew it, and the caption band below it.
  Image picture();

  Options options_;
  standin::Host host_;
  GameCommands game_{host_};
  std::unique_ptr<Log> log_;
  std::optional<standin::LoadedPlugin> plugin_;
  /// The module file last loaded, taken again at each load: what stands at its path may have changed.
  std::optional<os::FileIdentity> module_;
  std::optional<Painter> painter_;
  FrameReport last_;
  Vector2 lastSize_{0, 0};
  /// The last script line that changed the game, the console or the plugin, for captions.
  std::string lastChange_;
  std::unique_ptr<Animation> recording_;
  std::size_t recordingLine_ = 0;
  std::int64_t recordedPixels_ = 0;
};

/// Plays a whole script in a session of its own: the error that stopped it, or nothing when every line ran.
std::optional<SessionError> play(std::istream& script, std::ostream& log, const Options& options);

}  // namespace sim
