// The simulator's script language: one command per line.
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <span>
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

// How each command is written and what it does are its forms in commandForms().
struct SetVariable {
  static constexpr Effect kEffect = Effect::ChangesTheSession;
  std::string name;
  std::string value;
};
struct State : standin::GameStates {
  static constexpr Effect kEffect = Effect::ChangesTheSession;
};
struct EventBalls {
  static constexpr Effect kEffect = Effect::ChangesTheSession;
  std::int32_t count;
};
struct EventHasBall {
  static constexpr Effect kEffect = Effect::ChangesTheSession;
  bool online;
  bool present;
};
struct Velocity {
  static constexpr Effect kEffect = Effect::ChangesTheSession;
  float x, y, z;
};
struct Explosion {
  static constexpr Effect kEffect = Effect::ChangesTheSession;
  float time;
};
struct Canvas {
  static constexpr Effect kEffect = Effect::ChangesTheSession;
  std::int32_t width, height;
};
struct Frame {
  static constexpr Effect kEffect = Effect::Draws;
  std::int32_t count;
};
struct Snapshot {
  static constexpr Effect kEffect = Effect::WritesAFile;
  std::string path;
};
struct Record {
  static constexpr Effect kEffect = Effect::WritesAFile;
  std::string path;
};
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

/// Every script command. Adding one takes its struct above, its forms in commandForms() and one handler: a
/// GameCommands::apply overload for a change to the game, else a Session::carryOut overload.
using Command =
    std::variant<command::SetVariable, command::State, command::EventBalls, command::EventHasBall,
                 command::Velocity, command::Explosion, command::Canvas, command::Frame, command::Snapshot,
                 command::Record, command::RecordStop, command::Unload, command::Load>;

/// What the command does besides its own work.
command::Effect effectOf(const Command& command);

/// One way of writing a script line, declared once for the parser, its error messages and --help.
struct CommandForm {
  /// The line's first word; empty for the form that any other first word takes (a console variable).
  std::string_view verb;
  /// How the line is written, as --help and the error for a line of the verb that fits no form show it.
  std::string_view usage;
  /// What the line does, as --help shows it.
  std::string_view help;
  /// How many words the line has, the verb counted.
  std::size_t minWords, maxWords;
  /// The command the words make; none when they make another form of the same verb.
  std::optional<Command> (*parse)(std::span<const std::string_view> words);
};

/// Every form, in the order --help lists them.
std::span<const CommandForm> commandForms();

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

/// Parses one line by the first of its verb's forms that takes it; nothing for a blank line or a comment. A
/// word that starts with '#' starts a comment that runs to the end of the line. Any first word that is not a
/// command is taken as a console variable, which only the running host can check.
std::optional<Command> parseLine(std::string_view line);

}  // namespace sim
