#include "Session.h"

#include <string>
#include <type_traits>
#include <utility>
#include <variant>

#include "AtomicFile.h"
#include "Quote.h"

namespace sim {
namespace {

// What a failure of carrying out a line means for the run. Anything not named here was thrown by the
// plugin, from its entry points, onLoad, onUnload, its hook or its drawable.
template <typename Call>
void guarded(std::size_t line, Call&& call) {
  try {
    call();
  } catch (const SessionError&) {
    throw;
  } catch (const standin::LoadError& error) {
    throw SessionError(line, Status::PluginFailed, error.what());
  } catch (const OutputError& error) {
    throw SessionError(line, Status::OutputFailed, error.what());
  } catch (const ScriptError& error) {
    throw SessionError(line, Status::BadInput, error.what());
  } catch (const std::invalid_argument& error) {
    // The console's errors and a recording's misuse: what the line asks cannot be done.
    throw SessionError(line, Status::BadInput, error.what());
  } catch (const std::exception& error) {
    throw SessionError(line, Status::PluginFailed, "the plugin failed: " + standin::escape(error.what()));
  }
}

std::string shown(const std::filesystem::path& path) { return standin::escape(path.string()); }

}  // namespace

Session::Session(Options options, std::ostream& out)
    : options_(std::move(options)), log_(makeLog(out, options_.json, options_.calls)) {
  guarded(0, [&] { load(); });
  last_.whyNothing = "no frame drawn yet";
}

void Session::run(std::istream& script) {
  ScriptReader reader(script);
  std::string text;
  while (reader.next(text)) guarded(reader.number(), [&] { runLine(text, reader.number()); });
  if (script.bad()) {
    std::string why = reader.failure().empty() ? "" : ": " + standin::escape(reader.failure());
    throw SessionError(reader.number() + 1, Status::BadInput, "cannot read the script" + why);
  }
  if (recording_) {
    guarded(recordingLine_, [&] { log_->echo("end of script: record stop", stopRecording()); });
  }
}

void Session::runLine(std::string_view text, std::size_t line) {
  std::optional<Command> command = parseLine(text);
  if (!command) {
    // Comments explain the session to whoever reads its log; blank lines say nothing.
    if (!trim(text).empty()) log_->comment(trim(text));
    return;
  }
  std::string note = execute(*command, line);
  if (!std::holds_alternative<command::Frame>(*command)) log_->echo(trim(text), note);
  bool changes = !std::holds_alternative<command::Frame>(*command) &&
                 !std::holds_alternative<command::Snapshot>(*command) &&
                 !std::holds_alternative<command::Record>(*command) &&
                 !std::holds_alternative<command::RecordStop>(*command);
  if (changes) lastChange_ = trim(text);
}

std::string Session::execute(const Command& command, std::size_t line) {
  if (game_.apply(command)) return "";
  std::string note;
  std::visit(
      [&](const auto& order) {
        using Order = std::decay_t<decltype(order)>;
        if constexpr (std::is_same_v<Order, command::SetVariable>) {
          host_.console.set(order.name, order.value);
        } else if constexpr (std::is_same_v<Order, command::Frame>) {
          drawFrames(order.count);
        } else if constexpr (std::is_same_v<Order, command::Snapshot>) {
          snapshot(order.path);
        } else if constexpr (std::is_same_v<Order, command::Record>) {
          startRecording(order.path, line);
        } else if constexpr (std::is_same_v<Order, command::RecordStop>) {
          if (!recording_) throw ScriptError("'record stop' without a 'record' before it");
          note = stopRecording();
        } else if constexpr (std::is_same_v<Order, command::Unload>) {
          unload();
        } else if constexpr (std::is_same_v<Order, command::Load>) {
          if (plugin_) throw ScriptError("the plugin is already loaded");
          load();
        }
      },
      command);
  return note;
}

void Session::load() {
  plugin_.emplace(host_, options_.plugin);
  host_.clearLog();
}

void Session::unload() {
  if (!plugin_) throw ScriptError("the plugin is not loaded");
  // Unloading releases everything even when onUnload throws; the plugin is gone either way.
  try {
    plugin_->unload();
  } catch (...) {
    plugin_.reset();
    throw;
  }
  plugin_.reset();
}

void Session::drawFrames(std::int32_t count) {
  Vector2 size = host_.canvas.size;
  if (recording_) {
    if (recording_->frames() > 0 && (size.X != lastSize_.X || size.Y != lastSize_.Y)) {
      throw ScriptError("the canvas changed size while recording into " + shown(recording_->target()) +
                        "; end the recording with 'record stop' first");
    }
    std::int64_t pixels = std::int64_t{size.X} * (size.Y + captionHeight(2));
    std::int64_t frames = static_cast<std::int64_t>(recording_->frames()) + count;
    if (frames > kMaxRecordedFrames || recordedPixels_ + pixels * count > kMaxRecordedPixels) {
      throw ScriptError("the recording into " + shown(recording_->target()) + " would pass its bound of " +
                        std::to_string(kMaxRecordedFrames) + " frames or " +
                        std::to_string(kMaxRecordedPixels) +
                        " pixels in all; end it with 'record stop' first");
    }
  }
  for (std::int32_t i = 0; i < count; ++i) {
    host_.clearLog();
    host_.drawFrame();
    lastSize_ = host_.canvas.size;
    last_.number += 1;
    last_.state = game_.stateName();
    last_.exploding = game_.exploding();
    last_.draws = host_.canvas.texts();
    last_.whyNothing = last_.draws.empty() ? whyNothingDrawn() : "";
    if (options_.calls) last_.calls = host_.calls();
    log_->frame(last_);
    if (recording_) {
      Image frame = picture();
      recording_->add(frame);
      recordedPixels_ += std::int64_t{frame.width} * frame.height;
    }
  }
}

std::string Session::whyNothingDrawn() const {
  if (!plugin_) return "the plugin is unloaded";
  if (host_.drawableCount() == 0) return "the readout is off (korvindel_show 0)";
  if (host_.game.inMenu()) return "the main menu has no ball";
  if (!host_.game.offersBall()) return "this game state has no ball";
  return "the plugin drew nothing";
}

Image Session::picture() {
  if (!painter_) painter_.emplace(options_.font);
  Vector2 size = last_.number == 0 ? host_.canvas.size : lastSize_;
  std::string status;
  if (last_.number == 0) {
    status = "no frame drawn yet";
  } else if (last_.draws.empty()) {
    status = "nothing drawn: " + last_.whyNothing;
  } else {
    status = last_.exploding ? "readout held: ball exploding" : "readout follows the ball";
  }
  std::string heading = "frame " + std::to_string(last_.number) + "   |   " +
                        (last_.number == 0 ? game_.stateName() : last_.state) + "   |   " + status;
  std::string change =
      "last change: " + (lastChange_.empty() ? std::string("none") : standin::escape(lastChange_));
  return painter_->caption(painter_->paint(size, last_.draws), {heading, change});
}

void Session::snapshot(const std::filesystem::path& path) {
  if (recording_ && sameDestination(destinationOf(path), recording_->destination())) {
    throw ScriptError("cannot snapshot into " + shown(path) + ": the recording started at line " +
                      std::to_string(recordingLine_) + " will be written there");
  }
  writePng(picture(), path);
}

void Session::startRecording(const std::filesystem::path& path, std::size_t line) {
  if (recording_) {
    throw ScriptError("already recording into " + shown(recording_->target()) + " since line " +
                      std::to_string(recordingLine_) + "; end it with 'record stop' first");
  }
  recording_ = std::make_unique<Animation>(path);
  recordingLine_ = line;
  recordedPixels_ = 0;
}

std::string Session::stopRecording() {
  std::unique_ptr<Animation> recording = std::move(recording_);
  recording->finish();
  return ": " + std::to_string(recording->frames()) + " frames in " + shown(recording->target());
}

}  // namespace sim
