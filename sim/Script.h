// The simulator's script language: one command per line.
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

#include "standin/host/GameStates.h"

namespace sim {

/// A line that cannot be understood; the message says what is wrong with it.
class ScriptError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

namespace command {

/// What carrying out a command does besides its own work, declared with each command: it changes the game,
/// the console or the plugin (the log echoes it, and pictures name it as the last change), it draws frames
/// (which log themselves), or it writes a file (the log echoes it).
enum class Effect { ChangesTheSession, Draws, WritesAFile };

/// `NAME VALUE`: set a console variable as a console would.
struct SetVariable {
  static constexpr Effect kEffect = Effect::ChangesTheSession;
  std::string name;
  std::string value;
};
/// `state [freeplay] [training] [replay] [spectate]`
struct State : standin::GameStates {
  static constexpr Effect kEffect = Effect::ChangesTheSession;
};
/// `balls N`
struct EventBalls {
  static constexpr Effect kEffect = Effect::ChangesTheSession;
  std::int32_t count;
};
/// `balls replay 0|1`, `balls online 0|1`
struct EventHasBall {
  static constexpr Effect kEffect = Effect::ChangesTheSession;
  bool online;
  bool present;
};
/// `velocity X Y Z`
struct Velocity {
  static constexpr Effect kEffect = Effect::ChangesTheSession;
  float x, y, z;
};
/// `explosion T`
struct Explosion {
  static constexpr Effect kEffect = Effect::ChangesTheSession;
  float time;
};
/// `canvas W H`
struct Canvas {
  static constexpr Effect kEffect = Effect::ChangesTheSession;
  std::int32_t width, height;
};
/// `frame [N]`
struct Frame {
  static constexpr Effect kEffect = Effect::Draws;
  std::int32_t count;
};
/// `snapshot FILE.png`
struct Snapshot {
  static constexpr Effect kEffect = Effect::WritesAFile;
  std::string path;
};
/// `record FILE.gif`: from now on every drawn frame goes into an animation.
struct Record {
  static constexpr Effect kEffect = Effect::WritesAFile;
  std::string path;
};
/// `record stop`: writes the animation.
struct RecordStop {
  static constexpr Effect kEffect = Effect::WritesAFile;
};
struct Unload {
  static constexpr Effect kEffect = Effect::ChangesTheSession;
};
struct Load {
  static constexpr Effect kEffect = Effect::ChangesTheSession;
};
}  // namespace command

/// Every script command. Adding one takes its struct above, its rule in parseLine and one handler: a
/// GameCommands::apply overload for a change to the game, else a Session::carryOut overload.
using Command =
    std::variant<command::SetVariable, command::State, command::EventBalls, command::EventHasBall,
                 command::Velocity, command::Explosion, command::Canvas, command::Frame, command::Snapshot,
                 command::Record, command::RecordStop, command::Unload, command::Load>;

/// What the command does besides its own work.
command::Effect effectOf(const Command& command);

/// Largest accepted canvas side, frame count of one line and ball count: enough for any screen, small enough
/// to draw.
inline constexpr std::int32_t kMaxCanvasSide = 8192;
inline constexpr std::int32_t kMaxFrames = 100000;
inline constexpr std::int32_t kMaxBalls = 1000;
/// Longest script line in bytes, its end not counted: a line without an end (a device of endless bytes)
/// cannot take all the memory there is.
inline constexpr std::size_t kMaxLineLength = 1 << 20;

/// Reads a script line by line, as editors on any system write it: lines end in LF, CR LF or a CR alone, and
/// a byte-order mark before the first line is no part of it.
class ScriptReader {
 public:
  explicit ScriptReader(std::istream& in) : in_(in) {}
  /// The next line, without its end; false when the input has no more, or cannot be read: then the stream is
  /// bad and failure() says why. Throws ScriptError for a line longer than kMaxLineLength, having read no
  /// more of it.
  bool next(std::string& line);
  /// The number of the line that next gave last, from 1.
  std::size_t number() const { return number_; }
  /// The system's reason for a read that failed, or empty.
  const std::string& failure() const { return failure_; }

 private:
  std::istream& in_;
  std::size_t number_ = 0;
  std::string failure_;
};

/// The line without the spaces, tabs and carriage returns around it, as the parser sees it.
std::string_view trim(std::string_view line);

/// Parses one line; nothing for a blank line or a comment. A word that starts with '#' starts a comment that
/// runs to the end of the line. Any first word that is not a command is taken as a console variable, which
/// only the running host can check.
std::optional<Command> parseLine(std::string_view line);

}  // namespace sim
