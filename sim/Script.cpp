#include "Script.h"

#include <charconv>
#include <cmath>
#include <vector>

namespace sim {
namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::vector<std::string_view> splitWords(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && isSpace(line[at])) ++at;
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

template <typename T>
T number(std::string_view word, std::string_view what) {
  T value{};
  std::string_view digits = word;
  if (digits.size() > 1 && digits.front() == '+') digits.remove_prefix(1);
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc{} || end != digits.data() + digits.size()) {
    throw ScriptError("'" + std::string(word) + "' is not a valid " + std::string(what));
  }
  return value;
}

std::int32_t count(std::string_view word, std::string_view what, std::int32_t min, std::int32_t max) {
  auto value = number<std::int32_t>(word, what);
  if (value < min || value > max) {
    throw ScriptError(std::string(what) + " " + std::string(word) + " is outside " + std::to_string(min) +
                      " to " + std::to_string(max));
  }
  return value;
}

bool flag(std::string_view word) {
  if (word == "0") return false;
  if (word == "1") return true;
  throw ScriptError("'" + std::string(word) + "' is not 0 or 1");
}

command::State parseState(const std::vector<std::string_view>& words) {
  command::State state;
  for (std::size_t i = 1; i < words.size(); ++i) {
    if (words[i] == "freeplay") {
      state.freeplay = true;
    } else if (words[i] == "training") {
      state.training = true;
    } else if (words[i] == "replay") {
      state.replay = true;
    } else if (words[i] == "spectate") {
      state.spectating = true;
    } else {
      throw ScriptError("unknown game state '" + std::string(words[i]) +
                        "' (freeplay, training, replay, spectate)");
    }
  }
  return state;
}

Command parseBalls(const std::vector<std::string_view>& words) {
  expectWords(words, 2, 3, "balls N' or 'balls replay|online 0|1");
  if (words.size() == 2) return command::EventBalls{count(words[1], "ball count", 0, kMaxBalls)};
  if (words[1] != "replay" && words[1] != "online") {
    throw ScriptError("unknown event '" + std::string(words[1]) + "' (replay, online)");
  }
  return command::EventHasBall{words[1] == "online", flag(words[2])};
}

}  // namespace

std::string_view trim(std::string_view line) {
  while (!line.empty() && isSpace(line.front())) line.remove_prefix(1);
  while (!line.empty() && isSpace(line.back())) line.remove_suffix(1);
  return line;
}

std::optional<Command> parseLine(std::string_view line) {
  std::vector<std::string_view> words = splitWords(line);
  if (words.empty() || words.front().front() == '#') return std::nullopt;
  std::string_view verb = words.front();
  if (verb == "state") return parseState(words);
  if (verb == "balls") return parseBalls(words);
  if (verb == "velocity") {
    expectWords(words, 4, 4, "velocity X Y Z");
    return command::Velocity{number<float>(words[1], "number"), number<float>(words[2], "number"),
                             number<float>(words[3], "number")};
  }
  if (verb == "explosion") {
    expectWords(words, 2, 2, "explosion T");
    return command::Explosion{number<float>(words[1], "number")};
  }
  if (verb == "canvas") {
    expectWords(words, 3, 3, "canvas W H");
    return command::Canvas{count(words[1], "canvas width", 1, kMaxCanvasSide),
                           count(words[2], "canvas height", 1, kMaxCanvasSide)};
  }
  if (verb == "frame") {
    expectWords(words, 1, 2, "frame [N]");
    return command::Frame{words.size() == 1 ? 1 : count(words[1], "frame count", 1, kMaxFrames)};
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
  if (words.size() != 2) throw ScriptError("expected '" + std::string(verb) + " VALUE' or a command");
  return command::SetVariable{std::string(verb), std::string(words[1])};
}

}  // namespace sim
