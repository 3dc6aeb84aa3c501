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

#include "Animation.h"
#include "Host.h"
#include "Loader.h"
#include "Script.h"

namespace sim {

struct Options {
  std::filesystem::path plugin;
  std::filesystem::path font;
  /// One JSON object per frame instead of readable lines.
  bool json = false;
  /// With json: the host operations the plugin made during each frame.
  bool calls = false;
};

/// A failure that stops the run, with the number of the script line that caused it (0: before any line).
class SessionError : public std::runtime_error {
 public:
  SessionError(std::size_t line, const std::string& message)
      : std::runtime_error(line == 0 ? message : "line " + std::to_string(line) + ": " + message),
        line_(line) {}
  std::size_t line() const { return line_; }

 private:
  std::size_t line_;
};

class Session {
 public:
  /// Loads the plugin; throws standin::LoadError when it cannot.
  Session(Options options, std::ostream& out);

  /// Runs every line of a script in order. Throws SessionError at the first line that cannot be carried out;
  /// what was printed before stays printed. A recording still running at the end is written then.
  void run(std::istream& script);
  /// Carries out one parsed command; returns what the readable log adds to the line's echo.
  std::string execute(const Command& command, std::size_t line);

 private:
  void drawFrame(std::size_t line);
  void printFrame();
  std::string stateLabel() const;
  /// Ends the recording; the note for the log.
  std::string stopRecording(std::size_t line);

  Options options_;
  std::ostream& out_;
  standin::Host host_;
  std::optional<standin::LoadedPlugin> plugin_;
  std::uint64_t frames_ = 0;
  std::vector<standin::DrawnText> lastFrame_;
  Vector2 lastFrameSize_{0, 0};
  bool exploding_ = false;
  bool headerPrinted_ = false;
  std::unique_ptr<Animation> recording_;
  std::size_t recordingLine_ = 0;
};

/// The built-in demo session.
extern const std::string_view kDemoScript;

}  // namespace sim
