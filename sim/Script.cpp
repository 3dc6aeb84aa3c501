#include "sim/Script.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <system_error>
#include <type_traits>
#include <vector>

#include "common/Joined.h"
#include "common/Number.h"
#include "common/Quote.h"
#include "common/Trimmed.h"

namespace sim {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// What separates a line's words; a carriage return, so that a script written on Windows reads the same.
constexpr std::string_view kSpaces = " \t\r";
bool isSpace(char c) { return kSpaces.find(c) != std::string_view::npos; }

std::vector<std::string_view> splitWords(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && isSpace(line[at])) ++at;
    if (at < line.size() && line[at] == '#') break;
    std::size_t start = at;
    while (at < line.size() && !isSpace(line[at])) ++at;
    if (at > start) words.push_back(line.substr(start, at - start));
  }
  return words;
}

float number(std::string_view word) {
  float value = 0;
  switch (common::readNumber(word, value)) {
    case common::Reading::Number:
      return value;
    case common::Reading::NotANumber:
      throw ScriptError(common::quote(word) + " is not a valid number");
    case common::Reading::OutOfRange:
      break;
  }
  throw ScriptError(common::quote(word) + " is outside the range of a 32-bit float, -3.4e38 to 3.4e38");
}

std::int32_t integerIn(std::string_view word, std::string_view what, std::int32_t min, std::int32_t max) {
  std::int64_t value = 0;
  common::Reading reading = common::readNumber(word, value);
  if (reading == common::Reading::NotANumber)
    throw ScriptError(common::quote(word) + " is not a valid " + std::string(what));
  if (reading == common::Reading::OutOfRange || value < min || value > max) {
    throw ScriptError(std::string(what) + " " + common::quote(word) + " is outside " + std::to_string(min) +
                      " to " + std::to_string(max));
  }
  return static_cast<std::int32_t>(value);
}

bool flag(std::string_view word) {
  if (word == "0") return false;
  if (word == "1") return true;
  throw ScriptError(common::quote(word) + " is not 0 or 1");
}

using Words = std::span<const std::string_view>;

// Each game state's word in a script.
struct StateWord {
  std::string_view word;
  bool standin::GameStates::*on;
};
constexpr StateWord kStateWords[] = {
    {"freeplay", &standin::GameStates::freeplay},
    {"training", &standin::GameStates::training},
    {"replay", &standin::GameStates::replay},
    {"spectate", &standin::GameStates::spectating},
};
static_assert(std::size(kStateWords) == std::size(standin::kGameStates), "a game state without its word");

std::optional<Command> parseState(Words words) {
  command::State state;
  for (std::string_view word : words.subspan(1)) {
    auto named = std::find_if(std::begin(kStateWords), std::end(kStateWords),
                              [&](const StateWord& known) { return known.word == word; });
    if (named == std::end(kStateWords)) {
      throw ScriptError("unknown game state " + common::quote(word) + " (" +
                        common::joined(kStateWords, ", ", [](const StateWord& known) { return known.word; }) +
                        ")");
    }
    state.*named->on = true;
  }
  return state;
}

std::optional<Command> parseEventBall(Words words) {
  if (words[1] != "replay" && words[1] != "online") {
    throw ScriptError("unknown event " + common::quote(words[1]) + " (replay, online)");
  }
  return command::EventHasBall{words[1] == "online", flag(words[2])};
}

