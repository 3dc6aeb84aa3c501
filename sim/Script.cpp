#include "sim/Script.h"

#include <algorithm>
#include <iterator>
#include <system_error>
#include <type_traits>
#include <vector>

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

void expectWords(const std::vector<std::string_view>& words, std::size_t min, std::size_t max,
                 std::string_view usage) {
  if (words.size() < min || words.size() > max) throw ScriptError("expected '" + std::string(usage) + "'");
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

command::State parseState(const std::vector<std::string_view>& words) {
  command::State state;
  for (std::size_t i = 1; i < words.size(); ++i) {
    auto named = std::find_if(std::begin(standin::kGameStates), std::end(standin::kGameStates),
                              [&](const standin::GameState& known) { return known.word == words[i]; });
    if (named == std::end(standin::kGameStates)) {
      std::string known;
      for (const standin::GameState& each : standin::kGameStates)
        known += (known.empty() ? "" : ", ") + std::string(each.word);
      throw ScriptError("unknown game state " + common::quote(words[i]) + " (" + known + ")");
    }
    state.*named->on = true;
  }
  return state;
}

Command parseBalls(const std::vector<std::string_view>& words) {
  expectWords(words, 2, 3, "balls N' or 'balls replay|online 0|1");
  if (words.size() == 2) return command::EventBalls{integerIn(words[1], "ball count", 0, kMaxBalls)};
  if (words[1] != "replay" && words[1] != "online") {
    throw ScriptError("unknown event " + common::quote(words[1]) + " (replay, online)");
  }
  return command::EventHasBall{words[1] == "online", flag(words[2])};
}

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

std::optional<Command> parseLine(std::string_view line) {
  std::vector<std::string_view> words = splitWords(line);
  if (words.empty()) return std::nullopt;
  std::string_view verb = words.front();
  if (verb == "state") return parseState(words);
  if (verb == "balls") return parseBalls(words);
  if (verb == "velocity") {
    expectWords(words, 4, 4, "velocity X Y Z");
    return command::Velocity{number(words[1]), number(words[2]), number(words[3])};
  }
  if (verb == "explosion") {
    expectWords(words, 2, 2, "explosion T");
    return command::Explosion{number(words[1])};
  }
  if (verb == "canvas") {
    expectWords(words, 3, 3, "canvas W H");
    return command::Canvas{integerIn(words[1], "canvas width", 1, kMaxCanvasSide),
                           integerIn(words[2], "canvas height", 1, kMaxCanvasSide)};
  }
  if (verb == "frame") {
    expectWords(words, 1, 2, "frame [N]");
    return command::Frame{words.size() == 1 ? 1 : integerIn(words[1], "frame count", 1, kMaxFrames)};
  }
  if (verb == "snapshot") {
    expectWords(words, 2, 2, "snapshot FILE.png");
    return command::Snapshot{std::string(words[1])};
  }
  if (verb == "record") {
    expectWords(words, 2, 2, "record FILE.gif' or 'record stop");
    if (words[1] == "stop") return command::RecordStop{};
    return command::Record{std::string(words[1])};
  }
  if (verb == "unload" || verb == "load") {
    expectWords(words, 1, 1, std::string(verb));
    if (verb == "load") return command::Load{};
    return command::Unload{};
  }
  if (words.size() != 2)
    throw ScriptError("expected " + common::quote(std::string(verb) + " VALUE") + " or a command");
  return command::SetVariable{std::string(verb), std::string(words[1])};
}

}  // namespace sim
