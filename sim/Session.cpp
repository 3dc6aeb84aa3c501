#include "Session.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <type_traits>
#include <utility>

#include "Snapshot.h"

namespace sim {
namespace {

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

std::string jsonString(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        if (c < 0x20) {
          std::array<char, 8> escaped{};
          std::snprintf(escaped.data(), escaped.size(), "\\u%04x", c);
          out += escaped.data();
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

// The shortest text that reads back as the same float.
std::string readableNumber(float value) {
  std::array<char, 32> buffer{};
  auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return std::string(buffer.data(), result.ptr);
}

// JSON has no NaN or infinity.
std::string jsonNumber(float value) { return std::isfinite(value) ? readableNumber(value) : "null"; }

// Readable columns: the frame number, right-aligned, and the game state, each followed by at least two
// spaces. The state column fits any one state while its ball explodes ("spectate (exploding)").
constexpr std::size_t kFrameColumn = 7;
constexpr std::size_t kStateColumn = 22;

std::string pad(std::string text, std::size_t width) {
  text.resize(std::max(width, text.size() + 2), ' ');
  return text;
}

}  // namespace

Session::Session(Options options, std::ostream& out) : options_(std::move(options)), out_(out) {
  plugin_.emplace(host_, options_.plugin);
  host_.clearLog();
}

void Session::run(std::istream& script) {
  std::string line;
  std::size_t number = 0;
  while (std::getline(script, line)) {
    ++number;
    std::optional<Command> command;
    try {
      command = parseLine(line);
    } catch (const ScriptError& error) {
      throw SessionError(number, error.what());
    }
    if (!command) {
      // Comments explain the session to whoever reads its log; blank lines say nothing.
      std::string_view text = trim(line);
      if (!options_.json && !text.empty()) out_ << text << '\n';
      continue;
    }
    std::string note = execute(*command, number);
    if (!options_.json && !std::holds_alternative<command::Frame>(*command)) {
      out_ << "> " << trim(line) << note << '\n';
    }
  }
  if (script.bad()) throw SessionError(number, "cannot read the script");
  if (recording_) {
    std::string note = stopRecording(recordingLine_);
    if (!options_.json) out_ << "> end of script: record stop" << note << '\n';
  }
}

std::string Session::execute(const Command& command, std::size_t line) {
  auto fail = [line](const std::string& message) { throw SessionError(line, message); };
  std::string note;
  std::visit(Overloaded{
                 [&](const command::SetVariable& set) {
                   try {
                     host_.console.set(set.name, set.value);
                   } catch (const standin::ConsoleError& error) {
                     fail(error.what());
                   }
                 },
                 [&](const command::State& state) {
                   host_.game.freeplay = state.freeplay;
                   host_.game.training = state.training;
                   host_.game.replay = state.replay;
                   host_.game.spectating = state.spectating;
                 },
                 [&](const command::EventBalls& balls) {
                   standin::Ball model =
                       host_.game.eventBalls.empty() ? standin::Ball{} : host_.game.eventBalls.front();
                   host_.game.eventBalls.assign(static_cast<std::size_t>(balls.count), model);
                 },
                 [&](const command::EventHasBall& has) {
                   std::optional<standin::Ball>& ball =
                       has.online ? host_.game.onlineBall : host_.game.replayBall;
                   if (!has.present) {
                     ball.reset();
                   } else if (!ball) {
                     ball = host_.game.eventBalls.empty() ? standin::Ball{} : host_.game.eventBalls.front();
                   }
                 },
                 [&](const command::Velocity& v) {
                   host_.game.forEachBall([&](standin::Ball& ball) { ball.velocity = {v.x, v.y, v.z}; });
                 },
                 [&](const command::Explosion& e) {
                   host_.game.forEachBall([&](standin::Ball& ball) { ball.explosionTime = e.time; });
                   exploding_ = e.time != 0;
                 },
                 [&](const command::Canvas& canvas) {
                   host_.canvas.size = {canvas.width, canvas.height};
                 },
                 [&](const command::Frame& frame) {
                   for (std::int32_t i = 0; i < frame.count; ++i) drawFrame(line);
                 },
                 [&](const command::Snapshot& snapshot) {
                   Vector2 size = frames_ == 0 ? host_.canvas.size : lastFrameSize_;
                   try {
                     writePng(paint(size, lastFrame_, options_.font), snapshot.path);
                   } catch (const SnapshotError& error) {
                     fail(error.what());
                   }
                 },
                 [&](const command::Record& record) {
                   if (recording_) {
                     fail("already recording into " + recording_->path().string() + " since line " +
                          std::to_string(recordingLine_) + "; end it with 'record stop' first");
                   }
                   try {
                     recording_ = std::make_unique<Animation>(record.path);
                   } catch (const SnapshotError& error) {
                     fail(error.what());
                   }
                   recordingLine_ = line;
                 },
                 [&](const command::RecordStop&) {
                   if (!recording_) fail("'record stop' without a 'record' before it");
                   note = stopRecording(line);
                 },
                 [&](const command::Unload&) {
                   if (!plugin_) fail("the plugin is not loaded");
                   plugin_.reset();
                 },
                 [&](const command::Load&) {
                   if (plugin_) fail("the plugin is already loaded");
                   try {
                     plugin_.emplace(host_, options_.plugin);
                   } catch (const standin::LoadError& error) {
                     fail(error.what());
                   }
                 },
             },
             command);
  return note;
}

std::string Session::stopRecording(std::size_t line) {
  std::unique_ptr<Animation> recording = std::move(recording_);
  try {
    recording->finish();
  } catch (const SnapshotError& error) {
    throw SessionError(line, error.what());
  }
  return ": " + std::to_string(recording->frames()) + " frames in " + recording->path().string();
}

void Session::drawFrame(std::size_t line) {
  host_.clearLog();
  host_.drawFrame();
  ++frames_;
  lastFrame_ = host_.canvas.texts();
  lastFrameSize_ = host_.canvas.size;
  printFrame();
  if (recording_) {
    try {
      recording_->add(paint(lastFrameSize_, lastFrame_, options_.font));
    } catch (const SnapshotError& error) {
      throw SessionError(line, error.what());
    }
  }
}

std::string Session::stateLabel() const {
  std::string label;
  auto add = [&](bool on, const char* name) {
    if (!on) return;
    if (!label.empty()) label += '+';
    label += name;
  };
  add(host_.game.freeplay, "freeplay");
  add(host_.game.training, "training");
  add(host_.game.replay, "replay");
  add(host_.game.spectating, "spectate");
  if (label.empty()) return "menu";
  return exploding_ ? label + " (exploding)" : label;
}

void Session::printFrame() {
  if (options_.json) {
    out_ << "{\"frame\":" << frames_ << ",\"draws\":[";
    for (std::size_t i = 0; i < lastFrame_.size(); ++i) {
      const standin::DrawnText& text = lastFrame_[i];
      out_ << (i == 0 ? "" : ",") << "{\"text\":" << jsonString(text.text) << ",\"color\":["
           << int{text.color[0]} << ',' << int{text.color[1]} << ',' << int{text.color[2]} << ','
           << int{text.color[3]} << "],\"position\":[" << text.position.X << ',' << text.position.Y
           << "],\"scale\":[" << jsonNumber(text.xScale) << ',' << jsonNumber(text.yScale) << "]}";
    }
    out_ << ']';
    if (options_.calls) {
      out_ << ",\"calls\":[";
      std::string_view separator;
      for (std::string_view call : host_.calls()) {
        out_ << separator << jsonString(call);
        separator = ",";
      }
      out_ << ']';
    }
    out_ << "}\n";
    return;
  }
  if (!headerPrinted_) {
    out_ << pad("frame", kFrameColumn) << pad("state", kStateColumn) << "drawn\n";
    headerPrinted_ = true;
  }
  std::string number = std::to_string(frames_);
  number.insert(0, kFrameColumn - 2 > number.size() ? kFrameColumn - 2 - number.size() : 0, ' ');
  std::string line = pad(number, kFrameColumn) + pad(stateLabel(), kStateColumn);
  if (lastFrame_.empty()) line += "nothing drawn";
  for (std::size_t i = 0; i < lastFrame_.size(); ++i) {
    const standin::DrawnText& text = lastFrame_[i];
    if (i > 0) line += " | ";
    line += jsonString(text.text) + "  rgba(" + std::to_string(text.color[0]) + "," +
            std::to_string(text.color[1]) + "," + std::to_string(text.color[2]) + "," +
            std::to_string(text.color[3]) + ")  at (" + std::to_string(text.position.X) + "," +
            std::to_string(text.position.Y) + ")  scale " + readableNumber(text.xScale) + "x" +
            readableNumber(text.yScale);
  }
  out_ << line << '\n';
}

}  // namespace sim