constexpr CommandForm kForms[] = {
    {"", "NAME VALUE", "set a console variable, e.g. korvindel_show 1", 2, 2,
     [](Words words) -> std::optional<Command> {
       return command::SetVariable{std::string(words[0]), std::string(words[1])};
     }},
    {"state", "state [freeplay] [training] [replay] [spectate]",
     "the game states that are on; 'state' alone is the main menu", 1, SIZE_MAX, parseState},
    {"balls", "balls N", "balls in the free-play and training event", 2, 2,
     [](Words words) -> std::optional<Command> {
       return command::EventBalls{integerIn(words[1], "ball count", 0, kMaxBalls)};
     }},
    {"balls", "balls replay|online 0|1", "whether the replay or the online match has a ball", 3, 3,
     parseEventBall},
    {"velocity", "velocity X Y Z", "velocity of every ball, balls added later included", 4, 4,
     [](Words words) -> std::optional<Command> {
       return command::Velocity{number(words[1]), number(words[2]), number(words[3])};
     }},
    {"explosion", "explosion T", "explosion time of every ball (nonzero: the readout holds)", 2, 2,
     [](Words words) -> std::optional<Command> { return command::Explosion{number(words[1])}; }},
    {"canvas", "canvas W H", "canvas size in pixels", 3, 3,
     [](Words words) -> std::optional<Command> {
       return command::Canvas{integerIn(words[1], "canvas width", 1, kMaxCanvasSide),
                              integerIn(words[2], "canvas height", 1, kMaxCanvasSide)};
     }},
    {"frame", "frame [N]", "draw N frames (default 1)", 1, 2,
     [](Words words) -> std::optional<Command> {
       return command::Frame{words.size() == 1 ? 1 : integerIn(words[1], "frame count", 1, kMaxFrames)};
     }},
    {"snapshot", "snapshot FILE.png", "write the last frame as a picture", 2, 2,
     [](Words words) -> std::optional<Command> { return command::Snapshot{std::string(words[1])}; }},
    {"record", "record FILE.gif", "keep every frame drawn from now on", 2, 2,
     [](Words words) -> std::optional<Command> {
       if (words[1] == "stop") return std::nullopt;
       return command::Record{std::string(words[1])};
     }},
    {"record", "record stop", "write the recording as an animated GIF", 2, 2,
     [](Words words) -> std::optional<Command> {
       if (words[1] != "stop") return std::nullopt;
       return command::RecordStop{};
     }},
    {"unload", "unload", "unload the plugin as the host does", 1, 1,
     [](Words) -> std::optional<Command> { return command::Unload{}; }},
    {"load", "load", "load the plugin again", 1, 1,
     [](Words) -> std::optional<Command> { return command::Load{}; }},
};

}  // namespace

bool ScriptReader::next(std::string& line) {
  line.clear();
  std::istream::sentry ready(in_, true);
  if (!ready) return false;
  std::streambuf& buffer = *in_.rdbuf();
  try {
    for (;;) {
      int c = buffer.sgetc();
      if (c == std::char_traits<char>::eof()) {
        in_.setstate(std::ios::eofbit);
        if (line.empty()) return false;
        break;
      }
      if (c != '\n' && c != '\r' && line.size() == kMaxLineLength) {
        throw ScriptError("the line is longer than the " + std::to_string(kMaxLineLength) +
                          " bytes a script line can have");
      }
      buffer.sbumpc();
      if (c == '\n') break;
      if (c == '\r') {
        if (buffer.sgetc() == '\n') buffer.sbumpc();
        break;
      }
      line += static_cast<char>(c);
    }
  } catch (const std::system_error& error) {
    // A file buffer reports a failed read (a closed or unreadable input) by throwing.
    failure_ = error.code().message();
    in_.setstate(std::ios::badbit);
    return false;
  }
  if (++number_ == 1 && line.starts_with(kByteOrderMark)) line.erase(0, kByteOrderMark.size());
  return true;
}

command::Effect effectOf(const Command& command) {
  return std::visit([](const auto& order) { return std::decay_t<decltype(order)>::kEffect; }, command);
}

std::string_view trim(std::string_view line) { return common::trimmed(line, kSpaces); }

std::span<const CommandForm> commandForms() { return kForms; }

std::optional<Command> parseLine(std::string_view line) {
  std::vector<std::string_view> words = splitWords(line);
  if (words.empty()) return std::nullopt;
  std::string_view verb = words.front();
  bool command = std::any_of(std::begin(kForms), std::end(kForms),
                             [&](const CommandForm& form) { return form.verb == verb; });
  std::vector<std::string> usages;
  for (const CommandForm& form : kForms) {
    if (form.verb != (command ? verb : "")) continue;
    if (words.size() >= form.minWords && words.size() <= form.maxWords) {
      if (std::optional<Command> parsed = form.parse(words)) return parsed;
    }
    usages.push_back(common::quote(form.usage));
  }
  if (!command)
    throw ScriptError("expected " + common::quote(std::string(verb) + " VALUE") + " or a command");
  throw ScriptError("expected " + common::joined(usages, " or "));
}

}  // namespace sim
